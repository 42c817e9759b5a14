#include "ToolConsole.h"

#include <algorithm>

namespace
{
std::wstring Widen(const std::string& text, UINT uCodePage)
{
    if (text.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(uCodePage, 0, text.data(), (int)text.size(), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide((size_t)n, L'\0');
    ::MultiByteToWideChar(uCodePage, 0, text.data(), (int)text.size(), &wide[0], n);
    return wide;
}

std::string Narrow(const std::wstring& text, UINT uCodePage)
{
    if (text.empty())
        return std::string();
    int n = ::WideCharToMultiByte(uCodePage, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string bytes((size_t)n, '\0');
    ::WideCharToMultiByte(uCodePage, 0, text.data(), (int)text.size(), &bytes[0], n, nullptr, nullptr);
    return bytes;
}
}

void CToolConsole::Write(DWORD dwStdHandle, const std::string& bytes, UINT uCodePage)
{
    HANDLE hOut = ::GetStdHandle(dwStdHandle);
    if (hOut == nullptr || hOut == INVALID_HANDLE_VALUE || bytes.empty())
        return;
    DWORD dwMode = 0;
    DWORD dwWritten = 0;
    if (::GetConsoleMode(hOut, &dwMode))
    {
        std::wstring wide = Widen(bytes, uCodePage);
        ::WriteConsoleW(hOut, wide.data(), (DWORD)wide.size(), &dwWritten, nullptr);
        return;
    }
    size_t offset = 0;
    while (offset < bytes.size())
    {
        DWORD dwChunk = (DWORD)std::min<size_t>(bytes.size() - offset, 1 << 20);
        if (!::WriteFile(hOut, bytes.data() + offset, dwChunk, &dwWritten, nullptr) || dwWritten == 0)
            return;
        offset += dwWritten;
    }
}

void CToolConsole::Out(const std::string& ansiText)
{
    Write(STD_OUTPUT_HANDLE, ansiText, CP_ACP);
}

void CToolConsole::OutUtf8(const std::string& utf8Text)
{
    Write(STD_OUTPUT_HANDLE, utf8Text, CP_UTF8);
}

void CToolConsole::Print(const std::wstring& text)
{
    Out(ToAnsi(text));
}

void CToolConsole::Error(const std::wstring& message)
{
    Write(STD_ERROR_HANDLE, ToAnsi(L"tovilog: " + message + L"\r\n"), CP_ACP);
}

std::string CToolConsole::ToAnsi(const std::wstring& text)
{
    return Narrow(text, CP_ACP);
}

std::wstring CToolConsole::FromAnsi(const std::string& text)
{
    return Widen(text, CP_ACP);
}

std::string CToolConsole::AnsiToUtf8(const std::string& text)
{
    return Narrow(Widen(text, CP_ACP), CP_UTF8);
}

std::wstring CToolConsole::ErrorText(DWORD dwError)
{
    wchar_t* pszText = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, dwError, 0, reinterpret_cast<wchar_t*>(&pszText), 0, nullptr);
    std::wstring text = n && pszText ? std::wstring(pszText, n) : std::wstring();
    if (pszText)
        ::LocalFree(pszText);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return L"error " + std::to_wstring(dwError) + (text.empty() ? L"" : L": " + text);
}
