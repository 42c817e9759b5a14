#include "support/TraceTestSupport.h"

#include <stdio.h>

#include <mutex>

namespace
{
// Raised by the debugger-output call with the text's length and address.
const DWORD kDebugPrintException = 0x40010006;

std::mutex g_debugMutex;
std::vector<std::string> g_debugStrings;

LONG CALLBACK RecordDebugOutput(EXCEPTION_POINTERS* pInfo)
{
    const EXCEPTION_RECORD* pRecord = pInfo->ExceptionRecord;
    if (pRecord->ExceptionCode == kDebugPrintException && pRecord->NumberParameters >= 2)
    {
        const char* psText = reinterpret_cast<const char*>(pRecord->ExceptionInformation[1]);
        size_t nLength = (size_t)pRecord->ExceptionInformation[0];
        if (psText)
        {
            std::string text(psText, nLength);
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            std::lock_guard<std::mutex> lock(g_debugMutex);
            g_debugStrings.push_back(text);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

bool OpenKey(HKEY hRoot, const std::wstring& key, HKEY* phKey)
{
    return ::RegCreateKeyExW(hRoot, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, phKey, nullptr) ==
           ERROR_SUCCESS;
}
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(h, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    ::CloseHandle(h);
    return bytes;
}

bool FileExists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring TestTempPath(const std::wstring& name)
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    wchar_t path[MAX_PATH] = {};
    _snwprintf(path, MAX_PATH - 1, L"%s%s_%lu", folder, name.c_str(), ::GetCurrentProcessId());
    return path;
}

std::string AnsiBytes(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes(n, '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), &bytes[0], n, nullptr, nullptr);
    return bytes;
}

void DeleteTraceProgramKey(const std::wstring& programName)
{
    // The library cuts the key's path at 259 characters.
    std::wstring key = (L"Software\\DiroDuzUvevo\\" + programName).substr(0, MAX_PATH - 1);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

CRegValueGuard::CRegValueGuard(HKEY hRoot, const std::wstring& key, const std::wstring& value)
    : m_hRoot(hRoot), m_key(key), m_value(value), m_bExisted(false), m_dwType(0)
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(m_hRoot, m_key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return;
    DWORD cbData = 0;
    if (::RegQueryValueExW(hKey, m_value.c_str(), nullptr, &m_dwType, nullptr, &cbData) == ERROR_SUCCESS)
    {
        m_data.resize(cbData);
        m_bExisted = ::RegQueryValueExW(hKey, m_value.c_str(), nullptr, &m_dwType, m_data.data(), &cbData) ==
                     ERROR_SUCCESS;
        m_data.resize(cbData);
    }
    ::RegCloseKey(hKey);
}

CRegValueGuard::~CRegValueGuard()
{
    if (m_bExisted)
        SetBytes(m_dwType, m_data.data(), (DWORD)m_data.size());
    else
        Delete();
}

void CRegValueGuard::SetBytes(DWORD dwType, const void* pData, DWORD cbData)
{
    HKEY hKey = nullptr;
    if (!OpenKey(m_hRoot, m_key, &hKey))
        return;
    ::RegSetValueExW(hKey, m_value.c_str(), 0, dwType, static_cast<const BYTE*>(pData), cbData);
    ::RegCloseKey(hKey);
}

void CRegValueGuard::SetDword(DWORD dwValue)
{
    SetBytes(REG_DWORD, &dwValue, sizeof(dwValue));
}

void CRegValueGuard::SetString(const std::wstring& text)
{
    SetBytes(REG_SZ, text.c_str(), (DWORD)((text.size() + 1) * sizeof(wchar_t)));
}

void CRegValueGuard::Delete()
{
    HKEY hKey = nullptr;
    if (::RegOpenKeyExW(m_hRoot, m_key.c_str(), 0, KEY_WRITE, &hKey) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueW(hKey, m_value.c_str());
    ::RegCloseKey(hKey);
}

CDebugOutputCapture::CDebugOutputCapture()
{
    {
        std::lock_guard<std::mutex> lock(g_debugMutex);
        g_debugStrings.clear();
    }
    m_hHandler = ::AddVectoredExceptionHandler(1, RecordDebugOutput);
}

CDebugOutputCapture::~CDebugOutputCapture()
{
    if (m_hHandler)
        ::RemoveVectoredExceptionHandler(m_hHandler);
}

std::vector<std::string> CDebugOutputCapture::Strings() const
{
    std::lock_guard<std::mutex> lock(g_debugMutex);
    return g_debugStrings;
}

bool CDebugOutputCapture::Contains(const std::string& text) const
{
    for (const std::string& s : Strings())
        if (s.find(text) != std::string::npos)
            return true;
    return false;
}
