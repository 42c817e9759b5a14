// The control entry points of the simulated ToviApi.dll (SimControl.h).
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "HostImageFolder.h"
#include "SimCall.h"
#include "SimControl.h"
#include "SimErrors.h"
#include "SimProcess.h"
#include "SimText.h"
#include "SimulatedModem.h"

namespace
{
const char* const kEntryPoints[] = {
    "QCWWANConnect",   "QCWWANDisconnect",   "GetImagesPreference",      "GetStoredImages",
    "SetImagesPreference", "ResetDevice",    "DeleteStoredImage",        "SetDeviceRemovalCallback",
    "GetImageStoreW",  "GetImageIDs",        "GetImageInfo3KW",          "GetFirmwareInfo",
    "GetFirmwareRevision", "SetPortAutomaticTracking", "UpgradeFirmware3k",
};
const char* const kListEntryPoints[] = {"GetImagesPreference", "GetStoredImages", "GetImageIDs"};

template <size_t N>
bool IsOneOf(LPCSTR name, const char* const (&names)[N])
{
    if (name == nullptr)
        return false;
    for (const char* candidate : names)
    {
        if (std::strcmp(candidate, name) == 0)
            return true;
    }
    return false;
}

std::wstring FullPath(LPCWSTR path)
{
    wchar_t full[MAX_PATH + 1] = {};
    DWORD length = ::GetFullPathNameW(path, MAX_PATH + 1, full, nullptr);
    return length > 0 && length <= MAX_PATH ? std::wstring(full) : std::wstring(path);
}

std::wstring JoinFolder(const std::wstring& root, LPCWSTR folder)
{
    std::wstring path = root;
    while (!path.empty() && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return path + L"\\" + folder;
}

bool ValidMaximum(ULONG maxImagesPerType)
{
    return maxImagesPerType >= 1 && maxImagesPerType <= 0xFF;
}

ULONG CopyText(const std::wstring& text, LPWSTR pszBuffer, ULONG capacity, ULONG* pNeeded)
{
    ULONG needed = (ULONG)text.size() + 1;
    if (pNeeded)
        *pNeeded = needed;
    if (pszBuffer == nullptr || capacity < needed)
    {
        if (pszBuffer && capacity > 0)
            pszBuffer[0] = L'\0';
        return SimError::kInsufficientBuffer;
    }
    std::memcpy(pszBuffer, text.c_str(), needed * sizeof(wchar_t));
    return SimError::kNone;
}
}

ULONG WINAPI SimCreateModem(LPCWSTR pszStoreRoot, LPCWSTR pszRunningFolder, ULONG maxImagesPerType)
{
    if (pszStoreRoot == nullptr || *pszStoreRoot == L'\0' || pszRunningFolder == nullptr ||
        !ValidMaximum(maxImagesPerType))
        return SimError::kInvalidParameter;
    std::wstring root = FullPath(pszStoreRoot);
    SimImage modemImage, priImage;
    ULONG result = CHostImageFolder::Read(JoinFolder(root, pszRunningFolder), modemImage, priImage);
    if (result == SimError::kNone && (modemImage.type != 0 || priImage.type != 1))
        result = SimError::kBadFormat;
    if (result != SimError::kNone)
        return result;
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        state.Reset();
        state.present = true;
        state.root = CSimText::ToUtf8(root);
        state.maxImagesPerType = maxImagesPerType;
        CSimulatedModem modem(state);
        std::vector<uint8_t> missing;
        ULONG stored = modem.StoreImages({modemImage, priImage}, false, nullptr);
        if (stored != SimError::kNone)
            return stored;
        modem.SetPreference({modemImage, priImage}, false, missing);
        modem.Restart();
        return SimError::kNone;
    }, CSimCall::kFresh);
}

ULONG WINAPI SimCreateEmptyModem(LPCWSTR pszStoreRoot, ULONG maxImagesPerType)
{
    if (pszStoreRoot == nullptr || *pszStoreRoot == L'\0' || !ValidMaximum(maxImagesPerType))
        return SimError::kInvalidParameter;
    std::wstring root = FullPath(pszStoreRoot);
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        state.Reset();
        state.present = true;
        state.root = CSimText::ToUtf8(root);
        state.maxImagesPerType = maxImagesPerType;
        return SimError::kNone;
    }, CSimCall::kFresh);
}

ULONG WINAPI SimStoreFolder(LPCWSTR pszFolderPath)
{
    if (pszFolderPath == nullptr)
        return SimError::kInvalidParameter;
    SimImage modemImage, priImage;
    ULONG result = CHostImageFolder::Read(pszFolderPath, modemImage, priImage);
    if (result != SimError::kNone)
        return result;
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        if (!state.present)
            return SimError::kNoDevice;
        return CSimulatedModem(state).StoreImages({modemImage, priImage}, false, nullptr);
    });
}

ULONG WINAPI SimSetFault(LPCSTR pszEntryPoint, ULONG code, ULONG count)
{
    if (!IsOneOf(pszEntryPoint, kEntryPoints))
        return SimError::kInvalidParameter;
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        state.faults.erase(std::remove_if(state.faults.begin(), state.faults.end(),
                                          [&](const SimFault& f) { return f.entryPoint == pszEntryPoint; }),
                           state.faults.end());
        if (count == 0)
            return SimError::kNone;
        SimFault fault;
        fault.entryPoint = pszEntryPoint;
        fault.code = code;
        fault.count = count;
        state.faults.push_back(fault);
        return SimError::kNone;
    });
}

ULONG WINAPI SimSetRawList(LPCSTR pszEntryPoint, const BYTE* pBytes, ULONG byteCount, ULONG count)
{
    if (!IsOneOf(pszEntryPoint, kListEntryPoints) || (pBytes == nullptr && byteCount > 0))
        return SimError::kInvalidParameter;
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        state.rawLists.erase(std::remove_if(state.rawLists.begin(), state.rawLists.end(),
                                            [&](const SimRawList& r) { return r.entryPoint == pszEntryPoint; }),
                             state.rawLists.end());
        if (count == 0)
            return SimError::kNone;
        SimRawList raw;
        raw.entryPoint = pszEntryPoint;
        if (byteCount)
            raw.bytes.assign(pBytes, pBytes + byteCount);
        raw.count = count;
        state.rawLists.push_back(raw);
        return SimError::kNone;
    });
}

ULONG WINAPI SimClearFaults(void)
{
    return CSimCall::Control([](CModemState& state) -> ULONG {
        state.faults.clear();
        state.rawLists.clear();
        state.overrideSet = false;
        return SimError::kNone;
    });
}

ULONG WINAPI SimOverrideFirmwareInfo(ULONG technology, ULONG carrier, ULONG region, ULONG gps)
{
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        state.overrideSet = true;
        state.overrideInfo[0] = technology;
        state.overrideInfo[1] = carrier;
        state.overrideInfo[2] = region;
        state.overrideInfo[3] = gps;
        return SimError::kNone;
    });
}

ULONG WINAPI SimSetResetDelay(ULONG milliseconds)
{
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        state.resetDelayMs = milliseconds;
        return SimError::kNone;
    });
}

ULONG WINAPI SimSimulateRemoval(void)
{
    std::wstring statePath = CStateFile(CStateFile::DefaultPath(CSimProcess::StateBesideModule())).Path();
    return CSimCall::Control([&](CModemState& state) -> ULONG {
        if (!state.present)
            return SimError::kNoDevice;
        CSimCall::TakeAway(state, statePath);
        return SimError::kNone;
    });
}

ULONG WINAPI SimGetJournal(LPWSTR pszBuffer, ULONG capacity, ULONG* pNeeded)
{
    std::string text;
    ULONG result = CSimCall::Control(
        [&](CModemState& state) -> ULONG {
            for (const std::string& line : state.journal)
                text += line + "\n";
            return SimError::kNone;
        },
        CSimCall::kRead);
    return result != SimError::kNone ? result : CopyText(CSimText::FromUtf8(text), pszBuffer, capacity, pNeeded);
}

ULONG WINAPI SimClearJournal(void)
{
    return CSimCall::Control([](CModemState& state) -> ULONG {
        state.journal.clear();
        return SimError::kNone;
    });
}

ULONG WINAPI SimDescribe(LPWSTR pszBuffer, ULONG capacity, ULONG* pNeeded)
{
    std::wstring statePath = CStateFile(CStateFile::DefaultPath(CSimProcess::StateBesideModule())).Path();
    std::string text;
    ULONG result = CSimCall::Control(
        [&](CModemState& state) -> ULONG {
            // Only the connections of processes that still run (the state
            // itself is not written by a reading call).
            CSimProcess::DropEnded(state);
            text = CSimulatedModem(state).Describe(CSimText::ToUtf8(statePath), CSimCall::AwayMilliseconds(state));
            return SimError::kNone;
        },
        CSimCall::kRead);
    return result != SimError::kNone ? result : CopyText(CSimText::FromUtf8(text), pszBuffer, capacity, pNeeded);
}
