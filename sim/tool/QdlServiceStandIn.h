#pragma once
// The download service stand-in: owns "Global\QDL_STATUS_CHANGE_EVENT" so
// that the program's status monitor finds it, and prints every "Status" value
// that the simulated modem writes while it upgrades. Runs until Enter, Ctrl+C
// or "tovisim service stop".
#include <windows.h>

class CQdlServiceStandIn
{
public:
    // Exit code: 0 after a stop, 1 when the event could not be created.
    static int Run();
    // Signals a running stand-in to stop; 1 when none runs.
    static int SignalStop();
};
