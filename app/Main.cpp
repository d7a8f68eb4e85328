// app/Main.cpp: the program's entry, handed to the application object.
#include "app/FendralApp.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow)
{
    // Naming theApp links it in from the application library.
    if (AfxGetApp() != &theApp)
        return -1;
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
