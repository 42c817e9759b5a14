#pragma once
// The commands that read a log: decode, show and summary. Each returns the
// process's exit code: 0 done, 1 the output could not be written, 2 bad input.
#include <string>
#include <vector>

namespace LogCommands
{
int Decode(const std::vector<std::wstring>& args);
int Show(const std::vector<std::wstring>& args);
int Summary(const std::vector<std::wstring>& args);
// The current user's log, as "path" prints it; empty when there is none.
std::wstring DefaultLogPath();
int Path(const std::vector<std::wstring>& args);
}
