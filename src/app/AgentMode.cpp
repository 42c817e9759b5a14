#include "app/AgentMode.h"

#include "agent/HiddenAgent.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "modem/ToviApiWrapper.h"

void RunAgentMode(const wchar_t* pszCommandLine)
{
    // The agent's destructor waits for its worker, disconnects its store and
    // unloads the modem API, whichever way the run ends.
    CHiddenAgent agent;
    if (!CToviApiWrapper::Initialize() || agent.Initialize() != 0)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to initialize HiddenAgent");
        return;
    }
    // No result of agent mode reaches the exit status.
    agent.Execute(pszCommandLine);
}
