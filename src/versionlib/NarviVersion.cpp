#include <windows.h>

// The library only carries the driver package's version resource. This is the
// image's entry point itself (no C runtime start-up runs before it), so loading
// and unloading the library do nothing but succeed.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
