#pragma once
// One call into the simulated modem: takes the state file's lock, loads the
// state, lets a missing connection, a fault or a missing modem answer first,
// runs the entry point's own work, writes the journal line and saves, all
// under the lock.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ModemState.h"
#include "StateFile.h"

class CSimCall
{
public:
    // What a call needs. A host call reads only host files or the library's
    // own state. Connecting needs the modem: it answers 6 (no device) while
    // there is none or while it is away after a reset. A device call needs this
    // process's connection as well, and answers SimError::kNotConnected
    // without one, modem or not.
    enum Kind { kHost, kConnect, kDevice };
    CSimCall(const char* entryPoint, Kind kind);

    typedef std::function<ULONG(CModemState& state)> Body;
    // An entry point of the modem API: faults, availability, journal.
    ULONG Run(const std::string& args, const Body& body);
    // A control entry point: no faults, no journal; saves when the body
    // succeeded, unless the mode is kRead. A new modem (fresh) replaces an unreadable state.
    enum ControlMode { kRead, kChange, kFresh };
    static ULONG Control(const Body& body, ControlMode mode = kChange);

    const std::wstring& StatePath() const { return m_file.Path(); }

    // For the list calls: the raw bytes a test asked for, counting the call.
    bool TakeRawList(CModemState& state, std::vector<uint8_t>& bytes);
    // The modem restarts on its preferred images and is away for the reset
    // delay; every listening process hears of the removal.
    static void TakeAway(CModemState& state, const std::wstring& statePath);
    static bool IsAway(const CModemState& state);
    // The library is being freed: this load's connection and removal listener
    // go from the state (best effort, with a short wait for the lock).
    static void ForgetThisLoad();
    static uint64_t AwayMilliseconds(const CModemState& state);

private:
    ULONG RunLocked(const std::string& args, const Body& body);
    static ULONG ControlLocked(const Body& body, ControlMode mode);
    bool TakeFault(CModemState& state, ULONG& code);

    std::string m_entryPoint;
    Kind m_kind;
    CStateFile m_file;
};

// Copies a list into the caller's buffer: the count gets the list's length;
// a list longer than the capacity is refused with SimError::kInsufficientBuffer
// unless it is raw (then it is cut at the capacity, the count still says its
// full length, as a misbehaving library would).
ULONG SimWriteList(const std::vector<uint8_t>& bytes, bool raw, ULONG capacity, ULONG* pSize, BYTE* pBuffer);
