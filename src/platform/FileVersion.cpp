#include "platform/FileVersion.h"

#include <new>
#include <vector>

bool ReadFileVersion(const wchar_t* pszPath, WORD parts[4])
{
    parts[0] = parts[1] = parts[2] = parts[3] = 0;
    DWORD dwHandle = 0;
    DWORD cbBlock = ::GetFileVersionInfoSizeW(pszPath, &dwHandle);
    if (cbBlock == 0)
        return false;

    std::vector<BYTE> block;
    try
    {
        block.resize(cbBlock);
    }
    catch (const std::bad_alloc&)
    {
        return true;
    }
    if (!::GetFileVersionInfoW(pszPath, 0, cbBlock, block.data()))
        return true;
    VS_FIXEDFILEINFO* pInfo = nullptr;
    UINT cbInfo = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&pInfo), &cbInfo) || !pInfo ||
        cbInfo < sizeof(VS_FIXEDFILEINFO))
        return true;
    parts[0] = HIWORD(pInfo->dwFileVersionMS);
    parts[1] = LOWORD(pInfo->dwFileVersionMS);
    parts[2] = HIWORD(pInfo->dwFileVersionLS);
    parts[3] = LOWORD(pInfo->dwFileVersionLS);
    return true;
}
