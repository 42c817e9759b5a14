#include <windows.h>

// The library only carries the driver package's version resource; loading it
// does nothing.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
