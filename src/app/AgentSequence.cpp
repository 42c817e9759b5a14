// The agent command sequence, and the agent's own parts of it: its entry, the
// download status callback and the worker thread.
#include "app/AgentSequence.h"

#include <stdlib.h>

#include "agent/HiddenAgent.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "platform/Pause.h"
#include "qdl/QdlStatusMonitor.h"
#include "ui/ToviImgMgrDlg.h"

namespace
{
const wchar_t kShowMeTheGui[] = L"-SHOWMETHEGUI";
const wchar_t kGpsAuto[] = L"-GPSAUTO";
const wchar_t kDeleteAllImages[] = L"-DELETEALLIMAGES";
const wchar_t kDownloadAll[] = L"-DOWNLOADALL";
const wchar_t kFwUpdate[] = L"-FWUPDATE";
const wchar_t kAutoUpdate[] = L"-AUTOUPDATE";
const wchar_t kDefaultImage[] = L"-DEFAULTIMAGE";

const wchar_t kModeAuto[] = L"AUTO";
const wchar_t kModeForce[] = L"FORCE";
const wchar_t kModeOff[] = L"OFF";

// The carrier index that never becomes "CarrierIndex".
const long kUnsavedCarrierIndex = 65535;

const DWORD kWorkerThreadTimeoutMs = 30000;
const DWORD kWorkerThreadKilled = 1;
const DWORD kPauseBeforeGpsOffMs = 2000;
const DWORD kPauseBeforeGpsMs = 30000;

void TraceInfo(const wchar_t* pszText)
{
    TbdPrintMessage(TBCT_INFO, 1, L"%s", pszText);
}

void TraceError(const wchar_t* pszText)
{
    TbdPrintMessage(TBCT_INFO, 3, L"%s", pszText);
}
}

int CHiddenAgent::Execute(const wchar_t* pszCommandLine)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::Execute");
    CAgentSequence sequence(*this);
    return sequence.Run(pszCommandLine);
}

void CHiddenAgent::OnQdlStatusChanged(DWORD dwStatus)
{
    // The callback is removed before the agent goes; an agent that is gone
    // anyway is not touched.
    CHiddenAgent* pAgent = Instance();
    if (pAgent == nullptr)
        return;
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&pAgent->m_dwQdlStatus), static_cast<LONG>(dwStatus));
    if (pAgent->m_hQdlStatusEvent)
        ::SetEvent(pAgent->m_hQdlStatusEvent.get());
}

DWORD WINAPI CHiddenAgent::WorkerThreadProc(LPVOID /*pAgent*/)
{
    return 0;
}

CAgentSequence::CAgentSequence(CHiddenAgent& agent)
    : m_agent(agent), m_bGpsAuto(false), m_bImagesDeleted(false), m_bHostFwNewer(false), m_nResult(0)
{
}

int CAgentSequence::Run(const wchar_t* pszCommandLine)
{
    int nSwitches = pszCommandLine != nullptr ? m_switches.Parse(pszCommandLine) : m_switches.Parse();
    if (nSwitches == 0)
    {
        TraceInfo(L"No switches were given on the command line");
        return 0;
    }
    if (Has(kShowMeTheGui))
        return RunWindow();

    m_bGpsAuto = Has(kGpsAuto);
    DeleteAllImages();
    if (Has(kDownloadAll))
        m_agent.m_bAllImagesDownloaded = FALSE;
    if (!ChooseUpdateMode() || !ReadCarrierIndex())
        return 0;

    switch (Decide())
    {
    case DOWNLOAD_PHASE:
        return Download();
    case NO_DOWNLOAD_CHECK:
        return CheckNoDownload();
    default:
        return Close();
    }
}

// The window works with a store of its own; every other switch is ignored.
int CAgentSequence::RunWindow()
{
    TraceInfo(L"-SHOWMETHEGUI specified, running in UI mode");
    CToviImgMgrDlg dlg;
    dlg.DoModal();
    return 0;
}

void CAgentSequence::DeleteAllImages()
{
    if (!Has(kDeleteAllImages))
        return;
    std::wstring csValue;
    if (!ReadValue(kDeleteAllImages, csValue))
    {
        TraceInfo(L"No parameter specified with -DELETEALLIMAGES command, treated as NO DELETE.");
        return;
    }
    if (csValue != L"1")
        return;
    CFwImageStore& store = m_agent.m_FwImageStore;
    if (!store.m_bInitialized)
    {
        TraceError(L"FwImageStore is un-initialized");
        return;
    }
    if (!store.DeleteAllImages())
        TraceError(L"Failed to delete all images.");
    m_bImagesDeleted = true;
    store.LoadDeviceImages();
}

// False when the run stops here.
bool CAgentSequence::ChooseUpdateMode()
{
    if (Has(kFwUpdate))
    {
        if (!ReadValue(kFwUpdate, m_csUpdateMode) ||
            (m_csUpdateMode != kModeAuto && m_csUpdateMode != kModeForce && m_csUpdateMode != kModeOff))
            m_csUpdateMode = kModeAuto;
        if (m_bImagesDeleted && m_csUpdateMode != kModeOff)
        {
            TraceInfo(L"All images have been deleted from the modem. We need to force the image download.");
            m_csUpdateMode = kModeForce;
        }
        return true;
    }
    if (Has(kAutoUpdate))
    {
        // No carrier index is known yet: the question is about the carrier the modem runs.
        m_bHostFwNewer = m_agent.IsFWNewer(m_csCarrierIndex);
        return true;
    }
    if (Has(kDownloadAll))
    {
        TraceInfo(L"Down load all image.");
        return true;
    }
    TraceError(L"None of -FWUPDATE, -AUTOUPDATE, or -DOWNLOADALL is provided.");
    return false;
}

// False when the run stops here.
bool CAgentSequence::ReadCarrierIndex()
{
    if (!Has(kDefaultImage))
        return true;
    if (!ReadValue(kDefaultImage, m_csCarrierIndex) || m_csCarrierIndex.empty())
    {
        TraceError(L"No carrier index specified with -DEFAULTIMAGE option.");
        return false;
    }
    return true;
}

CAgentSequence::NextStep CAgentSequence::Decide()
{
    if (m_csUpdateMode == kModeOff)
        return DecideOff();
    if (m_csUpdateMode == kModeAuto)
        return DecideAuto();
    if (m_csUpdateMode == kModeForce)
    {
        TraceInfo(L"-FWUPDATE FORCE. Firmware will be updated");
        return DOWNLOAD_PHASE;
    }
    // No -FWUPDATE: -AUTOUPDATE has decided, or nothing has.
    return m_bHostFwNewer ? DOWNLOAD_PHASE : NO_DOWNLOAD_CHECK;
}

// Never downloads: the modem only switches to images it already stores.
CAgentSequence::NextStep CAgentSequence::DecideOff()
{
    if (!m_csCarrierIndex.empty() && m_agent.IsFWExisted(m_csCarrierIndex))
    {
        TraceInfo(L"-FWUPDATE OFF. Modem is reset as desired firmware exists");
        m_agent.ResetModemDevice(m_agent.m_csImageFolder);
    }
    else
    {
        TraceInfo(L"-FWUPDATE OFF. Desired firmware doesn't exists on the modem");
    }
    return CLOSING_STEP;
}

CAgentSequence::NextStep CAgentSequence::DecideAuto()
{
    m_bHostFwNewer = m_agent.IsFWNewer(m_csCarrierIndex);
    if (!m_bHostFwNewer)
    {
        TraceInfo(L"-FWUPDATE AUTO. Firmware will not be updated as the host firmware is not newer");
        return NO_DOWNLOAD_CHECK;
    }
    if (m_agent.IsFWExisted(m_csCarrierIndex))
    {
        TraceInfo(L"-FWUPDATE AUTO. Host FW is newer, but no FW update as FW is already on the modem.");
        return NO_DOWNLOAD_CHECK;
    }
    TraceInfo(L"-FWUPDATE AUTO. Host FW is newer, FW will be updated.");
    return DOWNLOAD_PHASE;
}

int CAgentSequence::CheckNoDownload()
{
    if (Has(kDownloadAll))
        return Download();
    // Newer images already stored: switching to them needs no download phase.
    if (m_bHostFwNewer && !m_csCarrierIndex.empty())
        m_agent.SetUserDefaultImage(m_csCarrierIndex, 0);
    return Close();
}

// The way out of every run that has no download phase.
int CAgentSequence::Close()
{
    m_agent.RestoreQdlSettings();
    return m_bGpsAuto ? RunGpsStep() : m_nResult;
}

int CAgentSequence::Download()
{
    if (Has(kDownloadAll))
        DownloadAllImages();

    if (RegisterQdlStatusCallback(CHiddenAgent::OnQdlStatusChanged) != 0)
        TraceError(L"Failed to register QDL status change callback");
    else
        TraceInfo(L"QDL status change callback registered");
    StartWorker();

    RunImageStep();

    WaitForWorker();
    if (RegisterQdlStatusCallback(nullptr) != 0)
        TraceError(L"Failed to remove QDL status change callback");
    else
        TraceInfo(L"QDL status change callback removed");

    return m_bGpsAuto ? RunGpsStep() : m_nResult;
}

void CAgentSequence::DownloadAllImages()
{
    m_nResult = m_agent.DownloadAllImages();
    if (m_nResult != 0)
        TbdPrintMessage(TBCT_INFO, 3, L"DownloadAllImages failed: %i", m_nResult);
    // Also after a failure: the default image step then only activates.
    m_agent.m_bAllImagesDownloaded = TRUE;
    m_agent.RestoreQdlSettings();
}

void CAgentSequence::StartWorker()
{
    DWORD dwThreadId = 0;
    m_agent.m_hWorkerThread.reset(
        ::CreateThread(nullptr, 0, CHiddenAgent::WorkerThreadProc, &m_agent, 0, &dwThreadId));
    m_agent.m_dwWorkerThreadId = dwThreadId;
    if (!m_agent.m_hWorkerThread)
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to start the worker thread: %i", (int)::GetLastError());
}

void CAgentSequence::RunImageStep()
{
    const ULONG ulForce = ForceFlag();
    if (Has(kDefaultImage) && m_agent.m_bAllImagesDownloaded)
    {
        ActivateDownloadedImages(ulForce);
    }
    else if (Has(kDefaultImage))
    {
        UpgradeToCarrier(ulForce);
    }
    else if (Has(kAutoUpdate))
    {
        m_nResult = m_agent.UpdateCurrentImage(0);
    }
    else if (Has(kFwUpdate))
    {
        m_nResult = m_agent.UpdateCurrentImage(ulForce);
        if (m_nResult == 0)
            m_agent.RestoreQdlSettings();
    }
}

void CAgentSequence::ActivateDownloadedImages(ULONG ulForce)
{
    m_nResult = m_agent.SetDownloadedDefaultImage(m_csCarrierIndex);
    if (m_nResult != 0)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"SetDownloadedDefaultImage failed: %i", m_nResult);
        StopWorker();
        return;
    }
    // Leading blanks, a sign and the digits up to the first other character;
    // no digit gives 0, and a number out of range stops at the range's end.
    const long nCarrierIndex = wcstol(m_csCarrierIndex.c_str(), nullptr, 10);
    if (nCarrierIndex != kUnsavedCarrierIndex)
        m_agent.SaveCarrierIndex(static_cast<DWORD>(nCarrierIndex), ulForce);
    m_agent.RestoreQdlSettings();
}

void CAgentSequence::UpgradeToCarrier(ULONG ulForce)
{
    m_nResult = m_agent.SetUserDefaultImage(m_csCarrierIndex, ulForce);
    if (m_nResult != 0)
        StopWorker();
    else
        m_agent.RestoreQdlSettings();
}

void CAgentSequence::StopWorker()
{
    m_agent.m_bStopWorker = TRUE;
    if (m_agent.m_hQdlStatusEvent)
        ::SetEvent(m_agent.m_hQdlStatusEvent.get());
}

void CAgentSequence::WaitForWorker()
{
    if (!m_agent.m_hWorkerThread)
        return;
    if (::WaitForSingleObject(m_agent.m_hWorkerThread.get(), kWorkerThreadTimeoutMs) == WAIT_TIMEOUT)
        ::TerminateThread(m_agent.m_hWorkerThread.get(), kWorkerThreadKilled);
}

int CAgentSequence::RunGpsStep()
{
    if (m_csUpdateMode == kModeOff)
    {
        TraceInfo(L"Sleep 2s before EnableGpsAuto");
        ToviPause(kPauseBeforeGpsOffMs);
    }
    else
    {
        TraceInfo(L"Sleep 30s before EnableGpsAuto");
        ToviPause(kPauseBeforeGpsMs);
    }
    // A failed lookup leaves the text empty, as a -GPSAUTO without a value has it.
    std::wstring csValue;
    ReadValue(kGpsAuto, csValue);
    m_nResult = m_agent.EnableGpsAuto(csValue);
    return m_nResult;
}

bool CAgentSequence::Has(const wchar_t* pszSwitch) const
{
    return m_switches.HasSwitch(pszSwitch);
}

bool CAgentSequence::ReadValue(const wchar_t* pszSwitch, std::wstring& csValue) const
{
    try
    {
        csValue = m_switches.GetSwitchValue(pszSwitch);
        return true;
    }
    catch (...)
    {
        csValue.clear();
        return false;
    }
}

ULONG CAgentSequence::ForceFlag() const
{
    return m_csUpdateMode == kModeForce ? 1 : 0;
}
