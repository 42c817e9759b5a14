#include "HostImageFolder.h"

#include <vector>

#include "ImageFileCodec.h"
#include "SimErrors.h"
#include "platform/Handles.h"

ULONG CHostImageFolder::ReadFile(const std::wstring& path, SimImage& image)
{
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
    {
        DWORD error = ::GetLastError();
        return error == ERROR_PATH_NOT_FOUND ? SimError::kPathNotFound : SimError::kFileNotFound;
    }
    std::vector<uint8_t> bytes(CImageFileCodec::kHeaderSize + CImageFileCodec::kMaxBuildIdLength);
    DWORD read = 0;
    if (!::ReadFile(file.get(), &bytes[0], (DWORD)bytes.size(), &read, nullptr))
        return SimError::kBadFormat;
    return CImageFileCodec::Decode(&bytes[0], read, image) ? SimError::kNone : SimError::kBadFormat;
}

std::wstring CHostImageFolder::FindPriFile(const std::wstring& folder)
{
    WIN32_FIND_DATAW data = {};
    CFindHandle find(::FindFirstFileW((folder + L"\\UQCN*.mbn").c_str(), &data));
    if (!find)
        return std::wstring();
    do
    {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            return data.cFileName;
    } while (::FindNextFileW(find.get(), &data));
    return std::wstring();
}

ULONG CHostImageFolder::Read(const std::wstring& folder, SimImage& modemImage, SimImage& priImage)
{
    DWORD attributes = ::GetFileAttributesW(folder.c_str());
    if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return SimError::kPathNotFound;
    ULONG result = ReadFile(folder + L"\\AMSS.mbn", modemImage);
    if (result != SimError::kNone)
        return result;
    std::wstring priName = FindPriFile(folder);
    if (priName.empty())
        return SimError::kFileNotFound;
    return ReadFile(folder + L"\\" + priName, priImage);
}
