#pragma once
// Splits a command line into its argument vector the way the platform's C
// runtime builds a program's argv. Written without Windows headers so that the
// rules can be tested and fuzzed natively.
#include <string>
#include <vector>

// The arguments of a full command line, the program's own name first. The
// name ends at the first blank or tab outside double quotes; quotes in it only
// group and backslashes in it are plain. For every further argument:
//   - blanks and tabs outside double quotes separate arguments;
//   - a double quote after 2n backslashes gives n backslashes and opens or
//     closes a quoted part; after 2n+1 backslashes, n backslashes and a quote;
//   - inside a quoted part, two double quotes give one quote and the part goes on;
//   - any other backslash is plain.
// A null or empty line gives a single empty program name.
std::vector<std::wstring> SplitCommandLine(const wchar_t* pszCommandLine);
