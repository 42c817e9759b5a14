// The trace library's process-wide state and its values before start-up.
#include "diroduzuvevo/TbdInternal.h"

bool btbdInitialized = false;
HANDLE hOutputFile = INVALID_HANDLE_VALUE;
HANDLE hAlterEvent = nullptr;
const wchar_t* psProgramName = L"DiroDuzUvevo";
wchar_t szLogFileName[MAX_PATH] = L"";
wchar_t szAlterEventName[MAX_PATH] = L"";
int nMaxLogSize = 100000000;
int nTraceLevelFile = 3;
int nTraceLevelDebug = 3;
bool bClassEnabled[TBD_CLASS_COUNT] = {};
bool OutputToFile = true;
bool OutputToDebug = false;
bool OutputThreadID = true;
bool OutputTickCount = false;
bool OutputDateTimeInHeader = true;
bool bEncryptLog = false;
LARGE_INTEGER liCounterFrequency = {};

const wchar_t* const psClassTypeNames[TBD_CLASS_COUNT] = {
    L"TBDCT_NULL", L"TBDCT_ALL", L"TBDCT_ALL_FUNCTIONS", L"TBDCT_ALL_MEMORY", L"TBCT_INFO", L"TBCT_READ", L""};

CRITICAL_SECTION csTbdLine;
CRITICAL_SECTION csTbdFile;
wchar_t szTbdGeneralKey[MAX_PATH] = L"";
wchar_t szTbdProgramKey[MAX_PATH] = L"";
bool btbdLogFileChosen = false;
