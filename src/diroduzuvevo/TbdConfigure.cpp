// Settings from the registry, the alter event that makes the library read
// them again, and the library's own consistency checks.
#include "diroduzuvevo/TbdInternal.h"
#include "diroduzuvevo/TbdLineLayout.h"
#include "platform/Handles.h"

namespace
{
// Re-reading the registry traces and checks, which poll again; the event is
// not looked at from inside its own re-read.
thread_local bool bApplyingOverrides = false;

bool QueryValue(HKEY hRoot, const wchar_t* psKeyPath, const wchar_t* psValue, void* pData, DWORD* pcbData)
{
    CRegKey key;
    if (::RegCreateKeyExW(hRoot, psKeyPath, 0, nullptr, 0, KEY_READ, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegQueryValueExW(key.get(), psValue, nullptr, nullptr, static_cast<BYTE*>(pData), pcbData) ==
           ERROR_SUCCESS;
}

void ReadSwitch(const wchar_t* psKeyPath, const wchar_t* psValue, bool* pbSetting)
{
    DWORD dwValue = 0;
    if (TbdReadRegistryDword(psKeyPath, psValue, &dwValue))
        *pbSetting = dwValue != 0;
}

void ReadLevel(const wchar_t* psKeyPath, const wchar_t* psValue, int* pnFirst, int* pnSecond)
{
    wchar_t szName[TBD_LEVEL_NAME_CHARS];
    int nLevel = 0;
    if (!TbdReadRegistryString(psKeyPath, psValue, szName, TBD_LEVEL_NAME_CHARS) || !TbdParseLevelName(szName, &nLevel))
        return;
    *pnFirst = nLevel;
    if (pnSecond)
        *pnSecond = nLevel;
}

void ReadOutputSwitches(const wchar_t* psKeyPath)
{
    bool bWasToFile = OutputToFile;
    bool bWasDateTimeInHeader = OutputDateTimeInHeader;

    ReadSwitch(psKeyPath, L"OutputTickCount", &OutputTickCount);
    ReadSwitch(psKeyPath, L"OutputThreadID", &OutputThreadID);
    ReadSwitch(psKeyPath, L"OutputDateTimeInHeader", &OutputDateTimeInHeader);
    ReadSwitch(psKeyPath, L"OutputToDebug", &OutputToDebug);
    ReadSwitch(psKeyPath, L"OutputToFile", &OutputToFile);

    if (!bWasToFile && OutputToFile && !btbdLogFileChosen)
    {
        OutputToFile = false;
        TbdPrintMessage(TBDCT_LAST, 3,
                        L"TBD : \"OutputToFile\" can NOT be enabled from the registry if it was initially disabled");
    }
    if (OutputDateTimeInHeader != bWasDateTimeInHeader)
    {
        OutputDateTimeInHeader = bWasDateTimeInHeader;
        TbdPrintMessage(TBDCT_LAST, 3, L"TBD : \"OutputDateTimeInHeader\" can NOT be enabled or disabled from the registry");
    }
}

void ReadLevels(const wchar_t* psKeyPath)
{
    // Later values win: the specific thresholds over "TraceLevelAll" over "TraceLevel".
    ReadLevel(psKeyPath, L"TraceLevel", &nTraceLevelFile, &nTraceLevelDebug);
    ReadLevel(psKeyPath, L"TraceLevelAll", &nTraceLevelFile, &nTraceLevelDebug);
    ReadLevel(psKeyPath, L"TraceLevelFile", &nTraceLevelFile, nullptr);
    ReadLevel(psKeyPath, L"TraceLevelDebug", &nTraceLevelDebug, nullptr);
}

void ReadClassEnables(const wchar_t* psKeyPath)
{
    for (int nClass = TBDCT_ALL; nClass <= TBCT_READ; ++nClass)
        ReadSwitch(psKeyPath, psClassTypeNames[nClass], &bClassEnabled[nClass]);
}

void ReadMaxLogSize(const wchar_t* psKeyPath)
{
    DWORD dwValue = 0;
    if (TbdReadRegistryDword(psKeyPath, L"MaxLogSize", &dwValue) && (int)dwValue > 0)
        nMaxLogSize = (int)dwValue;
}
}

bool TbdReadRegistryDwordFrom(HKEY hRoot, const wchar_t* psKeyPath, const wchar_t* psValue, DWORD* pdwValue)
{
    DWORD dwValue = 0;
    DWORD cbValue = sizeof(dwValue);
    if (!QueryValue(hRoot, psKeyPath, psValue, &dwValue, &cbValue) || cbValue != sizeof(DWORD))
        return false;
    *pdwValue = dwValue;
    return true;
}

bool TbdReadRegistryDword(const wchar_t* psKeyPath, const wchar_t* psValue, DWORD* pdwValue)
{
    return TbdReadRegistryDwordFrom(HKEY_CURRENT_USER, psKeyPath, psValue, pdwValue) ||
           TbdReadRegistryDwordFrom(HKEY_LOCAL_MACHINE, psKeyPath, psValue, pdwValue);
}

bool TbdReadRegistryString(const wchar_t* psKeyPath, const wchar_t* psValue, wchar_t* psBuffer, DWORD nChars)
{
    for (HKEY hRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    {
        // A value need not be terminated, nor hold whole characters: the
        // buffer starts zeroed and its last place is always a terminator.
        ZeroMemory(psBuffer, nChars * sizeof(wchar_t));
        DWORD cbData = nChars * sizeof(wchar_t);
        if (QueryValue(hRoot, psKeyPath, psValue, psBuffer, &cbData))
        {
            psBuffer[nChars - 1] = L'\0';
            return true;
        }
    }
    psBuffer[0] = L'\0';
    return false;
}

void TbdPollAlterEvent()
{
    HANDLE hEvent = hAlterEvent;
    if (!hEvent || bApplyingOverrides)
        return;
    if (::WaitForSingleObject(hEvent, 0) != WAIT_OBJECT_0)
        return;
    bApplyingOverrides = true;
    TbdApplyRegistryOverrides();
    bApplyingOverrides = false;
}

void TbdApplyRegistryOverrides()
{
    if (!TbdAssert(btbdInitialized))
        return;
    TbdPrintMessage(TBCT_INFO, 1, L"Apply TBD logging registry over-rides");
    TbdReadRegistrySettings(szTbdGeneralKey);
    TbdReadRegistrySettings(szTbdProgramKey);
}

void TbdReadRegistrySettings(const wchar_t* psKeyPath)
{
    if (!TbdAssert(btbdInitialized) || !psKeyPath || !*psKeyPath)
        return;
    ReadOutputSwitches(psKeyPath);
    ReadLevels(psKeyPath);
    ReadClassEnables(psKeyPath);
    ReadMaxLogSize(psKeyPath);
}

bool TbdAssertImpl(bool bCondition, const char* pszExpression, int nLine)
{
    TbdPollAlterEvent();
    if (!bCondition && (3 >= nTraceLevelFile || 3 >= nTraceLevelDebug))
    {
        std::wstring source = TbdWiden("diroduzuvevo");
        std::wstring expression = TbdWiden(pszExpression ? pszExpression : "");
        TbdPrintMessage(TBDCT_LAST, 3, L"TBD : ASSERT FAILURE in \"%s\" at line %d : %s", source.c_str(), nLine,
                        expression.c_str());
    }
    return bCondition;
}
