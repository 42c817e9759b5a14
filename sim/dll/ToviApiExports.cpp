// The modem API entry points of the simulated ToviApi.dll.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "HostImageFolder.h"
#include "QdlStatus.h"
#include "QdlStatusReporter.h"
#include "RemovalNotifier.h"
#include "SimCall.h"
#include "SimErrors.h"
#include "SimProcess.h"
#include "SimText.h"
#include "SimulatedModem.h"
#include "modem/ToviApi.h"

#define TOVI_EXPORT extern "C" __declspec(dllexport)

TOVI_EXPORT ULONG WINAPI QCWWANConnect(void);
TOVI_EXPORT ULONG WINAPI QCWWANDisconnect(void);
TOVI_EXPORT ULONG WINAPI GetImagesPreference(ULONG* pImageListSize, BYTE* pImageList);
TOVI_EXPORT ULONG WINAPI GetStoredImages(ULONG* pImageListSize, BYTE* pImageList);
TOVI_EXPORT ULONG WINAPI SetImagesPreference(ULONG imageListSize, BYTE* pImageList, ULONG bForceDownload,
                                             BYTE modemIndex, ULONG* pImageTypesSize, BYTE* pImageTypes);
TOVI_EXPORT ULONG WINAPI ResetDevice(void);
TOVI_EXPORT ULONG WINAPI DeleteStoredImage(ULONG imageInfoSize, BYTE* pImageInfo);
TOVI_EXPORT ULONG WINAPI SetDeviceRemovalCallback(TOVI_DEVICE_REMOVAL_CALLBACK pCallback);
TOVI_EXPORT ULONG WINAPI GetImageStoreW(ULONG capacity, LPWSTR pszImageStore);
TOVI_EXPORT ULONG WINAPI GetImageIDs(LPCWSTR pszFolder, ULONG* pImageListSize, BYTE* pImageList);
TOVI_EXPORT ULONG WINAPI GetImageInfo3KW(ULONG reserved1, ULONG reserved2, LPCWSTR pszImagePath, BYTE* pImageType,
                                         BYTE* pImageId, ULONG* pVersionId, ULONG buildIdCapacity,
                                         LPWSTR pszBuildId);
TOVI_EXPORT ULONG WINAPI GetFirmwareInfo(ULONG* pFirmwareId, ULONG* pTechnology, ULONG* pCarrier, ULONG* pRegion,
                                         ULONG* pGpsCapability);
TOVI_EXPORT ULONG WINAPI GetFirmwareRevision(ULONG capacity, CHAR* pszRevision);
TOVI_EXPORT ULONG WINAPI SetPortAutomaticTracking(ULONG value);
TOVI_EXPORT ULONG WINAPI UpgradeFirmware3k(LPCWSTR pszFolder, ULONG bForce);

// The exports must keep the contract's signatures.
static_assert(std::is_same<decltype(&QCWWANConnect), PFN_QCWWANConnect>::value, "QCWWANConnect");
static_assert(std::is_same<decltype(&QCWWANDisconnect), PFN_QCWWANDisconnect>::value, "QCWWANDisconnect");
static_assert(std::is_same<decltype(&GetImagesPreference), PFN_GetImagesPreference>::value, "GetImagesPreference");
static_assert(std::is_same<decltype(&GetStoredImages), PFN_GetStoredImages>::value, "GetStoredImages");
static_assert(std::is_same<decltype(&SetImagesPreference), PFN_SetImagesPreference>::value, "SetImagesPreference");
static_assert(std::is_same<decltype(&ResetDevice), PFN_ResetDevice>::value, "ResetDevice");
static_assert(std::is_same<decltype(&DeleteStoredImage), PFN_DeleteStoredImage>::value, "DeleteStoredImage");
static_assert(std::is_same<decltype(&SetDeviceRemovalCallback), PFN_SetDeviceRemovalCallback>::value,
              "SetDeviceRemovalCallback");
static_assert(std::is_same<decltype(&GetImageStoreW), PFN_GetImageStoreW>::value, "GetImageStoreW");
static_assert(std::is_same<decltype(&GetImageIDs), PFN_GetImageIDs>::value, "GetImageIDs");
static_assert(std::is_same<decltype(&GetImageInfo3KW), PFN_GetImageInfo3KW>::value, "GetImageInfo3KW");
static_assert(std::is_same<decltype(&GetFirmwareInfo), PFN_GetFirmwareInfo>::value, "GetFirmwareInfo");
static_assert(std::is_same<decltype(&GetFirmwareRevision), PFN_GetFirmwareRevision>::value, "GetFirmwareRevision");
static_assert(std::is_same<decltype(&SetPortAutomaticTracking), PFN_SetPortAutomaticTracking>::value,
              "SetPortAutomaticTracking");
static_assert(std::is_same<decltype(&UpgradeFirmware3k), PFN_UpgradeFirmware3k>::value, "UpgradeFirmware3k");

namespace
{
// The contract's buffer of GetImageIDs is 256 bytes; callers pass 0 as the
// list length, so 0 stands for that size.
const ULONG kImageIdsDefaultCapacity = 256;

std::string Path(LPCWSTR path)
{
    return path ? CSimText::ToUtf8(path) : std::string("(null)");
}

std::string ListText(const BYTE* data, ULONG size)
{
    std::vector<SimImage> images;
    if (!CSimulatedModem::ParsePreferenceList(data, size, images))
        return "{malformed}";
    std::string text = "{";
    for (size_t i = 0; i < images.size(); ++i)
        text += (i ? ", " : "") + CSimulatedModem::ImageText(images[i]);
    return text + "}";
}

ULONG ListCall(const char* name, ULONG* pSize, BYTE* pBuffer,
               std::vector<uint8_t> (CSimulatedModem::*list)() const)
{
    CSimCall call(name, CSimCall::kDevice);
    ULONG capacity = pSize ? *pSize : 0;
    return call.Run(std::to_string(capacity), [&](CModemState& state) -> ULONG {
        std::vector<uint8_t> bytes;
        if (call.TakeRawList(state, bytes))
            return SimWriteList(bytes, true, capacity, pSize, pBuffer);
        return SimWriteList((CSimulatedModem(state).*list)(), false, capacity, pSize, pBuffer);
    });
}

void Report(DWORD status)
{
    CQdlStatusReporter::Report(status);
}
}

ULONG WINAPI QCWWANConnect(void)
{
    // Connecting again while connected answers 0 and changes nothing.
    return CSimCall("QCWWANConnect", CSimCall::kConnect).Run("", [](CModemState& state) -> ULONG {
        CSimProcess::Connect(state);
        return SimError::kNone;
    });
}

ULONG WINAPI QCWWANDisconnect(void)
{
    // Also 0 without a connection; the modem need not be there.
    return CSimCall("QCWWANDisconnect", CSimCall::kHost).Run("", [](CModemState& state) -> ULONG {
        CSimProcess::Disconnect(state);
        return SimError::kNone;
    });
}

ULONG WINAPI GetImagesPreference(ULONG* pImageListSize, BYTE* pImageList)
{
    return ListCall("GetImagesPreference", pImageListSize, pImageList, &CSimulatedModem::PreferenceList);
}

ULONG WINAPI GetStoredImages(ULONG* pImageListSize, BYTE* pImageList)
{
    return ListCall("GetStoredImages", pImageListSize, pImageList, &CSimulatedModem::StoredList);
}

ULONG WINAPI SetImagesPreference(ULONG imageListSize, BYTE* pImageList, ULONG bForceDownload, BYTE modemIndex,
                                 ULONG* pImageTypesSize, BYTE* pImageTypes)
{
    CSimCall call("SetImagesPreference", CSimCall::kDevice);
    ULONG typesCapacity = pImageTypesSize ? *pImageTypesSize : 0;
    std::string args = std::to_string(imageListSize) + ", " + ListText(pImageList, imageListSize) + ", " +
                       std::to_string(bForceDownload) + ", " + std::to_string(modemIndex) + ", " +
                       std::to_string(typesCapacity);
    return call.Run(args, [&](CModemState& state) -> ULONG {
        std::vector<SimImage> images;
        if (pImageTypesSize == nullptr || !CSimulatedModem::ParsePreferenceList(pImageList, imageListSize, images))
            return SimError::kInvalidParameter;
        std::vector<uint8_t> missing;
        ULONG result = CSimulatedModem(state).SetPreference(images, bForceDownload != 0, missing);
        if (result != SimError::kNone)
            return result;
        // The answer lists the types still to download, as far as it has room.
        for (size_t i = 0; i < missing.size() && i < typesCapacity && pImageTypes; ++i)
            pImageTypes[i] = missing[i];
        *pImageTypesSize = (ULONG)missing.size();
        return SimError::kNone;
    });
}

ULONG WINAPI ResetDevice(void)
{
    CSimCall call("ResetDevice", CSimCall::kDevice);
    return call.Run("", [&](CModemState& state) -> ULONG {
        CSimCall::TakeAway(state, call.StatePath());
        return SimError::kNone;
    });
}

ULONG WINAPI DeleteStoredImage(ULONG imageInfoSize, BYTE* pImageInfo)
{
    CSimCall call("DeleteStoredImage", CSimCall::kDevice);
    SimImage image;
    bool parsed = CSimulatedModem::ParseImageRecord(pImageInfo, imageInfoSize, image);
    std::string args = std::to_string(imageInfoSize) + ", " + (parsed ? CSimulatedModem::ImageText(image) : "{malformed}");
    return call.Run(args, [&](CModemState& state) -> ULONG {
        return parsed ? CSimulatedModem(state).Delete(image) : SimError::kInvalidParameter;
    });
}

ULONG WINAPI SetDeviceRemovalCallback(TOVI_DEVICE_REMOVAL_CALLBACK pCallback)
{
    CSimCall call("SetDeviceRemovalCallback", CSimCall::kHost);
    // The waiting thread starts or stops outside the state's lock: a callback
    // in progress may be waiting for that lock.
    bool registered = CRemovalNotifier::Instance().Register(pCallback, call.StatePath());
    return call.Run(pCallback ? "set" : "null", [&](CModemState& state) -> ULONG {
        DWORD self = ::GetCurrentProcessId();
        state.listeners.erase(std::remove(state.listeners.begin(), state.listeners.end(), self),
                              state.listeners.end());
        if (!registered)
            return SimError::kOutOfMemory;
        if (pCallback)
            state.listeners.push_back(self);
        return SimError::kNone;
    });
}

ULONG WINAPI GetImageStoreW(ULONG capacity, LPWSTR pszImageStore)
{
    return CSimCall("GetImageStoreW", CSimCall::kHost).Run(std::to_string(capacity), [&](CModemState& state) -> ULONG {
        if (pszImageStore == nullptr || capacity == 0)
            return SimError::kInvalidParameter;
        pszImageStore[0] = L'\0';
        if (!state.present || state.root.empty())
            return SimError::kPathNotFound;
        std::wstring root = CSimText::FromUtf8(state.root);
        if (root.size() + 1 > capacity)
            return SimError::kInsufficientBuffer;
        std::memcpy(pszImageStore, root.c_str(), (root.size() + 1) * sizeof(wchar_t));
        return SimError::kNone;
    });
}

ULONG WINAPI GetImageIDs(LPCWSTR pszFolder, ULONG* pImageListSize, BYTE* pImageList)
{
    CSimCall call("GetImageIDs", CSimCall::kHost);
    ULONG capacity = pImageListSize ? *pImageListSize : 0;
    return call.Run(Path(pszFolder) + ", " + std::to_string(capacity), [&](CModemState& state) -> ULONG {
        ULONG room = capacity ? capacity : kImageIdsDefaultCapacity;
        std::vector<uint8_t> bytes;
        if (call.TakeRawList(state, bytes))
            return SimWriteList(bytes, true, room, pImageListSize, pImageList);
        if (pszFolder == nullptr)
            return SimError::kInvalidParameter;
        SimImage modem, pri;
        ULONG result = CHostImageFolder::Read(pszFolder, modem, pri);
        if (result != SimError::kNone)
            return result;
        return SimWriteList(CSimulatedModem::EncodePreferenceList({modem, pri}), false, room, pImageListSize,
                            pImageList);
    });
}

ULONG WINAPI GetImageInfo3KW(ULONG reserved1, ULONG reserved2, LPCWSTR pszImagePath, BYTE* pImageType,
                             BYTE* pImageId, ULONG* pVersionId, ULONG buildIdCapacity, LPWSTR pszBuildId)
{
    std::string args = std::to_string(reserved1) + ", " + std::to_string(reserved2) + ", " + Path(pszImagePath) +
                       ", " + std::to_string(buildIdCapacity);
    return CSimCall("GetImageInfo3KW", CSimCall::kHost).Run(args, [&](CModemState&) -> ULONG {
        if (pszImagePath == nullptr || pImageType == nullptr || pImageId == nullptr || pVersionId == nullptr ||
            pszBuildId == nullptr || buildIdCapacity == 0)
            return SimError::kInvalidParameter;
        SimImage image;
        ULONG result = CHostImageFolder::ReadFile(pszImagePath, image);
        if (result != SimError::kNone)
            return result;
        std::wstring buildId = CSimText::FromAnsi(image.buildId);
        // A build ID may have as many characters as the capacity (32 in 32):
        // it then fills the buffer without a terminator. A longer one is refused.
        if (buildId.size() > buildIdCapacity)
            return SimError::kInsufficientBuffer;
        *pImageType = image.type;
        std::memcpy(pImageId, image.imageId, 16);
        *pVersionId = image.versionId;
        size_t written = std::min<size_t>(buildId.size() + 1, buildIdCapacity);
        std::memcpy(pszBuildId, buildId.c_str(), written * sizeof(wchar_t));
        return SimError::kNone;
    });
}

ULONG WINAPI GetFirmwareInfo(ULONG* pFirmwareId, ULONG* pTechnology, ULONG* pCarrier, ULONG* pRegion,
                             ULONG* pGpsCapability)
{
    return CSimCall("GetFirmwareInfo", CSimCall::kDevice).Run("", [&](CModemState& state) -> ULONG {
        if (!pFirmwareId || !pTechnology || !pCarrier || !pRegion || !pGpsCapability)
            return SimError::kInvalidParameter;
        uint32_t firmwareId = 0;
        SimIdentity identity;
        CSimulatedModem(state).FirmwareInfo(firmwareId, identity);
        *pFirmwareId = firmwareId;
        *pTechnology = identity.technology;
        *pCarrier = identity.carrierId;
        *pRegion = identity.region;
        *pGpsCapability = identity.gps;
        return SimError::kNone;
    });
}

ULONG WINAPI GetFirmwareRevision(ULONG capacity, CHAR* pszRevision)
{
    return CSimCall("GetFirmwareRevision", CSimCall::kDevice).Run(std::to_string(capacity), [&](CModemState& state) -> ULONG {
        if (pszRevision == nullptr || capacity == 0)
            return SimError::kInvalidParameter;
        std::string revision = CSimulatedModem(state).Revision();
        pszRevision[0] = '\0';
        if (revision.size() + 1 > capacity)
            return SimError::kInsufficientBuffer;
        std::memcpy(pszRevision, revision.c_str(), revision.size() + 1);
        return SimError::kNone;
    });
}

ULONG WINAPI SetPortAutomaticTracking(ULONG value)
{
    return CSimCall("SetPortAutomaticTracking", CSimCall::kDevice).Run(std::to_string(value), [&](CModemState& state) -> ULONG {
        state.gpsTracking = value;
        return SimError::kNone;
    });
}

ULONG WINAPI UpgradeFirmware3k(LPCWSTR pszFolder, ULONG bForce)
{
    CSimCall call("UpgradeFirmware3k", CSimCall::kDevice);
    return call.Run(Path(pszFolder) + ", " + std::to_string(bForce), [&](CModemState& state) -> ULONG {
        Report(TOVISIM_QDL_STARTED);
        SimImage modemImage, priImage;
        ULONG result = pszFolder ? CHostImageFolder::Read(pszFolder, modemImage, priImage) : SimError::kInvalidParameter;
        if (result == SimError::kNone && (modemImage.type != 0 || priImage.type != 1))
            result = SimError::kBadFormat;
        CSimulatedModem modem(state);
        std::vector<uint8_t> written;
        if (result == SimError::kNone)
            result = modem.StoreImages({modemImage, priImage}, bForce != 0, &written);
        if (result != SimError::kNone)
        {
            Report(TOVISIM_QDL_FAILED);
            return result;
        }
        for (uint8_t type : written)
            Report(type == 0 ? TOVISIM_QDL_DOWNLOADING_MODEM : TOVISIM_QDL_DOWNLOADING_PRI);
        std::vector<uint8_t> missing;
        modem.SetPreference({modemImage, priImage}, false, missing);
        CSimCall::TakeAway(state, call.StatePath());
        Report(TOVISIM_QDL_COMPLETE);
        return SimError::kNone;
    });
}
