#include "SimProcess.h"

#include <algorithm>

#include "SimText.h"
#include "StateFile.h"
#include "platform/Handles.h"

namespace
{
SimConnection g_self;
std::wstring g_stateBesideModule;

uint64_t FileTimeValue(const FILETIME& time)
{
    return ((uint64_t)time.dwHighDateTime << 32) | time.dwLowDateTime;
}

uint64_t ProcessStart(HANDLE process)
{
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    return ::GetProcessTimes(process, &created, &exited, &kernel, &user) ? FileTimeValue(created) : 0;
}

std::string ProgramName()
{
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    size_t slash = name.find_last_of(L"\\/");
    return CSimText::ToUtf8(slash == std::wstring::npos ? name : name.substr(slash + 1));
}
}

void CSimProcess::OnLoad(HMODULE module)
{
    LARGE_INTEGER counter = {};
    ::QueryPerformanceCounter(&counter);
    g_self.processId = ::GetCurrentProcessId();
    g_self.processStart = ProcessStart(::GetCurrentProcess());
    // Two loads of the library in one process never share a counter value.
    g_self.load = (uint64_t)counter.QuadPart ^ ((uint64_t)(ULONG_PTR)module << 32);
    g_self.program = ProgramName();
    g_stateBesideModule = CStateFile::BesideModule(module);
}

const std::wstring& CSimProcess::StateBesideModule()
{
    return g_stateBesideModule;
}

SimConnection CSimProcess::Self()
{
    return g_self;
}

bool CSimProcess::IsThisLoad(const SimConnection& connection)
{
    return connection.processId == g_self.processId && connection.processStart == g_self.processStart &&
           connection.load == g_self.load;
}

bool CSimProcess::IsRunning(const SimConnection& connection)
{
    if (connection.processId == g_self.processId)
        return connection.processStart == g_self.processStart;
    CHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, connection.processId));
    if (!process)
        return ::GetLastError() == ERROR_ACCESS_DENIED;  // there, but not ours to look at
    if (::WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0)
        return false;
    // The same ID may have gone to a later process.
    return ProcessStart(process.get()) == connection.processStart;
}

bool CSimProcess::IsConnected(const CModemState& state)
{
    return std::any_of(state.connections.begin(), state.connections.end(), &CSimProcess::IsThisLoad);
}

void CSimProcess::Connect(CModemState& state)
{
    DropEnded(state);
    if (!IsConnected(state))
        state.connections.push_back(g_self);
}

void CSimProcess::Disconnect(CModemState& state)
{
    state.connections.erase(std::remove_if(state.connections.begin(), state.connections.end(), &CSimProcess::IsThisLoad),
                            state.connections.end());
}

void CSimProcess::DropEnded(CModemState& state)
{
    state.connections.erase(std::remove_if(state.connections.begin(), state.connections.end(),
                                           [](const SimConnection& c) { return !IsRunning(c); }),
                            state.connections.end());
}
