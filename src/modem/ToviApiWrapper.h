#pragma once
// The process-wide table of the modem API library's entry points. Every modem
// call of the program goes through these pointers; callers call them directly.
#include <windows.h>

#include "modem/ToviApi.h"

class CToviApiWrapper
{
public:
    // Loads the library once; true when it is usable.
    static bool Initialize();
    // Loads the library and resolves its entry points, all required ones or none.
    static bool LoadToviApi();
    // Unloads the library and empties the table.
    static void DeInit();

    static HMODULE m_hToviApi;
    static PFN_QCWWANConnect m_pfnQCWWANConnect;
    static PFN_QCWWANDisconnect m_pfnQCWWANDisconnect;
    static PFN_SetImagesPreference m_pfnSetImagesPreference;
    static PFN_ResetDevice m_pfnResetDevice;
    static PFN_GetImageInfo3KW m_pfnGetImageInfo3KW;
    static PFN_GetImagesPreference m_pfnGetImagesPreference;
    static PFN_GetStoredImages m_pfnGetStoredImages;
    static PFN_DeleteStoredImage m_pfnDeleteStoredImage;
    static PFN_SetDeviceRemovalCallback m_pfnSetDeviceRemovalCallback;
    static PFN_GetImageStoreW m_pfnGetImageStoreW;
    static PFN_GetFirmwareInfo m_pfnGetFirmwareInfo;
    static PFN_GetFirmwareRevision m_pfnGetFirmwareRevision;
    static PFN_SetPortAutomaticTracking m_pfnSetPortAutomaticTracking;
    // Optional: null when the library does not export them.
    static PFN_UpgradeFirmware3k m_pfnUpgradeFirmware3k;
    static PFN_GetImageIDs m_pfnGetImageIDs;
    static bool m_bLoaded;

private:
    static bool HasRequiredEntryPoints();
    static void ClearEntryPoints();
};
