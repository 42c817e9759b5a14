#include "platform/Pause.h"

namespace
{
void SleepPause(DWORD dwMilliseconds)
{
    ::Sleep(dwMilliseconds);
}

TOVI_PAUSE_FUNCTION g_pfnPause = SleepPause;
}

void ToviPause(DWORD dwMilliseconds)
{
    g_pfnPause(dwMilliseconds);
}

TOVI_PAUSE_FUNCTION ToviSetPauseFunction(TOVI_PAUSE_FUNCTION pfnPause)
{
    TOVI_PAUSE_FUNCTION previous = g_pfnPause;
    g_pfnPause = pfnPause ? pfnPause : SleepPause;
    return previous;
}
