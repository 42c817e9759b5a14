#pragma once
// The host image folder number for a carrier ID reported by the modem.
#include <windows.h>

// -1 for carriers without a folder, 6 for every carrier not listed; traced.
int MapCarrierToFolder(ULONG ulCarrierId);
