#include "RemovalNotifier.h"

#include "SimText.h"
#include "StateFile.h"

CRemovalNotifier& CRemovalNotifier::Instance()
{
    static CRemovalNotifier notifier;
    return notifier;
}

std::wstring CRemovalNotifier::EventName(const std::wstring& statePath, DWORD processId)
{
    return CSimText::Format(L"ToviSim.Removal.%s.%lu", CStateFile::PathKey(statePath).c_str(), processId);
}

bool CRemovalNotifier::Register(TOVI_DEVICE_REMOVAL_CALLBACK pCallback, const std::wstring& statePath)
{
    CLock lock(m_cs);
    m_pCallback = pCallback;
    if (m_hWait && m_statePath != statePath)
        StopWaiting();
    if (pCallback == nullptr || m_hWait)
        return true;

    m_hEvent.reset(::CreateEventW(nullptr, FALSE, FALSE, EventName(statePath, ::GetCurrentProcessId()).c_str()));
    // Run in the wait thread itself: unregistering then never needs a new
    // thread of the pool, which could not start while the library is being
    // freed (the loader's lock is held).
    if (!m_hEvent || !::RegisterWaitForSingleObject(&m_hWait, m_hEvent.get(), &CRemovalNotifier::OnRemoval, this,
                                                    INFINITE, WT_EXECUTEINWAITTHREAD))
    {
        m_hWait = nullptr;
        m_hEvent.reset();
        return false;
    }
    m_statePath = statePath;
    return true;
}

void CRemovalNotifier::Shutdown()
{
    m_pCallback = nullptr;
    CLock lock(m_cs);
    StopWaiting();
}

void CRemovalNotifier::StopWaiting()
{
    if (m_hWait == nullptr)
        return;
    // A callback that frees the library or registers again runs on the wait
    // thread: it cannot wait for itself.
    CHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    bool ownThread = m_dwDeliveringThread == ::GetCurrentThreadId();
    if (done && !ownThread)
    {
        if (::UnregisterWaitEx(m_hWait, done.get()) || ::GetLastError() == ERROR_IO_PENDING)
            ::WaitForSingleObject(done.get(), kShutdownWaitMs);
    }
    else
        ::UnregisterWaitEx(m_hWait, nullptr);
    m_hWait = nullptr;
    m_hEvent.reset();
    m_statePath.clear();
}

VOID CALLBACK CRemovalNotifier::OnRemoval(PVOID pContext, BOOLEAN)
{
    CRemovalNotifier* self = static_cast<CRemovalNotifier*>(pContext);
    TOVI_DEVICE_REMOVAL_CALLBACK pCallback = self->m_pCallback;
    if (pCallback == nullptr)
        return;
    self->m_dwDeliveringThread = ::GetCurrentThreadId();
    pCallback();
    self->m_dwDeliveringThread = 0;
}

void CRemovalNotifier::NotifyAll(CModemState& state, const std::wstring& statePath)
{
    std::vector<uint32_t> alive;
    for (uint32_t processId : state.listeners)
    {
        CHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(statePath, processId).c_str()));
        if (!event)
            continue;
        ::SetEvent(event.get());
        alive.push_back(processId);
    }
    state.listeners = alive;
}
