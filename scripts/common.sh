# Shared by the run and test scripts: build folders, the Wine prefix and the display.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${FENDRAL_BUILD_ROOT:-$root/build}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

# The shipped program is 32-bit; where this machine cannot start 32-bit Wine (no 32-bit
# Linux binaries), the 64-bit build of the same sources is the one that runs.
runnable_arch() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1 && [ -z "${FENDRAL_FORCE_X64:-}" ]; then
    echo i686
  else
    echo x86_64
  fi
}

build_arch() {
  local arch=$1
  cmake -S "$root" -B "$build_root/$arch" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" >/dev/null
  cmake --build "$build_root/$arch" -j "$(nproc)"
}

# A private prefix per bitness, made once, with the dialog font mapped to an installed CJK font.
prepare_prefix() {
  local arch=$1
  export WINEPREFIX="$root/build/wineprefix-$arch"
  local loader=/usr/lib/wine/wine
  [ "$arch" = x86_64 ] && loader=/usr/lib/wine/wine64
  WINE_LOADER=$loader
  if [ ! -f "$WINEPREFIX/.fendral-ready" ]; then
    "$loader" wineboot -i >/dev/null 2>&1 || true
    for face in "宋体" "SimSun" "新宋体" "NSimSun" "MS Shell Dlg" "MS Shell Dlg 2"; do
      "$loader" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /t REG_SZ \
        /d "WenQuanYi Zen Hei" /f >/dev/null 2>&1 || true
    done
    "$loader" wineserver -w 2>/dev/null || wineserver -w 2>/dev/null || true
    touch "$WINEPREFIX/.fendral-ready"
  fi
}

# Starts Xvfb on a free display unless one is given; sets DISPLAY and XVFB_PID.
start_display() {
  XVFB_PID=""
  if [ -n "${DISPLAY:-}" ] && [ -z "${FENDRAL_OWN_DISPLAY:-}" ]; then return; fi
  local n=99
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
}

stop_display() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}
