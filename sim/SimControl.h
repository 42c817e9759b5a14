#pragma once
// Control entry points of the simulated ToviApi.dll. The program never calls
// these; tests, tovisim.exe and the demo do. Every one returns 0 on success
// and a Win32 error code otherwise. All processes that load the library share
// one modem: its state lives in a file (%TOVISIM_STATE%, or "tovisim.state"
// beside the library when the variable is not set).
#include <windows.h>

#ifdef TOVISIM_BUILDING_DLL
#define TOVISIM_API extern "C" __declspec(dllexport)
#else
#define TOVISIM_API extern "C" __declspec(dllimport)
#endif

// Forgets everything and builds a modem from a host image store: the images of
// runningFolder (a folder name under root, for instance L"6") are stored,
// preferred and running. maxImagesPerType limits the stored images of each type.
TOVISIM_API ULONG WINAPI SimCreateModem(LPCWSTR pszStoreRoot, LPCWSTR pszRunningFolder, ULONG maxImagesPerType);
// A modem with no images at all, whose GetImageStoreW answers pszStoreRoot.
TOVISIM_API ULONG WINAPI SimCreateEmptyModem(LPCWSTR pszStoreRoot, ULONG maxImagesPerType);
// Stores the images of a host folder (full path) without changing the preference.
TOVISIM_API ULONG WINAPI SimStoreFolder(LPCWSTR pszFolderPath);

// Faults: the entry point (its plain name, "QCWWANConnect" and so on) answers
// code for its next count calls, or always when count is TOVISIM_ALWAYS.
#define TOVISIM_ALWAYS 0xFFFFFFFFu
TOVISIM_API ULONG WINAPI SimSetFault(LPCSTR pszEntryPoint, ULONG code, ULONG count);
// The list call (GetImagesPreference, GetStoredImages or GetImageIDs) answers 0
// with these raw bytes for its next count calls.
TOVISIM_API ULONG WINAPI SimSetRawList(LPCSTR pszEntryPoint, const BYTE* pBytes, ULONG byteCount, ULONG count);
TOVISIM_API ULONG WINAPI SimClearFaults(void);
// GetFirmwareInfo answers these values instead of those of the running images
// (until SimClearFaults or the next SimCreate...).
TOVISIM_API ULONG WINAPI SimOverrideFirmwareInfo(ULONG technology, ULONG carrier, ULONG region, ULONG gps);

// How long the modem is away after a reset or a simulated removal; connecting
// and the device calls of connected processes answer 6 meanwhile. A modem
// made here starts with 0 (tovisim's create and empty set 1500).
TOVISIM_API ULONG WINAPI SimSetResetDelay(ULONG milliseconds);
// Takes the modem away as a reset does and calls the registered removal callback.
TOVISIM_API ULONG WINAPI SimSimulateRemoval(void);

// The journal: one line per call made to an entry point of the modem API,
// "Name(arg, arg, ...) = result". Written into the buffer, terminated; the
// needed capacity (characters, terminator included) comes back in *pNeeded.
TOVISIM_API ULONG WINAPI SimGetJournal(LPWSTR pszBuffer, ULONG capacity, ULONG* pNeeded);
TOVISIM_API ULONG WINAPI SimClearJournal(void);
// A readable description of the modem: stored images, preference, running
// pair, firmware information, revision, GPS tracking value.
TOVISIM_API ULONG WINAPI SimDescribe(LPWSTR pszBuffer, ULONG capacity, ULONG* pNeeded);
