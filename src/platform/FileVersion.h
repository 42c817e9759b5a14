#pragma once
// The fixed file version of a file's version resource.
#include <windows.h>

// Fills the four parts (major, minor, build, revision) of the file version.
// Returns false when the file has no version block at all; when it has one
// that can not be read, the parts are all 0 and the result is true.
bool ReadFileVersion(const wchar_t* pszPath, WORD parts[4]);
