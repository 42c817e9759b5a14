#pragma once
// Prints wide text to the console, or as UTF-8 when the output is redirected.
#include <windows.h>

#include <string>

class CConsoleOutput
{
public:
    // Windows meaning of the format: "%s" takes wide text.
    static void Print(const wchar_t* format, ...);
    static void Error(const wchar_t* format, ...);
    static void Write(DWORD stdHandle, const std::wstring& text);
};
