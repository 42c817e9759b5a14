#pragma once
// Runs the real ToviImgMgr.exe (or another program) as a process of its own
// and reads what its run left: windows while it runs, the trace log after.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Handles.h"

// The folder of the running test program, where the program under test lies.
std::wstring TestProgramFolder();
// The program's trace log in the user's application-data folder; empty when
// that folder can not be had.
std::wstring ProgramLogPath();
// The texts of a log's trace lines: what follows the level tag after the
// thread ID field (" 0x%08x"). Header and footer lines have no tag.
std::vector<std::string> LogTexts(const std::string& log);

// One run of a program with the given text after its name, started in the
// given working folder. The destructor ends a process that a test left running.
class CProgramRun
{
public:
    CProgramRun(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingFolder);
    ~CProgramRun();
    CProgramRun(const CProgramRun&) = delete;
    CProgramRun& operator=(const CProgramRun&) = delete;

    bool Started() const { return m_process.valid(); }
    DWORD ProcessId() const { return m_dwProcessId; }

    // The exit status, or -1 when the program did not end within the time.
    long WaitForExit(DWORD dwTimeoutMs);
    // Milliseconds from the start to the end that WaitForExit saw.
    DWORD ElapsedMs() const { return m_dwElapsed; }

    // The first visible top-level window of the process that the predicate
    // accepts, or nullptr once the process has ended or the time is up.
    HWND WaitForWindow(const std::function<bool(HWND)>& accept, DWORD dwTimeoutMs) const;
    // Every visible top-level window of the process that the predicate accepts.
    std::vector<HWND> Windows(const std::function<bool(HWND)>& accept) const;

private:
    CHandle m_process;
    DWORD m_dwProcessId = 0;
    DWORD m_dwStart = 0;
    DWORD m_dwElapsed = 0;
};
