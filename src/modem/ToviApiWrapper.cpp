#include "modem/ToviApiWrapper.h"

#include "diroduzuvevo/DiroDuzUvevo.h"

namespace
{
const wchar_t kToviApiLibrary[] = L"ToviApi.dll";

// GetProcAddress's result goes through a plain function-pointer type on its
// way to the entry point's own type, which keeps GCC's cast warnings quiet.
typedef void (*PLAIN_PROC)(void);

template <typename T>
void Resolve(HMODULE hModule, const char* pszName, T& pfn)
{
    pfn = reinterpret_cast<T>(reinterpret_cast<PLAIN_PROC>(::GetProcAddress(hModule, pszName)));
}
}

HMODULE CToviApiWrapper::m_hToviApi = nullptr;
PFN_QCWWANConnect CToviApiWrapper::m_pfnQCWWANConnect = nullptr;
PFN_QCWWANDisconnect CToviApiWrapper::m_pfnQCWWANDisconnect = nullptr;
PFN_SetImagesPreference CToviApiWrapper::m_pfnSetImagesPreference = nullptr;
PFN_ResetDevice CToviApiWrapper::m_pfnResetDevice = nullptr;
PFN_GetImageInfo3KW CToviApiWrapper::m_pfnGetImageInfo3KW = nullptr;
PFN_GetImagesPreference CToviApiWrapper::m_pfnGetImagesPreference = nullptr;
PFN_GetStoredImages CToviApiWrapper::m_pfnGetStoredImages = nullptr;
PFN_DeleteStoredImage CToviApiWrapper::m_pfnDeleteStoredImage = nullptr;
PFN_SetDeviceRemovalCallback CToviApiWrapper::m_pfnSetDeviceRemovalCallback = nullptr;
PFN_GetImageStoreW CToviApiWrapper::m_pfnGetImageStoreW = nullptr;
PFN_GetFirmwareInfo CToviApiWrapper::m_pfnGetFirmwareInfo = nullptr;
PFN_GetFirmwareRevision CToviApiWrapper::m_pfnGetFirmwareRevision = nullptr;
PFN_SetPortAutomaticTracking CToviApiWrapper::m_pfnSetPortAutomaticTracking = nullptr;
PFN_UpgradeFirmware3k CToviApiWrapper::m_pfnUpgradeFirmware3k = nullptr;
PFN_GetImageIDs CToviApiWrapper::m_pfnGetImageIDs = nullptr;
bool CToviApiWrapper::m_bLoaded = false;

bool CToviApiWrapper::Initialize()
{
    TBD_FUNCTION_TRACE(L"CToviApiWrapper::Initialize");
    if (m_bLoaded)
        return true;
    bool bLoaded = LoadToviApi();
    if (!bLoaded)
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to load ToviApi");
    m_bLoaded = bLoaded;
    return bLoaded;
}

bool CToviApiWrapper::LoadToviApi()
{
    TBD_FUNCTION_TRACE(L"CToviApiWrapper::LoadToviApi");
    // A library kept from an earlier failed lookup is given back first, so that
    // loading again does not pile up references to it. A library in use is
    // given back only after the new load: unloading it in between would leave
    // the table pointing into freed code.
    HMODULE hInUse = m_bLoaded ? m_hToviApi : nullptr;
    if (m_hToviApi != nullptr && !m_bLoaded)
        ::FreeLibrary(m_hToviApi);
    m_hToviApi = ::LoadLibraryW(kToviApiLibrary);
    if (hInUse != nullptr)
        ::FreeLibrary(hInUse);
    if (m_hToviApi == nullptr)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to load %s library", kToviApiLibrary);
        return false;
    }

    Resolve(m_hToviApi, "QCWWANConnect", m_pfnQCWWANConnect);
    Resolve(m_hToviApi, "QCWWANDisconnect", m_pfnQCWWANDisconnect);
    Resolve(m_hToviApi, "SetImagesPreference", m_pfnSetImagesPreference);
    Resolve(m_hToviApi, "ResetDevice", m_pfnResetDevice);
    Resolve(m_hToviApi, "GetImageInfo3KW", m_pfnGetImageInfo3KW);
    Resolve(m_hToviApi, "GetImagesPreference", m_pfnGetImagesPreference);
    Resolve(m_hToviApi, "GetStoredImages", m_pfnGetStoredImages);
    Resolve(m_hToviApi, "DeleteStoredImage", m_pfnDeleteStoredImage);
    Resolve(m_hToviApi, "SetDeviceRemovalCallback", m_pfnSetDeviceRemovalCallback);
    Resolve(m_hToviApi, "GetImageStoreW", m_pfnGetImageStoreW);
    Resolve(m_hToviApi, "GetFirmwareInfo", m_pfnGetFirmwareInfo);
    Resolve(m_hToviApi, "GetFirmwareRevision", m_pfnGetFirmwareRevision);
    Resolve(m_hToviApi, "SetPortAutomaticTracking", m_pfnSetPortAutomaticTracking);
    Resolve(m_hToviApi, "UpgradeFirmware3k", m_pfnUpgradeFirmware3k);
    Resolve(m_hToviApi, "GetImageIDs", m_pfnGetImageIDs);

    if (!HasRequiredEntryPoints())
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to retrieve function pointers");
        // All or nothing: a partly filled table would let callers reach a
        // library that cannot serve them.
        ClearEntryPoints();
        return false;
    }
    return true;
}

void CToviApiWrapper::DeInit()
{
    TBD_FUNCTION_TRACE(L"CToviApiWrapper::DeInit");
    if (m_hToviApi != nullptr)
    {
        ::FreeLibrary(m_hToviApi);
        m_hToviApi = nullptr;
    }
    ClearEntryPoints();
    m_bLoaded = false;
}

// UpgradeFirmware3k and GetImageIDs are optional: older libraries lack them.
bool CToviApiWrapper::HasRequiredEntryPoints()
{
    return m_pfnQCWWANConnect && m_pfnQCWWANDisconnect && m_pfnSetImagesPreference && m_pfnResetDevice &&
           m_pfnGetImageInfo3KW && m_pfnGetImagesPreference && m_pfnGetStoredImages && m_pfnDeleteStoredImage &&
           m_pfnSetDeviceRemovalCallback && m_pfnGetImageStoreW && m_pfnGetFirmwareInfo &&
           m_pfnGetFirmwareRevision && m_pfnSetPortAutomaticTracking;
}

void CToviApiWrapper::ClearEntryPoints()
{
    m_pfnQCWWANConnect = nullptr;
    m_pfnQCWWANDisconnect = nullptr;
    m_pfnSetImagesPreference = nullptr;
    m_pfnResetDevice = nullptr;
    m_pfnGetImageInfo3KW = nullptr;
    m_pfnGetImagesPreference = nullptr;
    m_pfnGetStoredImages = nullptr;
    m_pfnDeleteStoredImage = nullptr;
    m_pfnSetDeviceRemovalCallback = nullptr;
    m_pfnGetImageStoreW = nullptr;
    m_pfnGetFirmwareInfo = nullptr;
    m_pfnGetFirmwareRevision = nullptr;
    m_pfnSetPortAutomaticTracking = nullptr;
    m_pfnUpgradeFirmware3k = nullptr;
    m_pfnGetImageIDs = nullptr;
}
