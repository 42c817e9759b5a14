#include "QdlServiceStandIn.h"

#include "ConsoleOutput.h"
#include "QdlStatus.h"
#include "platform/Handles.h"

namespace
{
const wchar_t kStopEventName[] = L"ToviSim.QdlServiceStop";
HANDLE g_hStop = nullptr;

const wchar_t* StatusName(DWORD status)
{
    switch (status)
    {
    case TOVISIM_QDL_STARTED: return L"upgrade started";
    case TOVISIM_QDL_DOWNLOADING_MODEM: return L"writing the modem image";
    case TOVISIM_QDL_DOWNLOADING_PRI: return L"writing the PRI image";
    case TOVISIM_QDL_COMPLETE: return L"complete, modem resetting";
    case TOVISIM_QDL_FAILED: return L"failed";
    default: return L"unknown";
    }
}

BOOL WINAPI OnConsoleControl(DWORD)
{
    ::SetEvent(g_hStop);
    return TRUE;
}

// Enter stops the service; the end of the input (none attached) does not.
DWORD WINAPI ReadInput(LPVOID)
{
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD read = 0;
    while (input && input != INVALID_HANDLE_VALUE && ::ReadFile(input, &c, 1, &read, nullptr) && read == 1)
    {
        if (c == '\n' || c == '\r')
        {
            ::SetEvent(g_hStop);
            break;
        }
    }
    return 0;
}

bool ReadStatus(HKEY key, DWORD& status)
{
    DWORD size = sizeof(status);
    DWORD type = 0;
    return ::RegQueryValueExW(key, TOVISIM_QDL_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(&status), &size) ==
               ERROR_SUCCESS &&
           size == sizeof(status);
}
}

int CQdlServiceStandIn::Run()
{
    CHandle statusEvent(::CreateEventW(nullptr, FALSE, FALSE, TOVISIM_QDL_EVENT));
    if (!statusEvent)
    {
        CConsoleOutput::Error(L"tovisim: cannot create %s (error %lu)\n", TOVISIM_QDL_EVENT, ::GetLastError());
        return 1;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        CConsoleOutput::Print(L"Note: %s already existed; holding it as well.\n", TOVISIM_QDL_EVENT);
    CHandle stop(::CreateEventW(nullptr, TRUE, FALSE, kStopEventName));
    if (!stop)
    {
        CConsoleOutput::Error(L"tovisim: cannot create the stop event (error %lu)\n", ::GetLastError());
        return 1;
    }
    ::ResetEvent(stop.get());
    g_hStop = stop.get();
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
    CHandle inputThread(::CreateThread(nullptr, 0, &ReadInput, nullptr, 0, nullptr));

    CRegKey key;
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, TOVISIM_QDL_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_NOTIFY, nullptr, key.put(), nullptr);
    CHandle changed(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    CConsoleOutput::Print(L"Download service stand-in: holding %s.\n"
                          L"Press Enter or Ctrl+C to stop, or run \"tovisim service stop\".\n",
                          TOVISIM_QDL_EVENT);
    DWORD last = 0;
    bool known = key && ReadStatus(key.get(), last);
    if (known)
        CConsoleOutput::Print(L"Status: %lu (%s)\n", last, StatusName(last));
    for (;;)
    {
        bool notified = key && changed &&
                        ::RegNotifyChangeKeyValue(key.get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.get(), TRUE) ==
                            ERROR_SUCCESS;
        HANDLE handles[2] = {stop.get(), changed.get()};
        DWORD wait = ::WaitForMultipleObjects(changed ? 2 : 1, handles, FALSE, 250);
        if (wait == WAIT_OBJECT_0)
            break;
        DWORD status = 0;
        if (!key || !ReadStatus(key.get(), status))
            continue;
        bool changeSeen = notified && wait == WAIT_OBJECT_0 + 1;
        if (changeSeen || !known || status != last)
            CConsoleOutput::Print(L"Status: %lu (%s)\n", status, StatusName(status));
        last = status;
        known = true;
    }
    ::SetConsoleCtrlHandler(&OnConsoleControl, FALSE);
    g_hStop = nullptr;
    CConsoleOutput::Print(L"Download service stand-in stopped.\n");
    // The input thread may still wait for a line; the process ends it.
    return 0;
}

int CQdlServiceStandIn::SignalStop()
{
    CHandle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kStopEventName));
    if (!stop)
    {
        CConsoleOutput::Error(L"tovisim: no download service stand-in is running\n");
        return 1;
    }
    ::SetEvent(stop.get());
    CConsoleOutput::Print(L"Stop signalled.\n");
    return 0;
}
