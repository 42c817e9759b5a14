#pragma once

// Agent mode: the silent sequence that a non-empty command line runs.
void RunAgentMode(const wchar_t* pszCommandLine);
