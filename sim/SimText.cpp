#include "SimText.h"

#include <stdarg.h>
#include <stdio.h>

namespace
{
std::string Narrow(UINT codePage, const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int size = ::WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size : 0, '\0');
    if (size > 0)
        ::WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &result[0], size, nullptr, nullptr);
    return result;
}

std::wstring Widen(UINT codePage, const std::string& text)
{
    if (text.empty())
        return std::wstring();
    int size = ::MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring result(size > 0 ? size : 0, L'\0');
    if (size > 0)
        ::MultiByteToWideChar(codePage, 0, text.data(), (int)text.size(), &result[0], size);
    return result;
}
}

std::string CSimText::ToUtf8(const std::wstring& text) { return Narrow(CP_UTF8, text); }
std::wstring CSimText::FromUtf8(const std::string& text) { return Widen(CP_UTF8, text); }
std::wstring CSimText::FromAnsi(const std::string& bytes) { return Widen(CP_ACP, bytes); }
std::string CSimText::ToAnsi(const std::wstring& text) { return Narrow(CP_ACP, text); }

std::wstring CSimText::Format(const wchar_t* format, ...)
{
    wchar_t buffer[2048];
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(buffer, sizeof(buffer) / sizeof(buffer[0]) - 1, format, args);
    va_end(args);
    buffer[sizeof(buffer) / sizeof(buffer[0]) - 1] = L'\0';
    if (written < 0)
        buffer[sizeof(buffer) / sizeof(buffer[0]) - 1] = L'\0';
    return buffer;
}
