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

// Checks the alter event and re-reads the registry when it was signalled.
// Every trace call and check does so first, so that a signal set just before
// a call is applied at that very call.
void TbdPollAlterEvent();

// The log file: opening and closing.
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
