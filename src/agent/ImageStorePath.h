#pragma once
// The host image store root as the modem API names it, and the folder and
// file paths under it. Paths are composed within the fixed sizes the modem API
// and the file system work with; a path that would not fit is refused rather
// than cut short, since a shortened path names some other folder or file.
#include <windows.h>

#include <string>

enum
{
    IMAGE_STORE_ROOT_CAPACITY = 260,  // characters offered to GetImageStoreW
    IMAGE_FOLDER_PATH_SIZE = 265,     // characters of a folder path, terminator included
    IMAGE_FILE_PATH_SIZE = MAX_PATH   // characters of a file path, terminator included
};

class CImageStorePath
{
public:
    CImageStorePath();
    CImageStorePath(const CImageStorePath&) = delete;
    CImageStorePath& operator=(const CImageStorePath&) = delete;

    // Asks the modem API for the root; its result, traced when nonzero.
    ULONG Load();
    const wchar_t* Root() const { return m_szRoot; }

    // "root\folder"; false (traced) when it does not fit a folder path.
    bool FolderPath(const wchar_t* pszFolder, std::wstring& csPath) const;
    // "root\number".
    bool FolderPath(int nFolder, std::wstring& csPath) const;
    // The folder path followed by pszTail ("\AMSS.mbn", "\UQCN*.mbn", "\" and a
    // name); false (traced) when it does not fit a file path.
    static bool FilePath(const std::wstring& csFolderPath, const wchar_t* pszTail, std::wstring& csPath);

private:
    bool ComposeFolderPath(std::wstring& csPath, const wchar_t* pszFormat, ...) const;

    wchar_t m_szRoot[IMAGE_FOLDER_PATH_SIZE];
};
