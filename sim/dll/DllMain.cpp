#include <windows.h>

#include "SimCall.h"

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        g_hSimModule = hInstance;
        ::DisableThreadLibraryCalls(hInstance);
    }
    return TRUE;
}
