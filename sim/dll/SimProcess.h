#pragma once
// This load of the library in this process, as the state's connection records
// name it, and whether the process that a record names still runs. A process
// has a connection when a record names it and this load: a record of an
// earlier load (freed without a disconnect) or of an ended process counts
// for nobody.
#include <windows.h>

#include <string>

#include "ModemState.h"

class CSimProcess
{
public:
    // At DLL_PROCESS_ATTACH: draws the load's value and remembers what later
    // calls need without asking the loader.
    static void OnLoad(HMODULE module);

    static const std::wstring& StateBesideModule();
    static SimConnection Self();
    static bool IsRunning(const SimConnection& connection);

    static bool IsConnected(const CModemState& state);
    // Opens this load's connection (once), dropping records of ended processes.
    static void Connect(CModemState& state);
    static void Disconnect(CModemState& state);
    // Records of processes that still run.
    static void DropEnded(CModemState& state);

private:
    static bool IsThisLoad(const SimConnection& connection);
};
