// The one part of the switch table that needs the platform: the process's own
// command line.
#include "app/SwitchTable.h"

#include <windows.h>

int CSwitchTable::Parse()
{
    return Parse(::GetCommandLineW());
}
