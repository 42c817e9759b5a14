// CHiddenAgent: the operations that change what the modem runs.
#include "agent/HiddenAgent.h"

#include <stdlib.h>

#include "agent/CarrierFolder.h"
#include "agent/ImageStorePath.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "modem/ToviApiWrapper.h"
#include "platform/Pause.h"

namespace
{
enum
{
    IMAGE_ID_LIST_SIZE = 256,   // bytes of the image ID list and of the download list
    NO_IMAGE_FOLDER = 18,       // ERROR_NO_MORE_FILES: the host store holds no folder
    PAUSE_AFTER_UPGRADE_MS = 30000
};

// The optional entry points may be missing from a library that loaded; the
// modem then cannot do what was asked, which the caller sees as an API error.
ULONG UpgradeFirmware3k(const std::wstring& csFolderPath, ULONG ulForce)
{
    if (CToviApiWrapper::m_pfnUpgradeFirmware3k == nullptr)
        return ERROR_PROC_NOT_FOUND;
    return CToviApiWrapper::m_pfnUpgradeFirmware3k(csFolderPath.c_str(), ulForce);
}

ULONG GetImageIDs(const std::wstring& csFolderPath, ULONG& ulSize, BYTE* pList)
{
    if (CToviApiWrapper::m_pfnGetImageIDs == nullptr)
        return ERROR_PROC_NOT_FOUND;
    ULONG ulResult = CToviApiWrapper::m_pfnGetImageIDs(csFolderPath.c_str(), &ulSize, pList);
    // A length beyond the buffer would hand the library bytes we never received.
    if (ulResult == 0 && ulSize > IMAGE_ID_LIST_SIZE)
        ulResult = ERROR_INVALID_DATA;
    return ulResult;
}

void TraceUpgradeResult(ULONG ulResult, const std::wstring& csFolderPath)
{
    if (ulResult != 0)
        TbdPrintMessage(TBCT_INFO, 3, L"UpgradeFirmware3k failed: %i", ulResult);
    else
        TbdPrintMessage(TBCT_INFO, 1, L"UpgradeFirmware3k succeed for %s", csFolderPath.c_str());
}

bool IsFolderEntry(const WIN32_FIND_DATAW& data)
{
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || data.cFileName[0] == L'\0')
        return false;
    return wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0;
}
}

// The opening every operation shares; false when the modem cannot be reached.
bool CHiddenAgent::OpenConnection(ULONG& ulResult)
{
    ulResult = ConnectDevice();
    if (ulResult != 0)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"QCWWANConnect error: %i", ulResult);
        return false;
    }
    return true;
}

int CHiddenAgent::SetDownloadedDefaultImage(std::wstring csFolder)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::SetDownloadedDefaultImage");
    ULONG ulResult = 0;
    if (!OpenConnection(ulResult))
        return (int)ulResult;

    CImageStorePath store;
    std::wstring csFolderPath;
    if (store.Load() == 0 && store.FolderPath(csFolder.c_str(), csFolderPath))
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Set Image preference to: %s", csFolderPath.c_str());

        BYTE imageIds[IMAGE_ID_LIST_SIZE] = {};
        ULONG ulImageIdsSize = 0;
        ulResult = GetImageIDs(csFolderPath, ulImageIdsSize, imageIds);
        if (ulResult != 0)
        {
            // The connection stays open: the next operation or the agent's end closes it.
            TbdPrintMessage(TBCT_INFO, 3, L"GetImageIDs Failed.");
            return (int)ulResult;
        }
        TbdPrintMessage(TBCT_INFO, 0, L"Set images to be Prefered images from %s.", csFolderPath.c_str());

        BYTE downloads[IMAGE_ID_LIST_SIZE] = {};
        ULONG ulDownloadCount = 2;
        ulResult = CToviApiWrapper::m_pfnSetImagesPreference(ulImageIdsSize, imageIds, 0, 0xFF, &ulDownloadCount,
                                                             downloads);
        if (ulResult != 0)
        {
            TbdPrintMessage(TBCT_INFO, 3, L"SetImagesPreference Failed with %d.", ulResult);
        }
        else
        {
            TbdPrintMessage(TBCT_INFO, 0, L"Result: %d  Number of images need to be downloaded: %d", 0,
                            ulDownloadCount);
            TbdPrintMessage(TBCT_INFO, 1, L"Resetting device");
            CToviApiWrapper::m_pfnResetDevice();
        }
    }
    return (int)DisconnectDevice();
}

int CHiddenAgent::SetUserDefaultImage(std::wstring csFolder, ULONG ulForce)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::SetUserDefaultImage");
    ULONG ulResult = 0;
    if (!OpenConnection(ulResult))
        return (int)ulResult;

    CImageStorePath store;
    std::wstring csFolderPath;
    if (store.Load() == 0 && store.FolderPath(csFolder.c_str(), csFolderPath))
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Updating to: %s", csFolderPath.c_str());
        TraceUpgradeResult(UpgradeFirmware3k(csFolderPath, ulForce), csFolderPath);
    }
    return (int)DisconnectDevice();
}

int CHiddenAgent::UpdateCurrentImage(ULONG ulForce)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::UpdateCurrentImage");
    ULONG ulResult = 0;
    if (!OpenConnection(ulResult))
        return (int)ulResult;

    TbdPrintMessage(TBCT_INFO, 1, L"Getting current firmware info");
    ULONG ulFirmwareId = 0, ulTechnology = 0, ulCarrier = 0, ulRegion = 0, ulGps = 0;
    ulResult = CToviApiWrapper::m_pfnGetFirmwareInfo(&ulFirmwareId, &ulTechnology, &ulCarrier, &ulRegion, &ulGps);
    if (ulResult != 0)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"GetFirmwareInfo failed: %i", ulResult);
        return (int)DisconnectDevice();
    }
    TbdPrintMessage(TBCT_INFO, 1, L"Tech: %i, nCarrier: %i, nGps: %i", ulTechnology, ulCarrier, ulGps);
    int nFolder = MapCarrierToFolder(ulCarrier);

    CImageStorePath store;
    std::wstring csFolderPath;
    if (store.Load() == 0 && store.FolderPath(nFolder, csFolderPath))
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Updating: %s", csFolderPath.c_str());
        TraceUpgradeResult(UpgradeFirmware3k(csFolderPath, ulForce ? 1 : 0), csFolderPath);
    }
    return (int)DisconnectDevice();
}

// Every subfolder of the root, in the order the file system lists them.
bool CHiddenAgent::ListImageFolders(const std::wstring& csRoot, std::vector<std::wstring>& folders)
{
    WIN32_FIND_DATAW data = {};
    CFindHandle hFind(::FindFirstFileExW((csRoot + L"\\*").c_str(), FindExInfoStandard, &data,
                                         FindExSearchLimitToDirectories, nullptr, 0));
    if (!hFind)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"FindFirstFileEx failed: %d", ::GetLastError());
        return false;
    }

    std::wstring csBase = csRoot;
    while (!csBase.empty() && csBase.back() == L'\\')
        csBase.pop_back();
    do
    {
        if (IsFolderEntry(data))
            folders.push_back(csBase + L"\\" + data.cFileName);
    } while (::FindNextFileW(hFind.get(), &data));
    return true;
}

int CHiddenAgent::DownloadAllImages()
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::DownloadAllImages");
    ULONG ulResult = 0;
    if (!OpenConnection(ulResult))
        return (int)ulResult;

    CImageStorePath store;
    ulResult = store.Load();
    if (ulResult != 0)
        return (int)ulResult;  // the connection stays open

    // The folders are listed while the modem is disconnected.
    ulResult = DisconnectDevice();
    std::vector<std::wstring> folders;
    if (!ListImageFolders(store.Root(), folders))
        return NO_IMAGE_FOLDER;
    TbdPrintMessage(TBCT_INFO, 1, L"Number of folders found: %d", (int)folders.size());
    if (folders.empty())
        return NO_IMAGE_FOLDER;

    for (const std::wstring& csFolderPath : folders)
    {
        ULONG ulConnect = ConnectDevice();
        if (ulConnect != 0)
        {
            TbdPrintMessage(TBCT_INFO, 3, L"QCWWANConnect error: %i", ulConnect);
            ulResult = ulConnect;
            break;
        }
        TbdPrintMessage(TBCT_INFO, 1, L"Updating: %s", csFolderPath.c_str());
        ULONG ulUpgrade = UpgradeFirmware3k(csFolderPath, 0);
        if (ulUpgrade != 0)
            TbdPrintMessage(TBCT_INFO, 3, L"UpgradeFirmware3k failed: %i for %s", ulUpgrade, csFolderPath.c_str());
        else
            TbdPrintMessage(TBCT_INFO, 1, L"UpgradeFirmware3k succeed for %s", csFolderPath.c_str());
        ulResult = DisconnectDevice();
        // The modem stores and restarts after each upgrade; give it time.
        ToviPause(PAUSE_AFTER_UPGRADE_MS);
    }
    return (int)ulResult;
}

int CHiddenAgent::EnableGpsAuto(std::wstring csValue)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::EnableGpsAuto");
    ULONG ulResult = 0;
    if (!OpenConnection(ulResult))
        return (int)ulResult;
    TbdPrintMessage(TBCT_INFO, 1, L"QCWWANConnect succeeded");

    ULONG ulValue = (ULONG)wcstol(csValue.c_str(), nullptr, 10);
    ulResult = CToviApiWrapper::m_pfnSetPortAutomaticTracking(ulValue);
    if (ulResult != 0)
        TbdPrintMessage(TBCT_INFO, 3, L"SetPortAutomaticTracking error: %i", ulResult);
    else
        TbdPrintMessage(TBCT_INFO, 1, L"SetPortAutomaticTracking succeeded with %s", csValue.c_str());
    return (int)DisconnectDevice();
}
