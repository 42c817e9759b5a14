#include "SampleStore.h"

#include <cstring>

#include "HostImageFolder.h"
#include "ImageFileCodec.h"
#include "SimCatalog.h"
#include "SimErrors.h"
#include "SimText.h"
#include "platform/Handles.h"

namespace
{
bool CreateFolders(const std::wstring& path)
{
    if (path.empty())
        return false;
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0 && path[slash - 1] != L':')
        CreateFolders(path.substr(0, slash));
    return ::CreateDirectoryW(path.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

void RemovePriFiles(const std::wstring& folder)
{
    for (std::wstring name = CHostImageFolder::FindPriFile(folder); !name.empty();
         name = CHostImageFolder::FindPriFile(folder))
    {
        if (!::DeleteFileW((folder + L"\\" + name).c_str()))
            return;
    }
}

SampleImage ToSampleImage(uint8_t type, uint32_t versionId, const std::string& buildId, const std::wstring& name)
{
    SampleImage image;
    image.type = type;
    image.versionId = versionId;
    image.buildId = buildId;
    image.fileName = name;
    CSimCatalog::ImageId(type, buildId, image.imageId);
    return image;
}

bool WriteSampleImage(const std::wstring& folder, const SampleImage& image)
{
    return WriteImageFile(folder + L"\\" + image.fileName, image.type, image.imageId, image.versionId, image.buildId);
}
}

SampleFolder DescribeSampleFolder(int folder, ULONG modemVersion, ULONG priVersion)
{
    SampleFolder result;
    SimFolderPlan plan;
    if (!CSimCatalog::FolderPlan(folder, plan))
        return result;
    result.folder = folder;
    std::string modemBuildId = CSimCatalog::ModemBuildId(plan, modemVersion);
    std::string priBuildId = CSimCatalog::PriBuildId(plan, priVersion);
    uint32_t priVersionId = CSimCatalog::PriVersionId(plan, priVersion);
    result.modem = ToSampleImage(0, modemVersion, modemBuildId, L"AMSS.mbn");
    result.pri = ToSampleImage(1, priVersionId, priBuildId, CSimText::FromUtf8(CSimCatalog::PriFileName(plan)));
    SimIdentity identity;
    CSimCatalog::DecodePriVersionId(priVersionId, identity);
    result.technology = identity.technology;
    result.carrierId = identity.carrierId;
    result.region = identity.region;
    result.gps = identity.gps;
    return result;
}

bool WriteSampleStore(const std::wstring& root, const SampleStoreOptions& options)
{
    std::vector<int> folders = options.folders;
    if (folders.empty())
    {
        for (int folder = 0; folder <= 16; ++folder)
            folders.push_back(folder);
    }
    if (!CreateFolders(root))
        return false;
    for (int number : folders)
    {
        SampleFolder folder = DescribeSampleFolder(number, options.modemVersion, options.priVersion);
        if (folder.folder < 0)
            return false;
        std::wstring path = root + L"\\" + std::to_wstring(number);
        if (!CreateFolders(path))
            return false;
        RemovePriFiles(path);
        if (!WriteSampleImage(path, folder.modem) || !WriteSampleImage(path, folder.pri))
            return false;
    }
    return true;
}

void MakeSampleImageId(BYTE type, const std::string& buildId, BYTE imageId[16])
{
    CSimCatalog::ImageId(type, buildId, imageId);
}

bool WriteImageFile(const std::wstring& path, BYTE type, const BYTE imageId[16], ULONG versionId,
                    const std::string& buildId)
{
    SimImage image;
    image.type = type;
    std::memcpy(image.imageId, imageId, 16);
    image.versionId = versionId;
    image.buildId = buildId;
    std::vector<uint8_t> bytes;
    // A little payload, so that the files look like what they stand for.
    if (!CImageFileCodec::Encode(image, "TOVISIM SAMPLE IMAGE\r\n", bytes))
        return false;
    return WriteRawFile(path, bytes);
}

bool WriteRawFile(const std::wstring& path, const std::vector<BYTE>& bytes)
{
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return bytes.empty() ||
           (::WriteFile(file.get(), bytes.data(), (DWORD)bytes.size(), &written, nullptr) && written == bytes.size());
}

bool ReadImageFile(const std::wstring& path, SampleImage& image)
{
    SimImage read;
    if (CHostImageFolder::ReadFile(path, read) != SimError::kNone)
        return false;
    image.type = read.type;
    std::memcpy(image.imageId, read.imageId, 16);
    image.versionId = read.versionId;
    image.buildId = read.buildId;
    size_t slash = path.find_last_of(L"\\/");
    image.fileName = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return true;
}
