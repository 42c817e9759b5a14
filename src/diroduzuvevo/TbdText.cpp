// Conversions between the library's wide text and the system's ANSI code page.
#include "diroduzuvevo/TbdInternal.h"

std::string TbdToAnsi(const wchar_t* psText, size_t nLength)
{
    if (!psText || nLength == 0)
        return std::string();
    int nBytes = ::WideCharToMultiByte(CP_ACP, 0, psText, (int)nLength, nullptr, 0, nullptr, nullptr);
    if (nBytes <= 0)
        return std::string();
    std::string bytes((size_t)nBytes, '\0');
    if (::WideCharToMultiByte(CP_ACP, 0, psText, (int)nLength, &bytes[0], nBytes, nullptr, nullptr) != nBytes)
        return std::string();
    return bytes;
}

std::wstring TbdWiden(const char* psText)
{
    if (!psText || !*psText)
        return std::wstring();
    int nChars = ::MultiByteToWideChar(CP_ACP, 0, psText, -1, nullptr, 0);
    if (nChars <= 1)
        return std::wstring();
    std::wstring text((size_t)nChars, L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, psText, -1, &text[0], nChars) != nChars)
        return std::wstring();
    text.resize((size_t)nChars - 1);
    return text;
}
