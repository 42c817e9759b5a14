#include "agent/QdlSettingsKey.h"

#include <initializer_list>

#include "diroduzuvevo/DiroDuzUvevo.h"

namespace
{
const wchar_t kAutoImageDownloadBySim[] = L"AutoImageDownloadbySIM";
const wchar_t kImageManagerParam[] = L"ImageManagerParam";
}

const wchar_t* const CQdlSettingsKey::s_pszKeyPath = L"Software\\Velmora Inc\\QDL";

const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_OpenFailed = {
    L"Failed to open %s in 32-bit registry view - %i", L"Failed to open %s in 64-bit registry view - %i"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_QueryFailed = {
    L"Failed to query %s in 32-bit registry view - %i", L"Failed to query %s in 64-bit registry view - %i"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_Got = {L"Got %s - %i in 32-bit registry view",
                                                              L"Got %s - %i in 64-bit registry view"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_WriteFailed = {
    L"Failed to write %s in 32-bit registry view - %i", L"Failed to write %s in 64-bit registry view - %i"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_SetDword = {L"Set %s - %i in 32-bit registry view",
                                                                   L"Set %s - %i in 64-bit registry view"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_UpdateFailed = {
    L"Failed to update %s in 32-bit registry view - %i", L"Failed to update %s in 64-bit registry view - %i"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_SetText = {L"Set %s - %s in 32-bit registry view",
                                                                  L"Set %s - %s in 64-bit registry view"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_DeleteFailed = {
    L"Failed to delete %s in 32-bit registry view - %i", L"Failed to delete %s in 64-bit registry view - %i"};
const CQdlSettingsKey::CViewFormats CQdlSettingsKey::s_Deleted = {
    L"Registry value deleted: %s in 32-bit registry view", L"Registry value deleted: %s in 64-bit registry view"};

REGSAM CQdlSettingsKey::ViewAccess(ERegistryView view)
{
    return view == REGISTRY_VIEW_32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
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
        TbdPrintMessage(TBCT_INFO, 1, s_OpenFailed.For(view), s_pszKeyPath, lResult);
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
        TbdPrintMessage(TBCT_INFO, 1, s_QueryFailed.For(view), pszName, lResult);
        return false;
    }
    dwValue = dwRead;
    TbdPrintMessage(TBCT_INFO, 1, s_Got.For(view), pszName, dwValue);
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
        TbdPrintMessage(TBCT_INFO, 1, s_WriteFailed.For(view), pszName, lResult);
        return false;
    }
    TbdPrintMessage(TBCT_INFO, 1, s_SetDword.For(view), pszName, dwValue);
    return true;
}

bool CQdlSettingsKey::SetText(ERegistryView view, const wchar_t* pszName, const wchar_t* pszText)
{
    const DWORD cbText = static_cast<DWORD>((wcslen(pszText) + 1) * sizeof(wchar_t));
    LONG lResult = ::RegSetValueExW(m_hKey[view].get(), pszName, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(pszText), cbText);
    if (lResult != ERROR_SUCCESS)
    {
        TbdPrintMessage(TBCT_INFO, 1, s_UpdateFailed.For(view), pszName, lResult);
        return false;
    }
    TbdPrintMessage(TBCT_INFO, 1, s_SetText.For(view), pszName, pszText);
    return true;
}

bool CQdlSettingsKey::Delete(ERegistryView view, const wchar_t* pszName)
{
    LONG lResult = ::RegDeleteValueW(m_hKey[view].get(), pszName);
    if (lResult != ERROR_SUCCESS)
    {
        TbdPrintMessage(TBCT_INFO, 1, s_DeleteFailed.For(view), pszName, lResult);
        return false;
    }
    TbdPrintMessage(TBCT_INFO, 1, s_Deleted.For(view), pszName);
    return true;
}

void CQdlSettingsKey::Close()
{
    m_hKey[REGISTRY_VIEW_32].reset();
    m_hKey[REGISTRY_VIEW_64].reset();
}
