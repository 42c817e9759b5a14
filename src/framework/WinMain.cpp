#include "framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    // The full command line, so the program's own name can be skipped the
    // framework's way whatever the C runtime made of it.
    return AfxWinMain(hInstance, ::GetCommandLineW());
}
