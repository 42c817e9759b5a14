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

    // One format per view for each line, written out whole, so that a line
    // of the log is found here by its text.
    struct CViewFormats
    {
        const wchar_t* pszView32;
        const wchar_t* pszView64;
        const wchar_t* For(ERegistryView view) const { return view == REGISTRY_VIEW_32 ? pszView32 : pszView64; }
    };
    static const CViewFormats s_OpenFailed;
    static const CViewFormats s_QueryFailed;
    static const CViewFormats s_Got;
    static const CViewFormats s_WriteFailed;
    static const CViewFormats s_SetDword;
    static const CViewFormats s_UpdateFailed;
    static const CViewFormats s_SetText;
    static const CViewFormats s_DeleteFailed;
    static const CViewFormats s_Deleted;

    static REGSAM ViewAccess(ERegistryView view);
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
