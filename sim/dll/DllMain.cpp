#include <windows.h>

#include "RemovalNotifier.h"
#include "SimCall.h"
#include "SimProcess.h"

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID pReserved)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        ::DisableThreadLibraryCalls(hInstance);
        CSimProcess::OnLoad(hInstance);
    }
    // Freed while the process goes on: no removal callback may run into code
    // that is about to go, and the connection ends with the library, as a
    // modem's handle does. A process that exits needs neither: its threads are
    // gone, and its records count for nobody once it has ended.
    else if (reason == DLL_PROCESS_DETACH && pReserved == nullptr)
    {
        CRemovalNotifier::Instance().Shutdown();
        CSimCall::ForgetThisLoad();
    }
    return TRUE;
}
