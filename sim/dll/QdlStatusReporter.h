#pragma once
// Plays the download service's part while the simulated modem upgrades:
// writes the status value and signals the service's event (see QdlStatus.h).
#include <windows.h>

class CQdlStatusReporter
{
public:
    // Writes "Status" and signals the event when it exists; the event is
    // opened, never created. Failures are ignored: without the service the
    // upgrade goes on.
    static void Report(DWORD status);
};
