#include "support/ProgramRun.h"

#include <shlobj.h>
#include <string.h>

namespace
{
const DWORD END_TIMEOUT_MS = 20000;

struct CWindowSearch
{
    DWORD dwProcessId;
    const std::function<bool(HWND)>* pAccept;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    CWindowSearch* pSearch = reinterpret_cast<CWindowSearch*>(lParam);
    DWORD dwProcessId = 0;
    ::GetWindowThreadProcessId(hWnd, &dwProcessId);
    if (dwProcessId == pSearch->dwProcessId && ::IsWindowVisible(hWnd) && (*pSearch->pAccept)(hWnd))
        pSearch->windows.push_back(hWnd);
    return TRUE;
}
}

std::wstring TestProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

std::wstring ProgramLogPath()
{
    wchar_t appData[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_DEFAULT, appData)))
        return std::wstring();
    return std::wstring(appData) + L"\\Velmora\\Logs\\ToviImgMgr.txt";
}

std::vector<std::string> LogTexts(const std::string& log)
{
    static const char* const tags[] = {" t :   ", " i :   ", " h : ", " E :   "};
    std::vector<std::string> texts;
    for (size_t start = 0; start < log.size();)
    {
        size_t end = log.find("\r\n", start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        start = end + 2;
        size_t pos = line.find(" 0x");
        if (pos == std::string::npos)
            continue;
        pos += 3 + 8;
        for (const char* tag : tags)
        {
            if (line.compare(pos, strlen(tag), tag) == 0)
            {
                texts.push_back(line.substr(pos + strlen(tag)));
                break;
            }
        }
    }
    return texts;
}

CProgramRun::CProgramRun(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& workingFolder)
{
    std::wstring commandLine = L"\"" + program + L"\"" + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    m_dwStart = ::GetTickCount();
    if (::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, workingFolder.c_str(), &si,
                         &pi))
    {
        m_process.reset(pi.hProcess);
        ::CloseHandle(pi.hThread);
        m_dwProcessId = pi.dwProcessId;
    }
}

CProgramRun::~CProgramRun()
{
    if (m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT)
    {
        ::TerminateProcess(m_process.get(), 99);
        ::WaitForSingleObject(m_process.get(), END_TIMEOUT_MS);
    }
}

long CProgramRun::WaitForExit(DWORD dwTimeoutMs)
{
    if (::WaitForSingleObject(m_process.get(), dwTimeoutMs) != WAIT_OBJECT_0)
        return -1;
    m_dwElapsed = ::GetTickCount() - m_dwStart;
    DWORD dwCode = 0;
    ::GetExitCodeProcess(m_process.get(), &dwCode);
    return static_cast<long>(dwCode);
}

std::vector<HWND> CProgramRun::Windows(const std::function<bool(HWND)>& accept) const
{
    CWindowSearch search = {m_dwProcessId, &accept, {}};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

HWND CProgramRun::WaitForWindow(const std::function<bool(HWND)>& accept, DWORD dwTimeoutMs) const
{
    const DWORD dwStart = ::GetTickCount();
    while (::GetTickCount() - dwStart < dwTimeoutMs)
    {
        std::vector<HWND> windows = Windows(accept);
        if (!windows.empty())
            return windows.front();
        if (::WaitForSingleObject(m_process.get(), 50) == WAIT_OBJECT_0)
            return nullptr;
    }
    return nullptr;
}
