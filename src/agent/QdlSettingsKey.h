#pragma once
// The agent's registry key, HKEY_LOCAL_MACHINE "Software\Velmora Inc\QDL",
// opened for one operation in both registry views. Other software may read
// the key through either view, so every change is made in both.
#include <windows.h>

#include "platform/Handles.h"

class CQdlSettingsKey
{
public:
    CQdlSettingsKey() = default;
    CQdlSettingsKey(const CQdlSettingsKey&) = delete;
    CQdlSettingsKey& operator=(const CQdlSettingsKey&) = delete;

    // True when at least one view was opened.
    bool Open();
    // Reads "AutoImageDownloadbySIM" into dwValue; the 32-bit view is asked
    // first. dwValue is untouched unless a view delivered the value.
    bool QueryAutoImageDownloadBySim(DWORD& dwValue);
    bool SetDwordValue(const wchar_t* pszName, DWORD dwValue);
    bool SetImageManagerParam(const wchar_t* pszText);
    bool DeleteValue(const wchar_t* pszName);
    void Close();

    static const wchar_t* const s_pszKeyPath;

private:
    enum ERegistryView
    {
        REGISTRY_VIEW_32,
        REGISTRY_VIEW_64,
        REGISTRY_VIEW_COUNT
    };

    static REGSAM ViewAccess(ERegistryView view);
    static const wchar_t* ViewName(ERegistryView view);
    bool IsOpen(ERegistryView view) const { return m_hKey[view].valid(); }
    bool AnyViewOpen() const;
    // Applies a change to every open view, the 64-bit view last, and reports
    // the outcome of the last view changed.
    template <typename Change>
    bool ChangeOpenViews(Change change);

    bool OpenView(ERegistryView view);
    bool QueryDword(ERegistryView view, const wchar_t* pszName, DWORD& dwValue);
    bool SetDword(ERegistryView view, const wchar_t* pszName, DWORD dwValue);
    bool SetText(ERegistryView view, const wchar_t* pszName, const wchar_t* pszText);
    bool Delete(ERegistryView view, const wchar_t* pszName);

    CRegKey m_hKey[REGISTRY_VIEW_COUNT];
};
