#include "SimCall.h"

#include <algorithm>
#include <cstring>

#include "RemovalNotifier.h"
#include "SimErrors.h"
#include "SimProcess.h"
#include "SimulatedModem.h"

namespace
{
uint64_t Now()
{
    FILETIME now = {};
    ::GetSystemTimeAsFileTime(&now);
    return ((uint64_t)now.dwHighDateTime << 32) | now.dwLowDateTime;
}
}

CSimCall::CSimCall(const char* entryPoint, Kind kind)
    : m_entryPoint(entryPoint), m_kind(kind), m_file(CStateFile::DefaultPath(CSimProcess::StateBesideModule()))
{
}

// Nothing may leave an entry point of the library as an exception: its
// caller is code of another module. The lock is released on the way out.
ULONG CSimCall::Run(const std::string& args, const Body& body)
{
    try
    {
        return RunLocked(args, body);
    }
    catch (...)
    {
        return SimError::kOutOfMemory;
    }
}

ULONG CSimCall::Control(const Body& body, ControlMode mode)
{
    try
    {
        return ControlLocked(body, mode);
    }
    catch (...)
    {
        return SimError::kOutOfMemory;
    }
}

bool CSimCall::TakeFault(CModemState& state, ULONG& code)
{
    for (size_t i = 0; i < state.faults.size(); ++i)
    {
        SimFault& fault = state.faults[i];
        if (fault.entryPoint != m_entryPoint)
            continue;
        code = fault.code;
        if (fault.count != CModemState::kAlways && --fault.count == 0)
            state.faults.erase(state.faults.begin() + i);
        return true;
    }
    return false;
}

bool CSimCall::TakeRawList(CModemState& state, std::vector<uint8_t>& bytes)
{
    for (size_t i = 0; i < state.rawLists.size(); ++i)
    {
        SimRawList& raw = state.rawLists[i];
        if (raw.entryPoint != m_entryPoint)
            continue;
        bytes = raw.bytes;
        if (raw.count != CModemState::kAlways && --raw.count == 0)
            state.rawLists.erase(state.rawLists.begin() + i);
        return true;
    }
    return false;
}

ULONG CSimCall::RunLocked(const std::string& args, const Body& body)
{
    CStateLock lock(m_file);
    if (!lock.Locked())
        return SimError::kTimeout;
    CModemState state;
    ULONG result = m_file.Load(state);
    if (result != SimError::kNone)
        return result;
    // A call without a connection never reaches the modem, so it takes no
    // fault either.
    if (m_kind == kDevice && !CSimProcess::IsConnected(state))
        result = SimError::kNotConnected;
    else if (TakeFault(state, result))
    {
    }
    else if (m_kind != kHost && (!state.present || IsAway(state)))
        result = SimError::kNoDevice;
    else
        result = body(state);
    state.AddJournalLine(m_entryPoint + "(" + args + ") = " + std::to_string(result));
    m_file.Save(state);
    return result;
}

ULONG CSimCall::ControlLocked(const Body& body, ControlMode mode)
{
    CStateFile file(CStateFile::DefaultPath(CSimProcess::StateBesideModule()));
    CStateLock lock(file);
    if (!lock.Locked())
        return SimError::kTimeout;
    CModemState state;
    ULONG result = file.Load(state);
    if (result == SimError::kStateCorrupt && mode == kFresh)
        state = CModemState();
    else if (result != SimError::kNone)
        return result;
    result = body(state);
    if (mode != kRead && result == SimError::kNone)
        result = file.Save(state);
    return result;
}

void CSimCall::TakeAway(CModemState& state, const std::wstring& statePath)
{
    CSimulatedModem(state).Restart();
    state.awayUntil = state.resetDelayMs ? Now() + (uint64_t)state.resetDelayMs * 10000 : 0;
    CRemovalNotifier::NotifyAll(state, statePath);
}

void CSimCall::ForgetThisLoad()
{
    CStateFile file(CStateFile::DefaultPath(CSimProcess::StateBesideModule()));
    if (!file.Lock(2000))
        return;
    CModemState state;
    if (file.Load(state) == SimError::kNone)
    {
        size_t connections = state.connections.size();
        size_t listeners = state.listeners.size();
        CSimProcess::Disconnect(state);
        DWORD self = ::GetCurrentProcessId();
        state.listeners.erase(std::remove(state.listeners.begin(), state.listeners.end(), self), state.listeners.end());
        if (connections != state.connections.size() || listeners != state.listeners.size())
            file.Save(state);
    }
    file.Unlock();
}

bool CSimCall::IsAway(const CModemState& state)
{
    return state.awayUntil > Now();
}

uint64_t CSimCall::AwayMilliseconds(const CModemState& state)
{
    uint64_t now = Now();
    return state.awayUntil > now ? (state.awayUntil - now + 9999) / 10000 : 0;
}

ULONG SimWriteList(const std::vector<uint8_t>& bytes, bool raw, ULONG capacity, ULONG* pSize, BYTE* pBuffer)
{
    if (pSize == nullptr || pBuffer == nullptr)
        return SimError::kInvalidParameter;
    if (!raw && bytes.size() > capacity)
    {
        *pSize = (ULONG)bytes.size();
        return SimError::kInsufficientBuffer;
    }
    size_t copied = std::min<size_t>(bytes.size(), capacity);
    if (copied)
        std::memcpy(pBuffer, bytes.data(), copied);
    *pSize = (ULONG)bytes.size();
    return SimError::kNone;
}
