// Cost of the trace call: lines written to the log file through the library
// against the same bytes written by a bare WriteFile loop, the cost of a
// message that the filter rejects, and on their own the calls that every line
// pays for being sound beside other writers and for applying a signalled
// alter event at once: the file size, the writers' turn, the event's poll.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "diroduzuvevo/DiroDuzUvevo.h"

namespace
{
const int kWrittenLines = 200000;
const int kRejectedMessages = 5000000;
const int kSingleCalls = 200000;

double Seconds()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0)
        ::QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return (double)now.QuadPart / (double)frequency.QuadPart;
}

std::wstring TempPath(const wchar_t* name)
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name;
}

std::string ReadAll(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD read = 0;
    while (::ReadFile(h, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    ::CloseHandle(h);
    return bytes;
}

// The library's lines, one string each, as they lie in its file after the header.
std::vector<std::string> SplitLines(const std::string& bytes, size_t start)
{
    std::vector<std::string> lines;
    while (start < bytes.size())
    {
        size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            break;
        lines.push_back(bytes.substr(start, end + 2 - start));
        start = end + 2;
    }
    return lines;
}

// Nanoseconds per call of one platform call on the library's own handles.
template <typename Call>
double NsPerCall(Call call)
{
    double start = Seconds();
    for (int i = 0; i < kSingleCalls; ++i)
        call();
    return (Seconds() - start) * 1e9 / kSingleCalls;
}

double BareWriteSeconds(const std::wstring& path, const std::vector<std::string>& lines)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                             0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0.0;
    double start = Seconds();
    for (const std::string& line : lines)
    {
        DWORD written = 0;
        ::WriteFile(h, line.data(), (DWORD)line.size(), &written, nullptr);
    }
    double elapsed = Seconds() - start;
    ::CloseHandle(h);
    return elapsed;
}
}

int wmain()
{
    const std::wstring logPath = TempPath(L"bench_trace_log.txt");
    const std::wstring barePath = TempPath(L"bench_trace_bare.txt");
    if (!TbdInitialize(logPath.c_str(), 0, L"ToviImgMgr"))
    {
        fwprintf(stderr, L"The trace library did not start\n");
        return 1;
    }
    bClassEnabled[TBCT_INFO] = true;
    nTraceLevelFile = 1;
    nTraceLevelDebug = 1;
    size_t headerBytes = ReadAll(logPath).size();

    double start = Seconds();
    for (int i = 0; i < kWrittenLines; ++i)
        TbdPrintMessage(TBCT_INFO, 1, L"CHiddenAgent::Execute: benchmark line %d of %s", i, L"the trace library");
    double writtenSeconds = Seconds() - start;

    start = Seconds();
    for (int i = 0; i < kRejectedMessages; ++i)
        TbdPrintMessage(TBCT_INFO, 0, L"CHiddenAgent::Execute: rejected detail %d of %s", i, L"the trace library");
    double rejectedSeconds = Seconds() - start;

    // What a line pays beside the write: the size asked before it, and the
    // turn taken around it, as the library takes it on its last byte range.
    double sizeNs = NsPerCall([] {
        LARGE_INTEGER size;
        ::GetFileSizeEx(hOutputFile, &size);
    });
    double turnNs = NsPerCall([] {
        OVERLAPPED range = {};
        range.OffsetHigh = 0x7FFFFFFF;
        if (::LockFileEx(hOutputFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range))
            ::UnlockFileEx(hOutputFile, 0, 1, 0, &range);
    });
    // What every trace call pays first, also a rejected one.
    double pollNs = NsPerCall([] { ::WaitForSingleObject(hAlterEvent, 0); });
    TbdShutdown();

    std::string logBytes = ReadAll(logPath);
    std::vector<std::string> lines = SplitLines(logBytes, headerBytes);
    if (lines.size() < (size_t)kWrittenLines)
    {
        fwprintf(stderr, L"Expected %d lines in the log, found %u\n", kWrittenLines, (unsigned)lines.size());
        return 1;
    }
    lines.resize(kWrittenLines);
    size_t lineBytes = 0;
    for (const std::string& line : lines)
        lineBytes += line.size();
    double bareSeconds = BareWriteSeconds(barePath, lines);
    ::DeleteFileW(logPath.c_str());
    ::DeleteFileW(barePath.c_str());

    double writtenRate = kWrittenLines / writtenSeconds;
    double bareRate = kWrittenLines / bareSeconds;
    double writtenNs = writtenSeconds * 1e9 / kWrittenLines;
    double rejectedNs = rejectedSeconds * 1e9 / kRejectedMessages;
    wprintf(L"lines: %d of %.1f bytes on average\n", kWrittenLines, (double)lineBytes / kWrittenLines);
    wprintf(L"written through TbdPrintMessage: %.0f lines/s (%.0f ns per line)\n", writtenRate, writtenNs);
    wprintf(L"same bytes by bare WriteFile:    %.0f lines/s (%.0f ns per line)\n", bareRate,
            bareSeconds * 1e9 / kWrittenLines);
    wprintf(L"written rate / bare rate:        %.2f (aim: at least 0.50)\n", writtenRate / bareRate);
    wprintf(L"rejected by the filter:          %.1f ns per message (alter event poll included)\n", rejectedNs);
    wprintf(L"rejected / written cost:         %.2f%% (aim: under 2%%)\n", 100.0 * rejectedNs / writtenNs);
    wprintf(L"alter event poll alone:          %.1f ns per call\n", pollNs);
    wprintf(L"file size asked before a line:   %.1f ns per call\n", sizeNs);
    wprintf(L"writers' turn around a line:     %.1f ns per line (lock and unlock)\n", turnNs);
    return 0;
}
