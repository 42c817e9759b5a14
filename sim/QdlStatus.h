#pragma once
// What the simulated modem tells the download service while UpgradeFirmware3k
// works: it writes one of these as the REG_DWORD "Status" under
// HKEY_LOCAL_MACHINE "Software\Corvane\QDL" (the process's own registry view)
// and then signals "Global\QDL_STATUS_CHANGE_EVENT" when that event exists.
#define TOVISIM_QDL_KEY L"Software\\Corvane\\QDL"
#define TOVISIM_QDL_VALUE L"Status"
#define TOVISIM_QDL_EVENT L"Global\\QDL_STATUS_CHANGE_EVENT"

#define TOVISIM_QDL_STARTED 1            // an upgrade began
#define TOVISIM_QDL_DOWNLOADING_MODEM 2  // the modem image is being written
#define TOVISIM_QDL_DOWNLOADING_PRI 3    // the PRI image is being written
#define TOVISIM_QDL_COMPLETE 4           // images stored and preferred; the modem resets
#define TOVISIM_QDL_FAILED 5             // the upgrade failed; nothing changed
