#pragma once
// Text conversions at the edge between the simulator's UTF-8 state and the
// wide text of the modem API.
#include <windows.h>

#include <string>

class CSimText
{
public:
    static std::string ToUtf8(const std::wstring& text);
    static std::wstring FromUtf8(const std::string& text);
    // Build IDs travel as bytes of the system's ANSI code page.
    static std::wstring FromAnsi(const std::string& bytes);
    static std::string ToAnsi(const std::wstring& text);
    static std::wstring Format(const wchar_t* format, ...);
};
