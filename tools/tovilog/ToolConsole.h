#pragma once
// Output of tovilog. Log text is in the system's ANSI code page and goes out
// as it is when the output is a file or a pipe, so a decoded log stays
// byte for byte what the program wrote; a console gets it as wide text.
#include <windows.h>

#include <string>

class CToolConsole
{
public:
    static void Out(const std::string& ansiText);
    static void OutUtf8(const std::string& utf8Text);
    // "tovilog: <message>\n" on the error output.
    static void Error(const std::wstring& message);
    static void Print(const std::wstring& text);

    static std::string ToAnsi(const std::wstring& text);
    static std::wstring FromAnsi(const std::string& text);
    static std::string AnsiToUtf8(const std::string& text);
    // The system's text for an error code, without its line break.
    static std::wstring ErrorText(DWORD dwError);

private:
    static void Write(DWORD dwStdHandle, const std::string& bytes, UINT uCodePage);
};
