#include "support/RegistrySnapshot.h"

#include <string.h>

namespace
{
std::wstring ParentOf(const std::wstring& path)
{
    size_t pos = path.find_last_of(L'\\');
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos);
}

HKEY OpenKey(HKEY hRoot, const std::wstring& path, REGSAM view, REGSAM access)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(hRoot, path.c_str(), 0, access | view, &hKey) != ERROR_SUCCESS)
        return nullptr;
    return hKey;
}

bool QueryValue(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, DWORD& type,
                std::vector<BYTE>& data)
{
    HKEY hKey = OpenKey(hRoot, path, view, KEY_QUERY_VALUE);
    if (hKey == nullptr)
        return false;
    DWORD cb = 0;
    LONG result = ::RegQueryValueExW(hKey, name, nullptr, &type, nullptr, &cb);
    if (result == ERROR_SUCCESS)
    {
        data.assign(cb, 0);
        result = ::RegQueryValueExW(hKey, name, nullptr, &type, data.empty() ? nullptr : data.data(), &cb);
        data.resize(cb);
    }
    ::RegCloseKey(hKey);
    return result == ERROR_SUCCESS;
}

bool SetValue(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, DWORD type, const void* data,
              DWORD cb)
{
    HKEY hKey = OpenKey(hRoot, path, view, KEY_SET_VALUE);
    if (hKey == nullptr)
        return false;
    LONG result = ::RegSetValueExW(hKey, name, 0, type, static_cast<const BYTE*>(data), cb);
    ::RegCloseKey(hKey);
    return result == ERROR_SUCCESS;
}
}

namespace TestRegistry
{
bool KeyExists(HKEY hRoot, const std::wstring& path, REGSAM view)
{
    HKEY hKey = OpenKey(hRoot, path, view, KEY_READ);
    if (hKey == nullptr)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

bool CreateKey(HKEY hRoot, const std::wstring& path, REGSAM view)
{
    HKEY hKey = nullptr;
    if (::RegCreateKeyExW(hRoot, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &hKey, nullptr) !=
        ERROR_SUCCESS)
        return false;
    ::RegCloseKey(hKey);
    return true;
}

void DeleteKey(HKEY hRoot, const std::wstring& path, REGSAM view)
{
    HKEY hKey = OpenKey(hRoot, path, view, KEY_ALL_ACCESS);
    if (hKey != nullptr)
    {
        ::RegDeleteTreeW(hKey, nullptr);
        ::RegCloseKey(hKey);
    }
    ::RegDeleteKeyExW(hRoot, path.c_str(), view, 0);
}

bool SetDword(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, DWORD value)
{
    return SetValue(hRoot, path, view, name, REG_DWORD, &value, sizeof(value));
}

bool SetString(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, const std::wstring& value)
{
    return SetValue(hRoot, path, view, name, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool GetDword(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, DWORD& value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(hRoot, path, view, name, type, data) || type != REG_DWORD || data.size() != sizeof(DWORD))
        return false;
    memcpy(&value, data.data(), sizeof(DWORD));
    return true;
}

bool GetString(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name, std::wstring& value)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(hRoot, path, view, name, type, data) || type != REG_SZ)
        return false;
    value.assign(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0')
        value.pop_back();
    return true;
}

bool ValueExists(HKEY hRoot, const std::wstring& path, REGSAM view, const wchar_t* name)
{
    DWORD type = 0;
    std::vector<BYTE> data;
    return QueryValue(hRoot, path, view, name, type, data);
}
}

CRegistrySnapshot::CRegistrySnapshot(HKEY hRoot, const std::wstring& path, REGSAM view)
    : m_hRoot(hRoot), m_path(path), m_view(view)
{
    m_bParentExisted = TestRegistry::KeyExists(hRoot, ParentOf(path), view);
    HKEY hKey = OpenKey(hRoot, path, view, KEY_READ);
    if (hKey != nullptr)
    {
        m_bKeyExisted = true;
        for (DWORD index = 0;; ++index)
        {
            wchar_t name[16384];
            DWORD cchName = 16384;
            DWORD type = 0;
            DWORD cb = 0;
            if (::RegEnumValueW(hKey, index, name, &cchName, nullptr, &type, nullptr, &cb) != ERROR_SUCCESS)
                break;
            Value value;
            value.name = name;
            QueryValue(hRoot, path, view, name, value.type, value.data);
            m_values.push_back(value);
        }
        ::RegCloseKey(hKey);
    }
    TestRegistry::DeleteKey(hRoot, path, view);
}

CRegistrySnapshot::~CRegistrySnapshot()
{
    TestRegistry::DeleteKey(m_hRoot, m_path, m_view);
    if (!m_bParentExisted)
        ::RegDeleteKeyExW(m_hRoot, ParentOf(m_path).c_str(), m_view, 0);  // only when left empty
    if (!m_bKeyExisted)
        return;
    TestRegistry::CreateKey(m_hRoot, m_path, m_view);
    for (const Value& value : m_values)
        SetValue(m_hRoot, m_path, m_view, value.name.c_str(), value.type, value.data.data(),
                 static_cast<DWORD>(value.data.size()));
}
