#pragma once
// What the trace library's own files share and nobody else uses.
#include <windows.h>

#include <string>

#include "diroduzuvevo/DiroDuzUvevo.h"

// Held from the filter test to the end of a line's output.
extern CRITICAL_SECTION csTbdLine;
// Held around the size check; always taken inside the line lock.
extern CRITICAL_SECTION csTbdFile;
// The general and the program key, built by TbdInitialize.
extern wchar_t szTbdGeneralKey[MAX_PATH];
extern wchar_t szTbdProgramKey[MAX_PATH];
// Set once TbdInitialize has chosen the log file's name.
extern bool btbdLogFileChosen;

// Trace calls check the alter event at most this often (milliseconds): under
// Wine a wait on an event is a round trip to the server that costs as much
// as a dozen written lines.
const DWORD TBD_ALTER_POLL_INTERVAL_MS = 100;

// Checks the alter event and re-reads the registry when it was signalled.
// bAlways skips the interval (the steps of TbdStartLogging, which run once).
void TbdPollAlterEvent(bool bAlways);
// Makes the next trace call look at the alter event.
void TbdResetAlterPoll();

// The log file: opening, closing, and the count of bytes the library wrote
// into it since it was last emptied.
bool TbdOpenLogFile(const wchar_t* psFullPath);
void TbdCloseLogFile();

// Header and footer of the log file.
void TbdWriteHeader();
void TbdWriteFooter();

// The running program's folder, without a trailing "\"; false when its
// path holds no "\" or does not fit.
bool TbdProgramFolder(std::wstring* pFolder);

// ANSI-code-page conversions of whole texts.
std::string TbdToAnsi(const wchar_t* psText, size_t nLength);
std::wstring TbdWiden(const char* psText);

// Registry reads: HKEY_CURRENT_USER first, HKEY_LOCAL_MACHINE when that fails.
bool TbdReadRegistryDwordFrom(HKEY hRoot, const wchar_t* psKeyPath, const wchar_t* psValue, DWORD* pdwValue);
bool TbdReadRegistryDword(const wchar_t* psKeyPath, const wchar_t* psValue, DWORD* pdwValue);
bool TbdReadRegistryString(const wchar_t* psKeyPath, const wchar_t* psValue, wchar_t* psBuffer, DWORD nChars);
