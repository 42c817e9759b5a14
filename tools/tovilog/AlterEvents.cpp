#include "AlterEvents.h"

#include "platform/Handles.h"

namespace
{
const wchar_t kPrefix[] = L"DiroDuzUvevo_AlterEvent_";

typedef LONG NTSTATUS_T;
const NTSTATUS_T kStatusMoreEntries = 0x00000105;
const NTSTATUS_T kStatusNoMoreEntries = (NTSTATUS_T)0x8000001A;
const ACCESS_MASK kDirectoryQuery = 0x0001;
const ULONG kObjCaseInsensitive = 0x00000040;

struct CountedText
{
    USHORT Length;
    USHORT MaximumLength;
    PWSTR Buffer;
};

struct ObjectAttributes
{
    ULONG Length;
    HANDLE RootDirectory;
    CountedText* ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};

struct DirectoryEntry
{
    CountedText Name;
    CountedText TypeName;
};

typedef NTSTATUS_T(NTAPI* OpenDirectoryFn)(PHANDLE, ACCESS_MASK, ObjectAttributes*);
typedef NTSTATUS_T(NTAPI* QueryDirectoryFn)(HANDLE, PVOID, ULONG, BOOLEAN, BOOLEAN, PULONG, PULONG);
typedef void (*PlainFn)();

template <typename T>
T NtEntryPoint(const char* pszName)
{
    HMODULE hNtdll = ::GetModuleHandleW(L"ntdll.dll");
    FARPROC pfn = hNtdll ? ::GetProcAddress(hNtdll, pszName) : nullptr;
    return reinterpret_cast<T>(reinterpret_cast<PlainFn>(pfn));
}

std::wstring Text(const CountedText& text)
{
    return text.Buffer ? std::wstring(text.Buffer, text.Length / sizeof(wchar_t)) : std::wstring();
}

NTSTATUS_T OpenDirectory(OpenDirectoryFn pfnOpen, std::wstring path, CHandle* pDirectory)
{
    CountedText objectName = {(USHORT)(path.size() * sizeof(wchar_t)), (USHORT)(path.size() * sizeof(wchar_t)),
                              &path[0]};
    ObjectAttributes attributes = {sizeof(ObjectAttributes), nullptr, &objectName, kObjCaseInsensitive, nullptr,
                                   nullptr};
    return pfnOpen(pDirectory->put(), kDirectoryQuery, &attributes);
}

std::wstring HexStatus(NTSTATUS_T status)
{
    wchar_t sz[16];
    _snwprintf(sz, 16, L"0x%08lX", (unsigned long)status);
    sz[15] = L'\0';
    return sz;
}
}

bool CAlterEvents::IsAlterEventName(const std::wstring& name, const std::wstring& upperProgramName)
{
    const size_t nPrefix = wcslen(kPrefix);
    if (name.compare(0, nPrefix, kPrefix) != 0)
        return false;
    size_t i = nPrefix;
    while (i < name.size() && name[i] >= L'0' && name[i] <= L'9')
        ++i;
    if (i == nPrefix || i >= name.size() || name[i] != L'_')
        return false;
    return name.compare(i + 1, std::wstring::npos, upperProgramName) == 0;
}

bool CAlterEvents::Find(const std::wstring& upperProgramName, std::vector<std::wstring>* pNames, std::wstring* pError)
{
    pNames->clear();
    OpenDirectoryFn pfnOpen = NtEntryPoint<OpenDirectoryFn>("NtOpenDirectoryObject");
    QueryDirectoryFn pfnQuery = NtEntryPoint<QueryDirectoryFn>("NtQueryDirectoryObject");
    if (!pfnOpen || !pfnQuery)
    {
        *pError = L"the system offers no listing of named objects";
        return false;
    }
    DWORD dwSession = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &dwSession))
        dwSession = 0;
    std::wstring path = L"\\Sessions\\" + std::to_wstring(dwSession) + L"\\BaseNamedObjects";
    CHandle directory;
    NTSTATUS_T status = OpenDirectory(pfnOpen, path, &directory);
    // Session 0 keeps its named objects in the root folder of the namespace.
    if (status < 0 && dwSession == 0)
    {
        path = L"\\BaseNamedObjects";
        status = OpenDirectory(pfnOpen, path, &directory);
    }
    if (status < 0)
    {
        *pError = L"cannot open " + path + L" (status " + HexStatus(status) + L")";
        return false;
    }

    // One entry at a time: the listing of a busy session can be long, and a
    // buffer per call keeps the names valid until they are copied.
    ULONG ulContext = 0;
    size_t nEntries = 0;
    const size_t kMaxEntries = 1000000;
    bool bRestart = true;
    for (;;)
    {
        alignas(8) BYTE buffer[4096];
        ULONG ulReturned = 0;
        if (++nEntries > kMaxEntries)
        {
            *pError = L"the listing of " + path + L" does not end";
            return false;
        }
        status = pfnQuery(directory.get(), buffer, sizeof(buffer), TRUE, bRestart, &ulContext, &ulReturned);
        bRestart = false;
        if (status == kStatusNoMoreEntries)
            return true;
        if (status < 0 && status != kStatusMoreEntries)
        {
            *pError = L"cannot list " + path + L" (status " + HexStatus(status) + L")";
            return false;
        }
        const DirectoryEntry* pEntry = reinterpret_cast<const DirectoryEntry*>(buffer);
        std::wstring name = Text(pEntry->Name);
        if (Text(pEntry->TypeName) == L"Event" && IsAlterEventName(name, upperProgramName))
            pNames->push_back(name);
    }
}

bool CAlterEvents::Signal(const std::wstring& name, DWORD* pdwError)
{
    CHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str()));
    if (!event || !::SetEvent(event.get()))
    {
        *pdwError = ::GetLastError();
        return false;
    }
    return true;
}
