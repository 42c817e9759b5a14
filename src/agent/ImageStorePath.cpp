#include "agent/ImageStorePath.h"

#include <stdarg.h>
#include <stdio.h>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "modem/ToviApiWrapper.h"

namespace
{
void TraceInvalidPath()
{
    TbdPrintMessage(TBCT_INFO, 3, L"Invalid file path");
}
}

CImageStorePath::CImageStorePath() : m_szRoot()
{
}

ULONG CImageStorePath::Load()
{
    wmemset(m_szRoot, L'\0', IMAGE_FOLDER_PATH_SIZE);
    ULONG ulResult = CToviApiWrapper::m_pfnGetImageStoreW(IMAGE_STORE_ROOT_CAPACITY, m_szRoot);
    // The buffer is larger than the capacity offered, so the root stays terminated
    // even if the library fills every character it was allowed.
    m_szRoot[IMAGE_FOLDER_PATH_SIZE - 1] = L'\0';
    if (ulResult != 0)
        TbdPrintMessage(TBCT_INFO, 3, L"GetImageStoreW failed: %i", ulResult);
    return ulResult;
}

bool CImageStorePath::ComposeFolderPath(std::wstring& csPath, const wchar_t* pszFormat, ...) const
{
    wchar_t szPath[IMAGE_FOLDER_PATH_SIZE] = {};
    va_list args;
    va_start(args, pszFormat);
    int nLength = _vsnwprintf(szPath, IMAGE_FOLDER_PATH_SIZE, pszFormat, args);
    va_end(args);
    if (nLength < 0 || nLength >= IMAGE_FOLDER_PATH_SIZE)
    {
        TraceInvalidPath();
        return false;
    }
    csPath.assign(szPath, nLength);
    return true;
}

bool CImageStorePath::FolderPath(const wchar_t* pszFolder, std::wstring& csPath) const
{
    return ComposeFolderPath(csPath, L"%s\\%s", m_szRoot, pszFolder);
}

bool CImageStorePath::FolderPath(int nFolder, std::wstring& csPath) const
{
    return ComposeFolderPath(csPath, L"%s\\%i", m_szRoot, nFolder);
}

bool CImageStorePath::FilePath(const std::wstring& csFolderPath, const wchar_t* pszTail, std::wstring& csPath)
{
    std::wstring csFile = csFolderPath + pszTail;
    if (csFile.length() >= IMAGE_FILE_PATH_SIZE)
    {
        TraceInvalidPath();
        return false;
    }
    csPath.swap(csFile);
    return true;
}
