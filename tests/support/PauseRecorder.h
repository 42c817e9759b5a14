#pragma once
// Replaces the program's pause with one that only records the requested
// durations, for the life of the object.
#include <vector>

#include "platform/Pause.h"

class CPauseRecorder
{
public:
    CPauseRecorder();
    ~CPauseRecorder();
    CPauseRecorder(const CPauseRecorder&) = delete;
    CPauseRecorder& operator=(const CPauseRecorder&) = delete;

    const std::vector<DWORD>& Pauses() const;

private:
    TOVI_PAUSE_FUNCTION m_pfnPrevious;
};
