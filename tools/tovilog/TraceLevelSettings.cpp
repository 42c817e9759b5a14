#include "TraceLevelSettings.h"

#include <algorithm>

#include "ToolConsole.h"
#include "diroduzuvevo/TbdLineLayout.h"
#include "platform/Handles.h"

const wchar_t* const CTraceLevelSettings::ProgramKey = L"Software\\DiroDuzUvevo\\ToviImgMgr";

namespace
{
const wchar_t* const kLevelNames[] = {L"TBDOL_TRACE", L"TBDOL_INFORMATION", L"TBDOL_ERROR", L"TBDOL_NONE"};
const wchar_t* const kClassNames[] = {L"TBDCT_ALL", L"TBDCT_ALL_FUNCTIONS", L"TBDCT_ALL_MEMORY", L"TBCT_INFO",
                                      L"TBCT_READ"};
const wchar_t kLevelFile[] = L"TraceLevelFile";
const wchar_t kLevelDebug[] = L"TraceLevelDebug";

std::wstring Lower(std::wstring text)
{
    for (wchar_t& c : text)
        c = (c >= L'A' && c <= L'Z') ? (wchar_t)(c - L'A' + L'a') : c;
    return text;
}

std::vector<std::wstring> LevelValues(CTraceLevelSettings::Threshold threshold)
{
    if (threshold == CTraceLevelSettings::FILE_ONLY)
        return {kLevelFile};
    if (threshold == CTraceLevelSettings::DEBUG_ONLY)
        return {kLevelDebug};
    return {kLevelFile, kLevelDebug};
}
}

bool CTraceLevelSettings::ParseLevel(const std::wstring& text, std::wstring* pName)
{
    int nLevel = -1;
    const std::wstring lower = Lower(text);
    if (TbdParseLevelName(text.c_str(), &nLevel))
    {
    }
    else if (lower.size() == 1 && lower[0] >= L'0' && lower[0] <= L'3')
        nLevel = lower[0] - L'0';
    else if (lower == L"trace")
        nLevel = 0;
    else if (lower == L"information" || lower == L"info")
        nLevel = 1;
    else if (lower == L"error")
        nLevel = 2;
    else if (lower == L"none")
        nLevel = 3;
    if (nLevel < 0)
        return false;
    *pName = kLevelNames[nLevel];
    return true;
}

bool CTraceLevelSettings::ParseClass(const std::wstring& text, ClassSetting* pSetting)
{
    size_t equals = text.find(L'=');
    if (equals == std::wstring::npos)
        return false;
    std::wstring name = text.substr(0, equals);
    std::wstring value = Lower(text.substr(equals + 1));
    for (const wchar_t* pszClass : kClassNames)
    {
        if (Lower(name) != Lower(pszClass))
            continue;
        if (value == L"on" || value == L"1")
            pSetting->bEnabled = true;
        else if (value == L"off" || value == L"0")
            pSetting->bEnabled = false;
        else
            return false;
        pSetting->name = pszClass;
        return true;
    }
    return false;
}

std::vector<std::wstring> CTraceLevelSettings::ValueNames()
{
    std::vector<std::wstring> names = {kLevelFile, kLevelDebug};
    names.insert(names.end(), std::begin(kClassNames), std::end(kClassNames));
    return names;
}

std::vector<REGSAM> CTraceLevelSettings::Views() const
{
    // The user's key is one key in both views; the machine's is not.
    if (!m_bMachine)
        return {0};
    return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
}

std::wstring CTraceLevelSettings::Where() const
{
    return std::wstring(m_bMachine ? L"HKEY_LOCAL_MACHINE" : L"HKEY_CURRENT_USER") + L"\\" + ProgramKey;
}

bool CTraceLevelSettings::Write(const std::wstring& levelName, Threshold threshold,
                                const std::vector<ClassSetting>& classes, std::wstring* pError) const
{
    for (REGSAM view : Views())
    {
        CRegKey key;
        LONG lResult = ::RegCreateKeyExW(Root(), ProgramKey, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, key.put(),
                                         nullptr);
        if (lResult != ERROR_SUCCESS)
        {
            *pError = L"cannot open " + Where() + L" for writing (" + CToolConsole::ErrorText((DWORD)lResult) + L")";
            return false;
        }
        if (!levelName.empty())
        {
            for (const std::wstring& value : LevelValues(threshold))
            {
                DWORD cb = (DWORD)((levelName.size() + 1) * sizeof(wchar_t));
                lResult = ::RegSetValueExW(key.get(), value.c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(levelName.c_str()), cb);
                if (lResult != ERROR_SUCCESS)
                {
                    *pError = L"cannot write " + value + L" (" + CToolConsole::ErrorText((DWORD)lResult) + L")";
                    return false;
                }
            }
        }
        for (const ClassSetting& setting : classes)
        {
            DWORD dwValue = setting.bEnabled ? 1 : 0;
            lResult = ::RegSetValueExW(key.get(), setting.name.c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
            if (lResult != ERROR_SUCCESS)
            {
                *pError = L"cannot write " + setting.name + L" (" + CToolConsole::ErrorText((DWORD)lResult) + L")";
                return false;
            }
        }
    }
    return true;
}

bool CTraceLevelSettings::Remove(std::vector<std::wstring>* pRemoved, std::wstring* pError) const
{
    pRemoved->clear();
    for (REGSAM view : Views())
    {
        CRegKey key;
        LONG lResult = ::RegOpenKeyExW(Root(), ProgramKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE | view, key.put());
        if (lResult == ERROR_FILE_NOT_FOUND)
            continue;
        if (lResult != ERROR_SUCCESS)
        {
            *pError = L"cannot open " + Where() + L" (" + CToolConsole::ErrorText((DWORD)lResult) + L")";
            return false;
        }
        for (const std::wstring& value : ValueNames())
        {
            lResult = ::RegDeleteValueW(key.get(), value.c_str());
            if (lResult == ERROR_SUCCESS)
            {
                if (std::find(pRemoved->begin(), pRemoved->end(), value) == pRemoved->end())
                    pRemoved->push_back(value);
            }
            else if (lResult != ERROR_FILE_NOT_FOUND)
            {
                *pError = L"cannot remove " + value + L" (" + CToolConsole::ErrorText((DWORD)lResult) + L")";
                return false;
            }
        }
    }
    return true;
}

std::vector<std::wstring> CTraceLevelSettings::ShadowingUserValues(const std::wstring& levelName, Threshold threshold,
                                                                   const std::vector<ClassSetting>& classes) const
{
    std::vector<std::wstring> shadowing;
    if (!m_bMachine)
        return shadowing;
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, ProgramKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
        return shadowing;
    std::vector<std::wstring> names;
    if (!levelName.empty())
        names = LevelValues(threshold);
    for (const ClassSetting& setting : classes)
        names.push_back(setting.name);
    for (const std::wstring& name : names)
    {
        if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            shadowing.push_back(name);
    }
    return shadowing;
}
