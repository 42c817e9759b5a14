#pragma once
// Binds the simulated ToviApi.dll at run time: its control entry points
// (SimControl.h) all or nothing, and the modem API entry points that the
// control program and the tests drive directly. Nothing imports the library
// statically, so a test decides which build of it is loaded.
#include <windows.h>

#include <string>

#include "SimControl.h"
#include "modem/ToviApi.h"
#include "platform/Handles.h"

class CSimLibrary
{
public:
    // A bare name is looked up as the loader does (the program's folder first).
    bool Load(const std::wstring& path = L"ToviApi.dll");
    bool Loaded() const { return m_bLoaded; }
    HMODULE Module() const { return m_module.get(); }
    FARPROC Proc(const char* name) const;

    decltype(&SimCreateModem) pfnSimCreateModem = nullptr;
    decltype(&SimCreateEmptyModem) pfnSimCreateEmptyModem = nullptr;
    decltype(&SimStoreFolder) pfnSimStoreFolder = nullptr;
    decltype(&SimSetFault) pfnSimSetFault = nullptr;
    decltype(&SimSetRawList) pfnSimSetRawList = nullptr;
    decltype(&SimClearFaults) pfnSimClearFaults = nullptr;
    decltype(&SimOverrideFirmwareInfo) pfnSimOverrideFirmwareInfo = nullptr;
    decltype(&SimSetResetDelay) pfnSimSetResetDelay = nullptr;
    decltype(&SimSimulateRemoval) pfnSimSimulateRemoval = nullptr;
    decltype(&SimGetJournal) pfnSimGetJournal = nullptr;
    decltype(&SimClearJournal) pfnSimClearJournal = nullptr;
    decltype(&SimDescribe) pfnSimDescribe = nullptr;

    PFN_QCWWANConnect pfnQCWWANConnect = nullptr;
    PFN_QCWWANDisconnect pfnQCWWANDisconnect = nullptr;
    PFN_GetImagesPreference pfnGetImagesPreference = nullptr;
    PFN_GetStoredImages pfnGetStoredImages = nullptr;
    PFN_SetImagesPreference pfnSetImagesPreference = nullptr;
    PFN_ResetDevice pfnResetDevice = nullptr;
    PFN_DeleteStoredImage pfnDeleteStoredImage = nullptr;
    PFN_GetImageStoreW pfnGetImageStoreW = nullptr;
    PFN_GetImageIDs pfnGetImageIDs = nullptr;
    PFN_SetPortAutomaticTracking pfnSetPortAutomaticTracking = nullptr;
    PFN_UpgradeFirmware3k pfnUpgradeFirmware3k = nullptr;

    // SimGetJournal or SimDescribe as one text ("" on failure).
    std::wstring ReadText(decltype(&SimDescribe) pfn, ULONG* pResult = nullptr) const;

private:
    template <typename T>
    bool Bind(T& pfn, const char* name)
    {
        pfn = reinterpret_cast<T>(reinterpret_cast<void*>(Proc(name)));
        return pfn != nullptr;
    }

    CModule m_module;
    bool m_bLoaded = false;
};
