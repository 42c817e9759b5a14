#include "diroduzuvevo/DiroDuzUvevo.h"
#include "diroduzuvevo/TbdLineLayout.h"

CTbdFunctionTrace::CTbdFunctionTrace(const wchar_t* pszName, LONG* plTotalTime, LONG* plTotalCalls)
    : m_dwStartTick(0), m_plTotalTime(plTotalTime), m_plTotalCalls(plTotalCalls)
{
    CTbdLineBuffer(m_szName, MAX_PATH).Append(pszName);
    TbdPrintMessage(TBDCT_ALL_FUNCTIONS, 2, L"+ %s", m_szName);
    // Taken after the entry line, so that its cost is not part of the operation.
    m_dwStartTick = ::GetTickCount();
}

CTbdFunctionTrace::~CTbdFunctionTrace()
{
    DWORD dwDuration = ::GetTickCount() - m_dwStartTick;
    LONG lTotalTime = 0;
    LONG lTotalCalls = 0;
    if (m_plTotalCalls)
    {
        ::InterlockedIncrement(m_plTotalCalls);
        lTotalCalls = ::InterlockedCompareExchange(m_plTotalCalls, 0, 0);
    }
    if (m_plTotalTime)
    {
        ::InterlockedExchangeAdd(m_plTotalTime, (LONG)dwDuration);
        lTotalTime = ::InterlockedCompareExchange(m_plTotalTime, 0, 0);
    }
    TbdPrintMessage(TBDCT_ALL_FUNCTIONS, 2, L"- %s (Duration = %dms - Total time = %dms - Total calls = %d)", m_szName,
                    (int)dwDuration, (int)lTotalTime, (int)lTotalCalls);
}
