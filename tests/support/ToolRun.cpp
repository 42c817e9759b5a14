#include "support/ToolRun.h"

#include <thread>

#include "platform/Handles.h"
#include "support/ProgramRun.h"

namespace
{
void ReadAll(HANDLE hRead, std::string* pText)
{
    char buffer[4096];
    DWORD dwRead = 0;
    while (::ReadFile(hRead, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
        pText->append(buffer, dwRead);
}

bool MakePipe(CHandle* pRead, CHandle* pWrite)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!::CreatePipe(&hRead, &hWrite, &sa, 0))
        return false;
    pRead->reset(hRead);
    pWrite->reset(hWrite);
    // Only the child's end is inherited.
    return ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0) != FALSE;
}
}

ToolResult RunTool(const std::wstring& program, const std::wstring& arguments, DWORD dwTimeoutMs)
{
    ToolResult result;
    std::wstring path = program.find(L'\\') == std::wstring::npos ? TestProgramFolder() + L"\\" + program : program;
    CHandle outRead, outWrite, errRead, errWrite;
    if (!MakePipe(&outRead, &outWrite) || !MakePipe(&errRead, &errWrite))
        return result;
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = outWrite.get();
    si.hStdError = errWrite.get();
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                          TestProgramFolder().c_str(), &si, &pi))
        return result;
    CHandle process(pi.hProcess);
    ::CloseHandle(pi.hThread);
    outWrite.reset();
    errWrite.reset();

    std::thread outReader(ReadAll, outRead.get(), &result.out);
    std::thread errReader(ReadAll, errRead.get(), &result.err);
    if (::WaitForSingleObject(process.get(), dwTimeoutMs) != WAIT_OBJECT_0)
        ::TerminateProcess(process.get(), 99);
    else
    {
        DWORD dwCode = 0;
        ::GetExitCodeProcess(process.get(), &dwCode);
        result.nExit = (long)dwCode;
    }
    ::WaitForSingleObject(process.get(), 10000);
    outReader.join();
    errReader.join();
    return result;
}
