#include "StateFile.h"

#include <vector>

#include "SimErrors.h"
#include "SimText.h"

std::wstring CStateFile::DefaultPath(const std::wstring& besideModule)
{
    wchar_t value[MAX_PATH + 1] = {};
    DWORD length = ::GetEnvironmentVariableW(L"TOVISIM_STATE", value, MAX_PATH + 1);
    if (length > 0 && length <= MAX_PATH)
        return value;
    return besideModule;
}

std::wstring CStateFile::BesideModule(HMODULE module)
{
    wchar_t modulePath[MAX_PATH + 1] = {};
    DWORD size = ::GetModuleFileNameW(module, modulePath, MAX_PATH);
    std::wstring path(modulePath, size);
    size_t slash = path.find_last_of(L"\\/");
    path = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
    return path + L"tovisim.state";
}

std::wstring CStateFile::PathKey(const std::wstring& path)
{
    std::wstring upper(path);
    if (!upper.empty())
        ::CharUpperBuffW(&upper[0], (DWORD)upper.size());
    UINT32 hash = 2166136261u;
    for (wchar_t c : upper)
    {
        hash ^= (UINT32)c;
        hash *= 16777619u;
    }
    return CSimText::Format(L"%08X", hash);
}

CStateFile::CStateFile(const std::wstring& path)
{
    wchar_t full[MAX_PATH + 1] = {};
    DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH + 1, full, nullptr);
    m_path = length > 0 && length <= MAX_PATH ? std::wstring(full) : path;
}

bool CStateFile::Lock(DWORD timeoutMs)
{
    if (m_bLocked)
        return true;
    if (!m_hMutex)
    {
        std::wstring name = L"ToviSim.State." + PathKey(m_path);
        m_hMutex.reset(::CreateMutexW(nullptr, FALSE, name.c_str()));
        if (!m_hMutex)
            return false;
    }
    DWORD wait = ::WaitForSingleObject(m_hMutex.get(), timeoutMs);
    m_bLocked = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    return m_bLocked;
}

void CStateFile::Unlock()
{
    if (m_bLocked)
        ::ReleaseMutex(m_hMutex.get());
    m_bLocked = false;
}

ULONG CStateFile::Load(CModemState& state) const
{
    CFileHandle file(::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
    {
        DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
        {
            state = CModemState();
            return SimError::kNone;
        }
        return error ? error : SimError::kStateCorrupt;
    }
    std::string text;
    char chunk[16384];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        text.append(chunk, read);
    return state.Parse(text) ? SimError::kNone : SimError::kStateCorrupt;
}

ULONG CStateFile::Save(const CModemState& state) const
{
    std::string text = state.Serialize();
    std::wstring temp = m_path + L".tmp";
    {
        CFileHandle file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                       nullptr));
        if (!file)
            return ::GetLastError();
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), (DWORD)text.size(), &written, nullptr) || written != text.size())
            return ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
    }
    if (!::MoveFileExW(temp.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ::GetLastError();
    return SimError::kNone;
}
