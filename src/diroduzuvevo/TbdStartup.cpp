// Starting and stopping the library: the log folder, TbdStartLogging,
// TbdInitialize and TbdShutdown.
#include <shlobj.h>
#include <shlwapi.h>
#include <stdio.h>

#include "diroduzuvevo/TbdInternal.h"
#include "diroduzuvevo/TbdLineLayout.h"

namespace
{
const wchar_t kDefaultProgramName[] = L"DiroDuzUvevo";
const wchar_t kDefaultLogName[] = L"DiroDuzUvevo.txt";
const wchar_t kGeneralKey[] = L"Software\\DiroDuzUvevo";
const wchar_t kEncryptKey[] = L"Software\\Velmora Inc";
const wchar_t kLogName[] = L"ToviImgMgr.txt";

wchar_t szProgramNameBuffer[MAX_PATH] = L"";
bool bLocksCreated = false;

// Each start begins from the library's defaults, so that a restart in the
// same process does not inherit the previous run's settings.
void ResetSettings(const wchar_t* psName, int nLogSizeLimit)
{
    CTbdLineBuffer(szProgramNameBuffer, MAX_PATH).Append(psName ? psName : kDefaultProgramName);
    psProgramName = szProgramNameBuffer;
    nMaxLogSize = nLogSizeLimit > 0 ? nLogSizeLimit : 100000000;
    nTraceLevelFile = 3;
    nTraceLevelDebug = 3;
    OutputToFile = true;
    OutputToDebug = false;
    OutputThreadID = true;
    OutputTickCount = false;
    OutputDateTimeInHeader = true;
    bEncryptLog = false;
    btbdLogFileChosen = false;
    szLogFileName[0] = L'\0';
}

void BuildNames()
{
    CTbdLineBuffer(szTbdGeneralKey, MAX_PATH).Append(kGeneralKey);
    CTbdLineBuffer programKey(szTbdProgramKey, MAX_PATH);
    programKey.Append(kGeneralKey);
    programKey.Append(L"\\");
    programKey.Append(psProgramName);

    wchar_t szTick[16];
    _snwprintf(szTick, 16, L"%u_", (unsigned)::GetTickCount());
    szTick[15] = L'\0';
    CTbdLineBuffer eventName(szAlterEventName, MAX_PATH);
    eventName.Append(L"DiroDuzUvevo_AlterEvent_");
    eventName.Append(szTick);
    size_t nNameStart = eventName.Length();
    eventName.Append(psProgramName);
    ::CharUpperBuffW(szAlterEventName + nNameStart, (DWORD)(eventName.Length() - nNameStart));
}

void CreateLocks()
{
    ::InitializeCriticalSection(&csTbdLine);
    ::InitializeCriticalSection(&csTbdFile);
    bLocksCreated = true;
}

// Releases whatever a start made, whether or not it completed.
void ReleaseState(bool bWriteFooter)
{
    btbdInitialized = false;
    if (hAlterEvent)
        ::CloseHandle(hAlterEvent);
    hAlterEvent = nullptr;
    if (bWriteFooter)
        TbdWriteFooter();
    if (bLocksCreated)
    {
        ::DeleteCriticalSection(&csTbdFile);
        ::DeleteCriticalSection(&csTbdLine);
        bLocksCreated = false;
    }
    TbdCloseLogFile();
}

// The output name as given, replaced by the program key's "OutputFileName";
// a name without a drive becomes a file in the program's folder.
bool ChooseLogFilePath(const wchar_t* psLogFile, std::wstring* pPath)
{
    std::wstring name = (psLogFile && *psLogFile) ? psLogFile : kDefaultLogName;
    wchar_t szFromRegistry[MAX_PATH];
    if (TbdReadRegistryString(szTbdProgramKey, L"OutputFileName", szFromRegistry, MAX_PATH) && szFromRegistry[0])
        name = szFromRegistry;

    std::wstring folder;
    if (name.find(L":\\") != std::wstring::npos || !TbdProgramFolder(&folder))
        *pPath = name;
    else
        *pPath = folder + L"\\" + name;
    // A path that does not fit is a log that cannot be created: cutting it
    // would write somewhere nobody asked for.
    return pPath->size() < MAX_PATH;
}

bool OpenLogFile(const wchar_t* psLogFile)
{
    TbdAssert(INVALID_HANDLE_VALUE == hOutputFile);
    std::wstring path;
    bool bPathFits = ChooseLogFilePath(psLogFile, &path);
    if (bPathFits)
    {
        CTbdLineBuffer(szLogFileName, MAX_PATH).Append(path.c_str());
        btbdLogFileChosen = true;
    }
    bool bOpened = bPathFits && TbdOpenLogFile(path.c_str());

    DWORD dwEncrypt = 0;
    if (TbdReadRegistryDwordFrom(HKEY_CURRENT_USER, kEncryptKey, L"enable encrypt", &dwEncrypt))
        bEncryptLog = dwEncrypt == 1;
    if (!bOpened)
        return false;
    TbdWriteHeader();
    return true;
}

bool StartInitialized(const wchar_t* psLogFile)
{
    BuildNames();
    CreateLocks();
    TbdAssert(0 == hAlterEvent);
    hAlterEvent = ::CreateEventW(nullptr, FALSE, FALSE, szAlterEventName);
    btbdInitialized = hAlterEvent != nullptr;
    if (!btbdInitialized)
        return false;

    for (int nClass = 0; nClass < TBD_CLASS_COUNT; ++nClass)
        bClassEnabled[nClass] = false;
    TbdApplyRegistryOverrides();

    if (OutputToFile && !OpenLogFile(psLogFile))
        btbdInitialized = false;
    return btbdInitialized;
}

bool AppDataFolder(int nFolder, wchar_t* psPath)
{
    psPath[0] = L'\0';
    return SUCCEEDED(::SHGetFolderPathW(nullptr, nFolder, nullptr, SHGFP_TYPE_DEFAULT, psPath)) && psPath[0];
}

DWORD SystemMajorVersion()
{
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL bRead = ::GetVersionExW(&info);
#pragma GCC diagnostic pop
    return bRead ? info.dwMajorVersion : 0;
}

TbdConfig DefaultConfig()
{
    TbdConfig config = {};
    config.nDefaultLevel = 3;
    config.bTraceAllFunctions = 1;
    config.bTraceAllMemory = 0;
    config.bTraceInfo = 1;
    config.bTraceRead = 0;
    config.nLogSizeLimit = 1000000;
    config.hRootKey = nullptr;
    config.bLogOwnVersion = 1;
    return config;
}

void SetClassFromRecord(int nClass, BYTE bEnable)
{
    if (!btbdInitialized)
    {
        TbdAssert(btbdInitialized);
        return;
    }
    TbdPollAlterEvent();
    bClassEnabled[nClass] = bEnable != 0;
    TbdPrintMessage(TBCT_INFO, 1, L"TBD : Class enable state change: %s = %s", psClassTypeNames[nClass],
                    bEnable ? L"true" : L"false");
}

void LogVersion(const TbdConfig& config)
{
    if (config.bLogOwnVersion)
    {
        TbdLogModuleVersion(nullptr);
        return;
    }
    if (TbdLogLibraryVersion(config.szModuleName))
        return;
    wchar_t szFolder[MAX_PATH];
    if (!TbdGetExeFolder(szFolder))
        return;
    std::wstring path = std::wstring(szFolder) + L"\\" + config.szModuleName;
    TbdLogLibraryVersion(path.c_str());
}
}

bool TbdGetLogFolder(wchar_t* psFolder)
{
    if (!psFolder)
        return false;
    psFolder[0] = L'\0';
    DWORD dwMajor = SystemMajorVersion();
    if (dwMajor == 0)
        return false;
    if (dwMajor <= 4)
        return true;

    wchar_t szPath[MAX_PATH];
    if (!AppDataFolder(CSIDL_APPDATA, szPath) && !AppDataFolder(CSIDL_COMMON_APPDATA, szPath))
        return false;
    if (!::PathAppendW(szPath, L"Velmora"))
        return false;
    ::CreateDirectoryW(szPath, nullptr);
    if (!::PathAppendW(szPath, L"Logs"))
        return false;
    if (!::CreateDirectoryW(szPath, nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    CTbdLineBuffer(psFolder, MAX_PATH).Append(szPath);
    return true;
}

bool TbdInitialize(const wchar_t* pszLogFile, int nLogSizeLimit, const wchar_t* pszProgramName)
{
    if (btbdInitialized)
        return true;
    ResetSettings(pszProgramName, nLogSizeLimit);

    btbdInitialized = ::QueryPerformanceFrequency(&liCounterFrequency) != FALSE;
    if (btbdInitialized)
        StartInitialized(pszLogFile);

    TbdAssert(btbdInitialized);
    if (!btbdInitialized)
    {
        ReleaseState(false);
        return false;
    }
    return true;
}

void TbdShutdown()
{
    if (!btbdInitialized)
        return;
    ReleaseState(true);
}

bool TbdStartLogging(const TbdConfig* pConfig)
{
    TbdConfig config = pConfig ? *pConfig : DefaultConfig();
    config.szModuleName[MAX_PATH - 1] = L'\0';

    wchar_t szLogPath[MAX_PATH];
    if (!TbdGetLogFolder(szLogPath) || !::PathAppendW(szLogPath, kLogName))
        return false;
    std::wstring saved = std::wstring(szLogPath) + L"_Saved";
    ::CopyFileW(szLogPath, saved.c_str(), FALSE);

    TbdInitialize(szLogPath, (int)config.nLogSizeLimit);

    TbdPrintMessage(TBCT_INFO, 1, L"Default logging level:");
    SetClassFromRecord(TBDCT_ALL_FUNCTIONS, config.bTraceAllFunctions);
    SetClassFromRecord(TBDCT_ALL_MEMORY, config.bTraceAllMemory);
    SetClassFromRecord(TBCT_INFO, config.bTraceInfo);
    SetClassFromRecord(TBCT_READ, config.bTraceRead);
    if (btbdInitialized)
    {
        TbdPollAlterEvent();
        nTraceLevelFile = config.nDefaultLevel;
        nTraceLevelDebug = config.nDefaultLevel;
    }
    TbdApplyRegistryOverrides();
    LogVersion(config);
    return true;
}
