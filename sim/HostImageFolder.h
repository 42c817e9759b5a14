#pragma once
// Reads the two images of a host image folder: "AMSS.mbn" and the first file
// that matches "UQCN*.mbn".
#include <windows.h>

#include <string>

#include "SimImage.h"

class CHostImageFolder
{
public:
    // 0, or SimError::kPathNotFound (no such folder), kFileNotFound (an image
    // file is missing) or kBadFormat (a file is not an image file).
    static ULONG Read(const std::wstring& folder, SimImage& modemImage, SimImage& priImage);
    // The same for one file.
    static ULONG ReadFile(const std::wstring& path, SimImage& image);
    // The first "UQCN*.mbn" file of the folder (its name), or "".
    static std::wstring FindPriFile(const std::wstring& folder);
};
