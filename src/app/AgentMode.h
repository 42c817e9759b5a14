#pragma once

// Agent mode: the silent command sequence that a non-empty command line runs,
// for the process's own command line, or for the full command line given
// (program name first).
void RunAgentMode(const wchar_t* pszCommandLine = nullptr);
