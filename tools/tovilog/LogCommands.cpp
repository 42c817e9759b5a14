#include "LogCommands.h"

#include <windows.h>

#include <algorithm>

#include <new>

#include "LineFilter.h"
#include "LogFile.h"
#include "LogSummary.h"
#include "SummaryJson.h"
#include "ToolConsole.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "platform/Handles.h"

namespace
{
const wchar_t kLogName[] = L"ToviImgMgr.txt";

int BadArguments(const std::wstring& message)
{
    CToolConsole::Error(message + L" (tovilog help shows the commands)");
    return 2;
}

// The whole file, shared with the program that may still be writing it.
bool ReadWholeFile(const std::wstring& path, std::string* pBytes)
{
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
    {
        CToolConsole::Error(L"cannot open " + path + L" (" + CToolConsole::ErrorText(::GetLastError()) + L")");
        return false;
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF)
    {
        CToolConsole::Error(path + L" is too large to be a trace log");
        return false;
    }
    try
    {
        pBytes->assign((size_t)size.QuadPart, '\0');
    }
    catch (const std::bad_alloc&)
    {
        CToolConsole::Error(L"not enough memory to read " + path);
        return false;
    }
    size_t offset = 0;
    while (offset < pBytes->size())
    {
        DWORD dwRead = 0;
        DWORD dwChunk = (DWORD)std::min<size_t>(pBytes->size() - offset, 1 << 20);
        if (!::ReadFile(file.get(), &(*pBytes)[offset], dwChunk, &dwRead, nullptr))
        {
            CToolConsole::Error(L"cannot read " + path + L" (" + CToolConsole::ErrorText(::GetLastError()) + L")");
            return false;
        }
        if (dwRead == 0)
            break;
        offset += dwRead;
    }
    // A log still growing keeps only what was there when its size was read.
    pBytes->resize(offset);
    return true;
}

// Reads and recognises a log; reports why not, or warns when it is cut short.
bool LoadLog(const std::wstring& path, CLogFile* pLog)
{
    std::string bytes;
    if (!ReadWholeFile(path, &bytes))
        return false;
    if (!pLog->Load(bytes))
    {
        if (pLog->GetKind() == CLogFile::EMPTY)
            CToolConsole::Error(path + L" is empty: there is no log in it");
        else
            CToolConsole::Error(path + L" is not a trace log of the program, neither plain nor scrambled "
                                       L"(it starts with neither the log's header nor a trace line)");
        return false;
    }
    if (pLog->CutShort())
        CToolConsole::Error(L"warning: " + path +
                            L" ends in the middle of a line: the file is cut short, what is there is read as it is");
    return true;
}

std::string FileName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return CToolConsole::ToAnsi(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

std::wstring FullPath(const std::wstring& path)
{
    wchar_t sz[MAX_PATH * 2] = {};
    DWORD n = ::GetFullPathNameW(path.c_str(), MAX_PATH * 2, sz, nullptr);
    return n > 0 && n < MAX_PATH * 2 ? std::wstring(sz) : path;
}

std::string Utf8(const std::string& ansi)
{
    return CToolConsole::AnsiToUtf8(ansi);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (!file)
    {
        CToolConsole::Error(L"cannot create " + path + L" (" + CToolConsole::ErrorText(::GetLastError()) + L")");
        return false;
    }
    size_t offset = 0;
    while (offset < bytes.size())
    {
        DWORD dwWritten = 0;
        DWORD dwChunk = (DWORD)std::min<size_t>(bytes.size() - offset, 1 << 20);
        if (!::WriteFile(file.get(), bytes.data() + offset, dwChunk, &dwWritten, nullptr) || dwWritten == 0)
        {
            CToolConsole::Error(L"cannot write " + path + L" (" + CToolConsole::ErrorText(::GetLastError()) + L")");
            return false;
        }
        offset += dwWritten;
    }
    return true;
}

// "name  12345 bytes  2026-12-10 13:23:22" or "name  (none)".
std::wstring DescribeFile(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return path + L"  (none)";
    ULONGLONG size = ((ULONGLONG)data.nFileSizeHigh << 32) | data.nFileSizeLow;
    FILETIME local = {};
    SYSTEMTIME time = {};
    ::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    ::FileTimeToSystemTime(&local, &time);
    wchar_t sz[64];
    _snwprintf(sz, 64, L"  %llu bytes  %04u-%02u-%02u %02u:%02u:%02u", size, time.wYear, time.wMonth, time.wDay,
               time.wHour, time.wMinute, time.wSecond);
    sz[63] = L'\0';
    return path + sz;
}

bool ReadUserOrMachineString(const wchar_t* pszKey, const wchar_t* pszValue, std::wstring* pText)
{
    for (HKEY hRoot : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    {
        CRegKey key;
        if (::RegOpenKeyExW(hRoot, pszKey, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
            continue;
        wchar_t sz[MAX_PATH] = {};
        DWORD cb = sizeof(sz) - sizeof(wchar_t);
        if (::RegQueryValueExW(key.get(), pszValue, nullptr, nullptr, reinterpret_cast<BYTE*>(sz), &cb) ==
            ERROR_SUCCESS)
        {
            *pText = sz;
            return true;
        }
    }
    return false;
}
}

namespace LogCommands
{
std::wstring DefaultLogPath()
{
    wchar_t szFolder[MAX_PATH] = {};
    if (!TbdGetLogFolder(szFolder))
        return std::wstring();
    std::wstring folder = szFolder;
    return folder.empty() ? std::wstring(kLogName) : folder + L"\\" + kLogName;
}

int Path(const std::vector<std::wstring>& args)
{
    if (!args.empty())
        return BadArguments(L"path takes no arguments");
    const std::wstring log = DefaultLogPath();
    if (log.empty())
    {
        CToolConsole::Error(L"the current user has no application-data folder for the log");
        return 1;
    }
    CToolConsole::Print(L"Log:     " + DescribeFile(log) + L"\r\n");
    CToolConsole::Print(L"Saved:   " + DescribeFile(log + L"_Saved") + L"  (the previous run's log)\r\n");
    CToolConsole::Print(L"Backup:  " + DescribeFile(log + L"_BACKUP") + L"  (the log as it was at the size limit)\r\n");
    std::wstring configured;
    if (ReadUserOrMachineString(L"Software\\DiroDuzUvevo\\ToviImgMgr", L"OutputFileName", &configured) &&
        !configured.empty())
        CToolConsole::Print(L"Note:    \"OutputFileName\" = " + configured +
                            L" moves the live log there (the _Saved copy stays beside the path above)\r\n");
    return 0;
}

int Decode(const std::vector<std::wstring>& args)
{
    if (args.empty() || args.size() > 2)
        return BadArguments(L"decode needs LOG and optionally OUT");
    if (args.size() == 2 && ::lstrcmpiW(FullPath(args[0]).c_str(), FullPath(args[1]).c_str()) == 0)
        return BadArguments(L"OUT must not be the log itself");
    CLogFile log;
    if (!LoadLog(args[0], &log))
        return 2;
    if (args.size() == 1)
    {
        CToolConsole::Out(log.Text());
        return 0;
    }
    return WriteFileBytes(args[1], log.Text()) ? 0 : 1;
}

int Show(const std::vector<std::wstring>& args)
{
    std::wstring path;
    CLineFilter filter;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::wstring& arg = args[i];
        bool bHasValue = i + 1 < args.size();
        if (arg == L"--level" || arg == L"--thread" || arg == L"--grep")
        {
            if (!bHasValue)
                return BadArguments(arg + L" needs a value");
            const std::string value = CToolConsole::ToAnsi(args[++i]);
            if (arg == L"--level" && !filter.SetLevels(value))
                return BadArguments(L"--level takes letters of the tags, separated by commas: E,i,h,t (and ?)");
            if (arg == L"--thread" && !filter.SetThread(value))
                return BadArguments(L"--thread takes a thread ID in hexadecimal, as the log writes it (0x0000002c)");
            if (arg == L"--grep")
                filter.SetGrep(value);
        }
        else if (arg == L"--no-scopes")
            filter.SetNoScopes(true);
        else if (arg.compare(0, 2, L"--") == 0)
            return BadArguments(L"unknown option " + arg);
        else if (path.empty())
            path = arg;
        else
            return BadArguments(L"show reads one log");
    }
    if (path.empty())
        path = DefaultLogPath();
    CLogFile log;
    if (!LoadLog(path, &log))
        return 2;
    std::string out;
    for (const std::string& line : log.Lines())
    {
        if (!line.empty() && filter.Passes(line))
            out += line + "\r\n";
    }
    CToolConsole::Out(out);
    return 0;
}

int Summary(const std::vector<std::wstring>& args)
{
    std::wstring path;
    bool bJson = false;
    for (const std::wstring& arg : args)
    {
        if (arg == L"--json")
            bJson = true;
        else if (arg.compare(0, 2, L"--") == 0)
            return BadArguments(L"unknown option " + arg);
        else if (path.empty())
            path = arg;
        else
            return BadArguments(L"summary reads one log");
    }
    if (path.empty())
        path = DefaultLogPath();
    CLogFile log;
    if (!LoadLog(path, &log))
        return 2;
    CLogSummary summary;
    summary.Build(log);
    if (bJson)
    {
        CToolConsole::OutUtf8(SummaryToJson(summary, FileName(path), Utf8) + "\r\n");
        return 0;
    }
    std::string text = summary.ToText(FileName(path));
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    CToolConsole::Out(crlf);
    return 0;
}
}
