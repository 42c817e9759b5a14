#include "support/PauseRecorder.h"

namespace
{
std::vector<DWORD> g_pauses;

void RecordPause(DWORD dwMilliseconds)
{
    g_pauses.push_back(dwMilliseconds);
}
}

CPauseRecorder::CPauseRecorder()
{
    g_pauses.clear();
    m_pfnPrevious = ToviSetPauseFunction(RecordPause);
}

CPauseRecorder::~CPauseRecorder()
{
    ToviSetPauseFunction(m_pfnPrevious);
    g_pauses.clear();
}

const std::vector<DWORD>& CPauseRecorder::Pauses() const
{
    return g_pauses;
}
