#include "support/SimModem.h"

#include <stdio.h>

#include <algorithm>
#include <cstring>

#include "ModemState.h"
#include "QdlStatus.h"
#include "SimLibrary.h"
#include "SimText.h"
#include "StateFile.h"
#include "platform/Handles.h"

namespace
{
typedef ULONG(WINAPI* PFN_SimText)(LPWSTR, ULONG, ULONG*);

std::wstring TempFolderFor(const wchar_t* kind)
{
    static LONG s_nCounter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    wchar_t path[MAX_PATH + 1] = {};
    _snwprintf(path, MAX_PATH, L"%stovisim_%s_%lu_%ld", temp, kind, ::GetCurrentProcessId(),
               ::InterlockedIncrement(&s_nCounter));
    return path;
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data = {};
    HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE)
    {
        do
        {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
            {
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(child.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(path.c_str());
}

bool ReadState(const std::wstring& path, CModemState& state)
{
    CStateFile file(path);
    CStateLock lock(file);
    return lock.Locked() && file.Load(state) == 0;
}

template <typename T>
T Bind(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}
}

CSimModem::CSimModem()
{
    Init(SampleStoreOptions());
}

CSimModem::CSimModem(const SampleStoreOptions& options)
{
    Init(options);
}

void CSimModem::Init(const SampleStoreOptions& options)
{
    m_tempRoot = TempFolderFor(L"test");
    ::CreateDirectoryW(m_tempRoot.c_str(), nullptr);
    m_storeRoot = m_tempRoot + L"\\store";
    m_statePath = m_tempRoot + L"\\tovisim.state";

    wchar_t previous[MAX_PATH + 1] = {};
    DWORD length = ::GetEnvironmentVariableW(L"TOVISIM_STATE", previous, MAX_PATH + 1);
    m_bHadPreviousState = length > 0 && length <= MAX_PATH;
    if (m_bHadPreviousState)
        m_previousState = previous;
    ::SetEnvironmentVariableW(L"TOVISIM_STATE", m_statePath.c_str());

    SaveQdlStatus();
    bool written = WriteSampleStore(m_storeRoot, options);
    m_hModule = ::LoadLibraryW(L"ToviApi.dll");
    static const char* const kControl[] = {
        "SimCreateModem", "SimCreateEmptyModem", "SimStoreFolder",  "SimSetFault",      "SimSetRawList",
        "SimClearFaults", "SimOverrideFirmwareInfo", "SimSetResetDelay", "SimSimulateRemoval", "SimGetJournal",
        "SimClearJournal", "SimDescribe"};
    m_bLoaded = written && m_hModule != nullptr;
    for (const char* name : kControl)
        m_bLoaded = m_bLoaded && Proc(name) != nullptr;
}

CSimModem::~CSimModem()
{
    if (m_hModule)
        ::FreeLibrary(m_hModule);
    ::SetEnvironmentVariableW(L"TOVISIM_STATE", m_bHadPreviousState ? m_previousState.c_str() : nullptr);
    RestoreQdlStatus();
    RemoveTree(m_tempRoot);
}

void CSimModem::SaveQdlStatus()
{
    CRegKey key;
    m_bQdlKeyExisted =
        ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, TOVISIM_QDL_KEY, 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
    DWORD size = sizeof(m_dwQdlStatus);
    m_bQdlStatusExisted = m_bQdlKeyExisted &&
                          ::RegQueryValueExW(key.get(), TOVISIM_QDL_VALUE, nullptr, nullptr,
                                             reinterpret_cast<BYTE*>(&m_dwQdlStatus), &size) == ERROR_SUCCESS;
}

void CSimModem::RestoreQdlStatus()
{
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, TOVISIM_QDL_KEY, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS)
        return;
    if (m_bQdlStatusExisted)
        ::RegSetValueExW(key.get(), TOVISIM_QDL_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_dwQdlStatus),
                         sizeof(m_dwQdlStatus));
    else
        ::RegDeleteValueW(key.get(), TOVISIM_QDL_VALUE);
    key.reset();
    if (!m_bQdlKeyExisted)
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, TOVISIM_QDL_KEY);
}

FARPROC CSimModem::Proc(const char* name) const
{
    return m_hModule ? ::GetProcAddress(m_hModule, name) : nullptr;
}

std::wstring CSimModem::FolderPath(const std::wstring& folder) const
{
    return m_storeRoot + L"\\" + folder;
}

std::wstring CSimModem::FolderPath(int folder) const
{
    return FolderPath(std::to_wstring(folder));
}

std::wstring CSimModem::MakeTempFolder(const std::wstring& name)
{
    std::wstring path = m_tempRoot + L"\\" + name;
    for (int n = 2; ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
        path = m_tempRoot + L"\\" + name + L"_" + std::to_wstring(n);
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

bool CSimModem::WriteStore(const SampleStoreOptions& options)
{
    return WriteSampleStore(m_storeRoot, options);
}

ULONG CSimModem::Create(const std::wstring& runningFolder, ULONG maxImagesPerType)
{
    auto pfn = Bind<decltype(&SimCreateModem)>(m_hModule, "SimCreateModem");
    return pfn ? pfn(m_storeRoot.c_str(), runningFolder.c_str(), maxImagesPerType) : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::CreateEmpty(ULONG maxImagesPerType)
{
    auto pfn = Bind<decltype(&SimCreateEmptyModem)>(m_hModule, "SimCreateEmptyModem");
    return pfn ? pfn(m_storeRoot.c_str(), maxImagesPerType) : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::StoreFolder(const std::wstring& folder)
{
    auto pfn = Bind<decltype(&SimStoreFolder)>(m_hModule, "SimStoreFolder");
    std::wstring path = folder.find_first_of(L"\\/:") == std::wstring::npos ? FolderPath(folder) : folder;
    return pfn ? pfn(path.c_str()) : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::SetFault(const char* entryPoint, ULONG code, ULONG count)
{
    auto pfn = Bind<decltype(&SimSetFault)>(m_hModule, "SimSetFault");
    return pfn ? pfn(entryPoint, code, count) : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::SetRawList(const char* entryPoint, const std::vector<BYTE>& bytes, ULONG count)
{
    auto pfn = Bind<decltype(&SimSetRawList)>(m_hModule, "SimSetRawList");
    return pfn ? pfn(entryPoint, bytes.empty() ? nullptr : bytes.data(), (ULONG)bytes.size(), count)
               : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::ClearFaults()
{
    auto pfn = Bind<decltype(&SimClearFaults)>(m_hModule, "SimClearFaults");
    return pfn ? pfn() : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::OverrideFirmwareInfo(ULONG technology, ULONG carrier, ULONG region, ULONG gps)
{
    auto pfn = Bind<decltype(&SimOverrideFirmwareInfo)>(m_hModule, "SimOverrideFirmwareInfo");
    return pfn ? pfn(technology, carrier, region, gps) : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::SetResetDelay(ULONG milliseconds)
{
    auto pfn = Bind<decltype(&SimSetResetDelay)>(m_hModule, "SimSetResetDelay");
    return pfn ? pfn(milliseconds) : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::SimulateRemoval()
{
    auto pfn = Bind<decltype(&SimSimulateRemoval)>(m_hModule, "SimSimulateRemoval");
    return pfn ? pfn() : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::ClearJournal()
{
    auto pfn = Bind<decltype(&SimClearJournal)>(m_hModule, "SimClearJournal");
    return pfn ? pfn() : ERROR_PROC_NOT_FOUND;
}

ULONG CSimModem::ReadText(ULONG(WINAPI* pfn)(LPWSTR, ULONG, ULONG*), std::wstring& text) const
{
    text.clear();
    if (pfn == nullptr)
        return ERROR_PROC_NOT_FOUND;
    ULONG result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 5 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt)
    {
        ULONG needed = 0;
        result = pfn(nullptr, 0, &needed);
        if (result != ERROR_INSUFFICIENT_BUFFER)
            break;
        std::vector<wchar_t> buffer(needed + 256);
        result = pfn(&buffer[0], (ULONG)buffer.size(), &needed);
        if (result == 0)
            text = &buffer[0];
    }
    return result;
}

std::vector<std::wstring> CSimModem::Journal() const
{
    std::wstring text;
    ReadText(Bind<PFN_SimText>(m_hModule, "SimGetJournal"), text);
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::wstring> CSimModem::JournalCalls(const std::wstring& prefix) const
{
    std::vector<std::wstring> matching;
    for (const std::wstring& line : Journal())
    {
        if (line.compare(0, prefix.size(), prefix) == 0)
            matching.push_back(line);
    }
    return matching;
}

std::wstring CSimModem::Describe() const
{
    std::wstring text;
    ReadText(Bind<PFN_SimText>(m_hModule, "SimDescribe"), text);
    return text;
}

bool CSimModem::Exists() const
{
    CModemState state;
    return ReadState(m_statePath, state) && state.present;
}

std::vector<SimStoredImage> CSimModem::StoredImages(BYTE type) const
{
    std::vector<SimStoredImage> images;
    CModemState state;
    if (!ReadState(m_statePath, state))
        return images;
    for (const SimSlotImage& stored : state.images)
    {
        if (stored.image.type != type)
            continue;
        SimStoredImage image;
        image.type = stored.image.type;
        image.slot = stored.slot;
        image.failureCount = stored.failureCount;
        std::memcpy(image.imageId, stored.image.imageId, 16);
        image.versionId = stored.image.versionId;
        image.buildId = stored.image.buildId;
        images.push_back(image);
    }
    std::sort(images.begin(), images.end(),
              [](const SimStoredImage& a, const SimStoredImage& b) { return a.slot < b.slot; });
    return images;
}

std::string CSimModem::PreferredBuildId(BYTE type) const
{
    CModemState state;
    if (type > 1 || !ReadState(m_statePath, state) || !state.hasPreferred[type])
        return std::string();
    return state.preferred[type].buildId;
}

std::string CSimModem::RunningBuildId(BYTE type) const
{
    CModemState state;
    if (type > 1 || !ReadState(m_statePath, state) || !state.hasRunning[type])
        return std::string();
    return state.running[type].buildId;
}

ULONG CSimModem::GpsTrackingValue() const
{
    CModemState state;
    return ReadState(m_statePath, state) ? state.gpsTracking : 0;
}
