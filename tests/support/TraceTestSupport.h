#pragma once
// Helpers for the trace library's tests: raw file bytes, registry values that
// are put back as they were, and the debugger output of this process.
#include <windows.h>

#include <string>
#include <vector>

// The file's bytes as they are on disk; empty when it can not be read.
std::string ReadFileBytes(const std::wstring& path);
bool FileExists(const std::wstring& path);
// A path in the temporary folder that holds this process's ID.
std::wstring TestTempPath(const std::wstring& name);
// A line's bytes as the log file holds them (the system's ANSI code page).
std::string AnsiBytes(const std::wstring& text);

// Deletes the program key that the trace library makes (under both roots)
// when it starts with a test's own program name.
void DeleteTraceProgramKey(const std::wstring& programName);

// Remembers one registry value (or its absence) and puts it back when
// destroyed; in between the test may set or delete it.
class CRegValueGuard
{
public:
    CRegValueGuard(HKEY hRoot, const std::wstring& key, const std::wstring& value);
    ~CRegValueGuard();
    CRegValueGuard(const CRegValueGuard&) = delete;
    CRegValueGuard& operator=(const CRegValueGuard&) = delete;

    void SetDword(DWORD dwValue);
    void SetString(const std::wstring& text);
    void SetBytes(DWORD dwType, const void* pData, DWORD cbData);
    void Delete();

private:
    HKEY m_hRoot;
    std::wstring m_key;
    std::wstring m_value;
    bool m_bExisted;
    DWORD m_dwType;
    std::vector<BYTE> m_data;
};

// Collects what this process sends to the debugger output while it exists.
class CDebugOutputCapture
{
public:
    CDebugOutputCapture();
    ~CDebugOutputCapture();
    CDebugOutputCapture(const CDebugOutputCapture&) = delete;
    CDebugOutputCapture& operator=(const CDebugOutputCapture&) = delete;

    std::vector<std::string> Strings() const;
    // Whether some string sent contains the text.
    bool Contains(const std::string& text) const;

private:
    PVOID m_hHandler;
};
