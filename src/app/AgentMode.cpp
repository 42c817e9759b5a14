#include "app/AgentMode.h"

void RunAgentMode(const wchar_t* /*pszCommandLine*/)
{
    // The command sequence is not built yet: agent mode does nothing more
    // than start-up has already traced.
}
