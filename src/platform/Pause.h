#pragma once
// Every deliberate wait of the program (connection retries, the pauses between
// downloads and before GPS tracking) goes through ToviPause, so that tests can
// replace the wait with one that only records it.
#include <windows.h>

typedef void (*TOVI_PAUSE_FUNCTION)(DWORD dwMilliseconds);

void ToviPause(DWORD dwMilliseconds);

// Installs a replacement (nullptr restores Sleep) and returns the previous one.
TOVI_PAUSE_FUNCTION ToviSetPauseFunction(TOVI_PAUSE_FUNCTION pfnPause);
