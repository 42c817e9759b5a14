#pragma once
// The call contract of the modem API library ToviApi.dll: one pointer type per
// entry point. Every entry point returns 0 on success or the library's error code.
#include <windows.h>

// Called by the library, on a thread of its own, when the modem goes away.
typedef void (WINAPI *TOVI_DEVICE_REMOVAL_CALLBACK)(void);

typedef ULONG (WINAPI *PFN_QCWWANConnect)(void);
typedef ULONG (WINAPI *PFN_QCWWANDisconnect)(void);
// in/out byte count (in: 2560), list buffer of that size
typedef ULONG (WINAPI *PFN_GetImagesPreference)(ULONG* pImageListSize, BYTE* pImageList);
typedef ULONG (WINAPI *PFN_GetStoredImages)(ULONG* pImageListSize, BYTE* pImageList);
// list length, preference list, force flag, modem storage index,
// in/out count of images still to download, answer buffer (256 bytes)
typedef ULONG (WINAPI *PFN_SetImagesPreference)(ULONG imageListSize, BYTE* pImageList, ULONG bForceDownload,
                                                 BYTE modemIndex, ULONG* pImageTypesSize, BYTE* pImageTypes);
typedef ULONG (WINAPI *PFN_ResetDevice)(void);
// record length (18 + build ID length), image record
typedef ULONG (WINAPI *PFN_DeleteStoredImage)(ULONG imageInfoSize, BYTE* pImageInfo);
typedef ULONG (WINAPI *PFN_SetDeviceRemovalCallback)(TOVI_DEVICE_REMOVAL_CALLBACK pCallback);
// capacity in characters, wide buffer for the host image store root
typedef ULONG (WINAPI *PFN_GetImageStoreW)(ULONG capacity, LPWSTR pszImageStore);
// folder path, in/out list length (in: 0), list buffer (256 bytes)
typedef ULONG (WINAPI *PFN_GetImageIDs)(LPCWSTR pszFolder, ULONG* pImageListSize, BYTE* pImageList);
// 0, 0, image file path, out image type, out 16-byte image ID, out version ID,
// build ID capacity in characters, wide build ID buffer
typedef ULONG (WINAPI *PFN_GetImageInfo3KW)(ULONG reserved1, ULONG reserved2, LPCWSTR pszImagePath,
                                            BYTE* pImageType, BYTE* pImageId, ULONG* pVersionId,
                                            ULONG buildIdCapacity, LPWSTR pszBuildId);
typedef ULONG (WINAPI *PFN_GetFirmwareInfo)(ULONG* pFirmwareId, ULONG* pTechnology, ULONG* pCarrier,
                                            ULONG* pRegion, ULONG* pGpsCapability);
// capacity in bytes, narrow buffer for the terminated revision text
typedef ULONG (WINAPI *PFN_GetFirmwareRevision)(ULONG capacity, CHAR* pszRevision);
typedef ULONG (WINAPI *PFN_SetPortAutomaticTracking)(ULONG value);
// folder path, force flag (0 or 1)
typedef ULONG (WINAPI *PFN_UpgradeFirmware3k)(LPCWSTR pszFolder, ULONG bForce);
