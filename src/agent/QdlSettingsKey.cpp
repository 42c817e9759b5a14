#include "agent/QdlSettingsKey.h"

#include <initializer_list>

#include "diroduzuvevo/DiroDuzUvevo.h"

namespace
{
const wchar_t kAutoImageDownloadBySim[] = L"AutoImageDownloadbySIM";
const wchar_t kImageManagerParam[] = L"ImageManagerParam";
}

const wchar_t* const CQdlSettingsKey::s_pszKeyPath = L"Software\\Velmora Inc\\QDL";

REGSAM CQdlSettingsKey::ViewAccess(ERegistryView view)
{
    return view == REGISTRY_VIEW_32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

const wchar_t* CQdlSettingsKey::ViewName(ERegistryView view)
{
    return view == REGISTRY_VIEW_32 ? L"32-bit" : L"64-bit";
}

bool CQdlSettingsKey::AnyViewOpen() const
{
    return IsOpen(REGISTRY_VIEW_32) || IsOpen(REGISTRY_VIEW_64);
}

bool CQdlSettingsKey::Open()
{
    const bool bOpened32 = OpenView(REGISTRY_VIEW_32);
    const bool bOpened64 = OpenView(REGISTRY_VIEW_64);
    return bOpened32 || bOpened64;
}

bool CQdlSettingsKey::OpenView(ERegistryView view)
{
    LONG lResult = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, s_pszKeyPath, 0, KEY_ALL_ACCESS | ViewAccess(view),
                                   m_hKey[view].put());
    if (lResult != ERROR_SUCCESS)
    {
        m_hKey[view].release();  // whatever the failed call left there is no key of ours
        TbdPrintMessage(TBCT_INFO, 1, L"Failed to open %s in %s registry view - %i", s_pszKeyPath, ViewName(view),
                        lResult);
        return false;
    }
    return true;
}

bool CQdlSettingsKey::QueryAutoImageDownloadBySim(DWORD& dwValue)
{
    if (!AnyViewOpen())
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Registry key not opened");
        return false;
    }
    // The first view that delivers the value answers; the other is not asked.
    for (ERegistryView view : {REGISTRY_VIEW_32, REGISTRY_VIEW_64})
    {
        if (IsOpen(view) && QueryDword(view, kAutoImageDownloadBySim, dwValue))
            return true;
    }
    return false;
}

bool CQdlSettingsKey::QueryDword(ERegistryView view, const wchar_t* pszName, DWORD& dwValue)
{
    DWORD dwRead = 0;
    DWORD cbData = sizeof(dwRead);
    LONG lResult = ::RegQueryValueExW(m_hKey[view].get(), pszName, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(&dwRead), &cbData);
    if (lResult != ERROR_SUCCESS)
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Failed to query %s in %s registry view - %i", pszName, ViewName(view),
                        lResult);
        return false;
    }
    dwValue = dwRead;
    TbdPrintMessage(TBCT_INFO, 1, L"Got %s - %i in %s registry view", pszName, dwValue, ViewName(view));
    return true;
}

template <typename Change>
bool CQdlSettingsKey::ChangeOpenViews(Change change)
{
    if (!AnyViewOpen())
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Registry key not opened");
        return false;
    }
    bool bResult = false;
    for (ERegistryView view : {REGISTRY_VIEW_32, REGISTRY_VIEW_64})
    {
        if (IsOpen(view))
            bResult = change(view);
    }
    return bResult;
}

bool CQdlSettingsKey::SetDwordValue(const wchar_t* pszName, DWORD dwValue)
{
    return ChangeOpenViews([&](ERegistryView view) { return SetDword(view, pszName, dwValue); });
}

bool CQdlSettingsKey::SetImageManagerParam(const wchar_t* pszText)
{
    return ChangeOpenViews([&](ERegistryView view) { return SetText(view, kImageManagerParam, pszText); });
}

bool CQdlSettingsKey::DeleteValue(const wchar_t* pszName)
{
    return ChangeOpenViews([&](ERegistryView view) { return Delete(view, pszName); });
}

bool CQdlSettingsKey::SetDword(ERegistryView view, const wchar_t* pszName, DWORD dwValue)
{
    LONG lResult = ::RegSetValueExW(m_hKey[view].get(), pszName, 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
    if (lResult != ERROR_SUCCESS)
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Failed to write %s in %s registry view - %i", pszName, ViewName(view),
                        lResult);
        return false;
    }
    TbdPrintMessage(TBCT_INFO, 1, L"Set %s - %i in %s registry view", pszName, dwValue, ViewName(view));
    return true;
}

bool CQdlSettingsKey::SetText(ERegistryView view, const wchar_t* pszName, const wchar_t* pszText)
{
    const DWORD cbText = static_cast<DWORD>((wcslen(pszText) + 1) * sizeof(wchar_t));
    LONG lResult = ::RegSetValueExW(m_hKey[view].get(), pszName, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(pszText), cbText);
    if (lResult != ERROR_SUCCESS)
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Failed to update %s in %s registry view - %i", pszName, ViewName(view),
                        lResult);
        return false;
    }
    TbdPrintMessage(TBCT_INFO, 1, L"Set %s - %s in %s registry view", pszName, pszText, ViewName(view));
    return true;
}

bool CQdlSettingsKey::Delete(ERegistryView view, const wchar_t* pszName)
{
    LONG lResult = ::RegDeleteValueW(m_hKey[view].get(), pszName);
    if (lResult != ERROR_SUCCESS)
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Failed to delete %s in %s registry view - %i", pszName, ViewName(view),
                        lResult);
        return false;
    }
    TbdPrintMessage(TBCT_INFO, 1, L"Registry value deleted: %s in %s registry view", pszName, ViewName(view));
    return true;
}

void CQdlSettingsKey::Close()
{
    m_hKey[REGISTRY_VIEW_32].reset();
    m_hKey[REGISTRY_VIEW_64].reset();
}
