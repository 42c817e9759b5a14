#include "RemovalNotifier.h"

#include <algorithm>

#include "StateFile.h"
#include "SimText.h"

namespace
{
// What the waiting thread owns: its own copies of the two events and a
// reference on the library, so that the library stays loaded while the
// thread may still run its code.
struct CWaitContext
{
    HANDLE hRemoval;
    HANDLE hStop;
    HMODULE hModule;
};
}

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
    if (pCallback == nullptr || (m_hThread && m_statePath != statePath))
        Stop();
    if (pCallback == nullptr || m_hThread)
        return true;

    CWaitContext* context = new CWaitContext();
    context->hRemoval = ::CreateEventW(nullptr, FALSE, FALSE, EventName(statePath, ::GetCurrentProcessId()).c_str());
    m_hStop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    context->hStop = nullptr;
    context->hModule = nullptr;
    bool ready = context->hRemoval && m_hStop &&
                 ::DuplicateHandle(::GetCurrentProcess(), m_hStop.get(), ::GetCurrentProcess(), &context->hStop, 0,
                                   FALSE, DUPLICATE_SAME_ACCESS) &&
                 ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                      reinterpret_cast<LPCWSTR>(&CRemovalNotifier::ThreadProc), &context->hModule);
    if (ready)
        m_hThread.reset(::CreateThread(nullptr, 0, &CRemovalNotifier::ThreadProc, context, 0, &m_dwThreadId));
    if (!m_hThread)
    {
        if (context->hRemoval)
            ::CloseHandle(context->hRemoval);
        if (context->hStop)
            ::CloseHandle(context->hStop);
        if (context->hModule)
            ::FreeLibrary(context->hModule);
        delete context;
        m_hStop.reset();
        return false;
    }
    m_statePath = statePath;
    return true;
}

void CRemovalNotifier::Stop()
{
    if (!m_hThread)
        return;
    ::SetEvent(m_hStop.get());
    // Joined unless the callback itself unregisters on the waiting thread.
    if (::GetCurrentThreadId() != m_dwThreadId)
        ::WaitForSingleObject(m_hThread.get(), 5000);
    m_hThread.reset();
    m_hStop.reset();
    m_dwThreadId = 0;
    m_statePath.clear();
}

DWORD WINAPI CRemovalNotifier::ThreadProc(LPVOID pParameter)
{
    CWaitContext* context = static_cast<CWaitContext*>(pParameter);
    HANDLE handles[2] = {context->hRemoval, context->hStop};
    while (::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0)
    {
        TOVI_DEVICE_REMOVAL_CALLBACK pCallback = Instance().m_pCallback;
        if (pCallback)
            pCallback();
    }
    ::CloseHandle(context->hRemoval);
    ::CloseHandle(context->hStop);
    HMODULE hModule = context->hModule;
    delete context;
    ::FreeLibraryAndExitThread(hModule, 0);
    return 0;
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
