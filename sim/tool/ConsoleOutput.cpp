#include "ConsoleOutput.h"

#include <stdarg.h>
#include <stdio.h>

#include <vector>

#include "SimText.h"

namespace
{
std::wstring FormatV(const wchar_t* format, va_list args)
{
    std::vector<wchar_t> buffer(8192);
    int written = _vsnwprintf(&buffer[0], buffer.size() - 1, format, args);
    buffer[buffer.size() - 1] = L'\0';
    if (written < 0)
        written = (int)wcslen(&buffer[0]);
    return std::wstring(&buffer[0], written);
}
}

void CConsoleOutput::Write(DWORD stdHandle, const std::wstring& text)
{
    HANDLE handle = ::GetStdHandle(stdHandle);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    DWORD written = 0;
    if (::GetConsoleMode(handle, &mode))
    {
        ::WriteConsoleW(handle, text.c_str(), (DWORD)text.size(), &written, nullptr);
        return;
    }
    std::wstring lines;
    for (wchar_t c : text)
    {
        if (c == L'\n')
            lines += L'\r';
        lines += c;
    }
    std::string bytes = CSimText::ToUtf8(lines);
    ::WriteFile(handle, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

void CConsoleOutput::Print(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    Write(STD_OUTPUT_HANDLE, text);
}

void CConsoleOutput::Error(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    Write(STD_ERROR_HANDLE, text);
}
