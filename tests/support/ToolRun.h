#pragma once
// Runs a console program of the project (tovilog, tovisim) to its end and
// keeps what it wrote to its output and its error output.
#include <windows.h>

#include <string>

struct ToolResult
{
    long nExit = -1;   // -1: it did not end within the time and was ended
    std::string out;   // the bytes as written
    std::string err;
};

// program: a file name beside the test program, or a full path. The
// arguments follow the program's quoted name.
ToolResult RunTool(const std::wstring& program, const std::wstring& arguments, DWORD dwTimeoutMs = 30000);
