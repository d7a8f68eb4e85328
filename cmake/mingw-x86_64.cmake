# The same sources for 64-bit Windows: used to run the tests where 32-bit Wine cannot start.
set(TOOLCHAIN_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
