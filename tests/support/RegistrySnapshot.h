#pragma once
// Keeps one registry key of one view as it was: the constructor records the
// key's values (and whether the key and its parent existed) and removes the
// key, so a test starts without it; the destructor removes whatever the test
// left and puts the recorded key back. Subkeys are not kept.
#include <windows.h>

#include <string>
#include <vector>

class CRegistrySnapshot
{
public:
    // view: KEY_WOW64_32KEY or KEY_WOW64_64KEY.
    CRegistrySnapshot(HKEY hRoot, const std::wstring& path, REGSAM view);
    ~CRegistrySnapshot();
    CRegistrySnapshot(const CRegistrySnapshot&) = delete;
    CRegistrySnapshot& operator=(const CRegistrySnapshot&) = delete;

private:
    struct Value
    {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };

    HKEY m_hRoot;
    std::wstring m_path;
    REGSAM m_view;
    bool m_bKeyExisted = false;
    bool m_bParentExisted = false;
    std::vector<Value> m_values;
};

// Small registry helpers for tests, all in an explicit view.
namespace TestRegistry
{
bool KeyExists(HKEY hRoot, const std::wstring& path, REGSAM view);
bool CreateKey(HKEY hRoot, const std::wstring& path, REGSAM view);
void DeleteKey(HKEY hRoot, const std::wstring& path, REGSAM view);
bool SetDword(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, DWORD value);
bool SetString(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, const std::wstring& value);
// False when the value is missing or not a REG_DWORD.
bool GetDword(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, DWORD& value);
// False when the value is missing or not a REG_SZ.
bool GetString(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, std::wstring& value);
bool ValueExists(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name);
}
