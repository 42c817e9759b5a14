// CHiddenAgent: the firmware versions of the host image folders and of the
// modem, and whether a folder's images are already stored on the modem.
#include "agent/HiddenAgent.h"

#include <cstdint>

#include "agent/FirmwareVersion.h"
#include "agent/ImageStorePath.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "modem/ToviApiWrapper.h"

namespace
{
const wchar_t kModemImageTail[] = L"\\AMSS.mbn";
const wchar_t kPriImagePatternTail[] = L"\\UQCN*.mbn";
const wchar_t kDefaultFolder[] = L"6";
// Folder paths this long leave too little room for the image file names.
const size_t kMaxFolderPathLength = 250;
const ULONG kRevisionCapacity = 64;

// What the modem API reports about an image file on the host.
struct CHostImageInfo
{
    BYTE imageType;
    BYTE imageId[IMAGE_ID_SIZE];
    ULONG ulVersionId;
    wchar_t szBuildId[BUILD_ID_TEXT_SIZE];
};

bool ReadHostImageInfo(const std::wstring& csImagePath, CHostImageInfo& info)
{
    info = CHostImageInfo();
    info.imageType = 0xFF;
    ULONG ulResult = CToviApiWrapper::m_pfnGetImageInfo3KW(0, 0, csImagePath.c_str(), &info.imageType, info.imageId,
                                                           &info.ulVersionId, BUILD_ID_MAX, info.szBuildId);
    // One character more than the capacity offered keeps a full build ID terminated.
    info.szBuildId[BUILD_ID_MAX] = L'\0';
    if (ulResult != 0 || (info.imageType != IMAGE_TYPE_MODEM && info.imageType != IMAGE_TYPE_PRI))
    {
        TbdPrintMessage(TBCT_INFO, 3, L"GetImageInfo3KW failed: %i, imageType: %d", ulResult, info.imageType);
        return false;
    }
    return true;
}

bool HostFileExists(const std::wstring& csPath)
{
    CFileHandle hFile(::CreateFileW(csPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return hFile.valid();
}

// The first "UQCN*.mbn" of the folder, in the order the file system lists them.
bool FindHostPriImage(const std::wstring& csFolderPath, std::wstring& csPriPath)
{
    std::wstring csPattern;
    if (!CImageStorePath::FilePath(csFolderPath, kPriImagePatternTail, csPattern))
        return false;
    WIN32_FIND_DATAW findData = {};
    CFindHandle hFind(::FindFirstFileW(csPattern.c_str(), &findData));
    if (!hFind)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"FindFirstFile failed: %d", ::GetLastError());
        return false;
    }
    return CImageStorePath::FilePath(csFolderPath, (std::wstring(L"\\") + findData.cFileName).c_str(), csPriPath);
}

// Technology, carrier ID, region and, for PRI images, GPS capability.
struct CImageIdentity
{
    int32_t nTechnology;
    int32_t nCarrier;
    int32_t nRegion;
    int32_t nGps;

    bool SameAs(const CImageIdentity& other) const
    {
        return nTechnology == other.nTechnology && nCarrier == other.nCarrier && nRegion == other.nRegion;
    }
};

const CImageIdentity kUnknownIdentity = {-1, -1, -1, -1};
const CImageIdentity kNoIdentity = {0, 0, 0, 0};

bool DecodeModemIdentity(const std::wstring& csBuildId, CImageIdentity& identity)
{
    identity = kUnknownIdentity;
    if (!ParseAMSSVersion(csBuildId.c_str(), &identity.nTechnology, &identity.nCarrier, &identity.nRegion))
    {
        TbdPrintMessage(TBCT_INFO, 3, L"ParseAMSSVersion failed");
        return false;
    }
    return true;
}

bool DecodePriIdentity(ULONG ulVersionId, CImageIdentity& identity)
{
    if (!ParseUQCNVersion(ulVersionId, &identity.nTechnology, &identity.nCarrier, &identity.nRegion, &identity.nGps))
    {
        TbdPrintMessage(TBCT_INFO, 3, L"ParseUQCNVersion failed");
        return false;
    }
    return true;
}

void TraceIdentity(const wchar_t* pszFormat, const CImageIdentity& identity, int32_t nVersion)
{
    TbdPrintMessage(TBCT_INFO, 1, pszFormat, identity.nTechnology, identity.nCarrier, identity.nRegion, identity.nGps,
                    nVersion);
}

std::wstring BuildIdText(const CImageElement& image)
{
    wchar_t szBuildId[BUILD_ID_TEXT_SIZE] = {};
    CFwImageStore::BuildIdToText(image, szBuildId);
    return szBuildId;
}
}

bool CHiddenAgent::GetVersionInfo(std::wstring csFolder)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::GetVersionInfo");
    if (csFolder.empty())
        GetCarrierIndex(csFolder);
    if (csFolder.empty())
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Carrier index info is still missing");
        return false;
    }

    CImageStorePath store;
    if (store.Load() != 0)
        return false;
    std::wstring csFolderPath;
    if (!store.FolderPath(csFolder.c_str(), csFolderPath))
        return false;
    m_csImageFolder = csFolderPath;
    if (m_csImageFolder.length() >= kMaxFolderPathLength)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Invalid file path");
        return false;
    }

    return ReadHostModemVersion(store) && ReadHostPriVersion() && ReadDeviceFwRevision();
}

// A carrier folder may ship only its PRI image; the modem image then comes
// from the default folder.
bool CHiddenAgent::ReadHostModemVersion(const CImageStorePath& store)
{
    std::wstring csModemImage;
    if (!CImageStorePath::FilePath(m_csImageFolder, kModemImageTail, csModemImage))
        return false;
    if (!HostFileExists(csModemImage))
    {
        TbdPrintMessage(TBCT_INFO, 1, L"no AMSS firmware exist in %s, use default 6 folder instead",
                        csModemImage.c_str());
        std::wstring csDefaultFolder;
        if (!store.FolderPath(kDefaultFolder, csDefaultFolder) ||
            !CImageStorePath::FilePath(csDefaultFolder, kModemImageTail, csModemImage))
            return false;
    }

    CHostImageInfo info;
    if (!ReadHostImageInfo(csModemImage, info))
        return false;
    TbdPrintMessage(TBCT_INFO, 1, L"m_csHostModemVersion %s", info.szBuildId);
    m_csHostModemVersion = info.szBuildId;
    return true;
}

bool CHiddenAgent::ReadHostPriVersion()
{
    std::wstring csPriImage;
    if (!FindHostPriImage(m_csImageFolder, csPriImage))
        return false;

    CHostImageInfo info;
    if (!ReadHostImageInfo(csPriImage, info))
        return false;
    TbdPrintMessage(TBCT_INFO, 1, L"m_csHostPriVersion %s", info.szBuildId);
    m_csHostPriVersion = info.szBuildId;
    TbdPrintMessage(TBCT_INFO, 1, L"m_ulHostPriVersionID %s", info.szBuildId);
    m_ulHostPriVersionID = info.ulVersionId;
    return true;
}

bool CHiddenAgent::ReadDeviceFwRevision()
{
    TbdPrintMessage(TBCT_INFO, 1, L"Host firmware version");
    // One byte more than the capacity offered keeps a full revision terminated.
    CHAR szRevision[kRevisionCapacity + 1] = {};
    ULONG ulResult = CToviApiWrapper::m_pfnGetFirmwareRevision(kRevisionCapacity, szRevision);
    if (ulResult != 0)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"GetFirmwareRevision failed: %i", ulResult);
        return false;
    }
    m_ulDeviceFwRevisionID = ParseRevisionNumber(szRevision);
    return true;
}

bool CHiddenAgent::IsHostFWNewer()
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::IsHostFWNewer");
    CImageIdentity hostModem;
    if (!DecodeModemIdentity(m_csHostModemVersion, hostModem))
        return true;
    CImageIdentity hostPri = kUnknownIdentity;
    if (!DecodePriIdentity(m_ulHostPriVersionID, hostPri))
        return true;
    const int32_t nHostModemVersion = GetVersionNumber(m_csHostModemVersion.c_str());
    const int32_t nHostPriVersion = GetVersionNumber(m_csHostPriVersion.c_str());
    TraceIdentity(L"Host modem: Tech: %d, Carrier: %d, Region: %d, GPS: %d, Version: %d", hostModem,
                  nHostModemVersion);
    TraceIdentity(L"Host pri: Tech: %d, Carrier: %d, Region: %d, GPS: %d, Version: %d", hostPri, nHostPriVersion);

    CImageIdentity deviceModem = kNoIdentity;
    CImageIdentity devicePri = kNoIdentity;
    int32_t nDeviceModemVersion = 0;
    int32_t nDevicePriVersion = 0;
    for (const CImageElement& image : m_FwImageStore.m_lstSelectedImages)
    {
        const std::wstring csBuildId = BuildIdText(image);
        if (image.ImageType == IMAGE_TYPE_MODEM)
        {
            if (!DecodeModemIdentity(csBuildId, deviceModem))
                return true;
            nDeviceModemVersion = GetVersionNumber(csBuildId.c_str());
            TraceIdentity(L"Device modem: Tech: %d, Carrier: %d, Region: %d, GPS: %d, Version: %d", deviceModem,
                          nDeviceModemVersion);
        }
        else if (image.ImageType == IMAGE_TYPE_PRI)
        {
            // The modem's PRI identity comes from its firmware revision number.
            if (!DecodePriIdentity(m_ulDeviceFwRevisionID, devicePri))
                return true;
            nDevicePriVersion = GetVersionNumber(csBuildId.c_str());
            TraceIdentity(L"Device pri: Tech: %d, Carrier: %d, Region: %d, GPS: %d, Version: %d", devicePri,
                          nDevicePriVersion);
        }
    }

    const bool bSameImages = hostModem.SameAs(deviceModem) && hostPri.SameAs(devicePri);
    const bool bNotNewer = static_cast<uint32_t>(nHostModemVersion) <= static_cast<uint32_t>(nDeviceModemVersion) &&
                           static_cast<uint32_t>(nHostPriVersion) <= static_cast<uint32_t>(nDevicePriVersion);
    return !(bSameImages && bNotNewer);
}

bool CHiddenAgent::IsFWNewer(std::wstring csFolder)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::IsFWNewer");
    // Versions that cannot be read count as newer, so the firmware gets updated.
    if (!GetVersionInfo(csFolder))
        return true;
    if (!m_csHostModemVersion.empty() && !m_csHostPriVersion.empty())
        return IsHostFWNewer();
    TbdPrintMessage(TBCT_INFO, 3, L"Failed to retrieve firmware versions on the host");
    return false;
}

bool CHiddenAgent::IsFWExisted(std::wstring csFolder)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::IsFWExisted");
    CImageStorePath store;
    if (store.Load() != 0)
        return false;
    std::wstring csFolderPath;
    if (!store.FolderPath(csFolder.c_str(), csFolderPath))
        return false;
    m_csImageFolder = csFolderPath;

    std::wstring csModemImage;
    if (!CImageStorePath::FilePath(m_csImageFolder, kModemImageTail, csModemImage) ||
        !IsHostImageOnModem(csModemImage))
        return false;
    std::wstring csPriImage;
    if (!FindHostPriImage(m_csImageFolder, csPriImage) || !IsHostImageOnModem(csPriImage))
        return false;

    TbdPrintMessage(TBCT_INFO, 1, L"Firmware existed");
    return true;
}

bool CHiddenAgent::IsHostImageOnModem(const std::wstring& csImagePath)
{
    CHostImageInfo info;
    if (!ReadHostImageInfo(csImagePath, info))
        return false;
    if (!IsImageExisted(info.imageType, info.szBuildId))
    {
        TbdPrintMessage(TBCT_INFO, 1, L"Firmware does not exist");
        return false;
    }
    return true;
}

bool CHiddenAgent::IsImageExisted(BYTE imageType, const std::wstring& csBuildId)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::IsImageExisted");
    const std::list<CImageElement>* plstImages = nullptr;
    if (imageType == IMAGE_TYPE_MODEM)
        plstImages = &m_FwImageStore.m_lstModemImages;
    else if (imageType == IMAGE_TYPE_PRI)
        plstImages = &m_FwImageStore.m_lstPriImages;
    else
        return false;

    for (const CImageElement& image : *plstImages)
    {
        if (BuildIdText(image) == csBuildId)
            return true;
    }
    return false;
}
