#include "agent/HiddenAgent.h"

#include "agent/QdlSettingsKey.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "modem/ToviApiWrapper.h"

namespace
{
const wchar_t kAutoImageDownloadBySim[] = L"AutoImageDownloadbySIM";
const wchar_t kForceDownload[] = L"ForceDownload";
const wchar_t kCarrierIndex[] = L"CarrierIndex";
const DWORD kWorkerThreadTimeout = 10000;
const DWORD kWorkerThreadKilled = 1;
}

CHiddenAgent* CHiddenAgent::s_pInstance = nullptr;

CHiddenAgent::CHiddenAgent()
    : m_dwQdlStatus(0xFFFF),
      m_hQdlStatusEvent(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_dwWorkerThreadId(0),
      m_bAllImagesDownloaded(0),
      m_bStopWorker(0),
      m_ulHostPriVersionID(0),
      m_ulDeviceFwRevisionID(0),
      m_dwAutoImageDownloadBySim(1)
{
    s_pInstance = this;
}

CHiddenAgent::~CHiddenAgent()
{
    JoinWorkerThread();
    m_hQdlStatusEvent.reset();
    if (m_FwImageStore.m_bInitialized == 1)
    {
        if (CToviApiWrapper::m_bLoaded)
            m_FwImageStore.DisconnectDevice();
        m_FwImageStore.m_bInitialized = 0;
    }
    CToviApiWrapper::DeInit();
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

void CHiddenAgent::JoinWorkerThread()
{
    if (!m_hWorkerThread)
        return;
    if (::WaitForSingleObject(m_hWorkerThread.get(), kWorkerThreadTimeout) == WAIT_TIMEOUT)
        ::TerminateThread(m_hWorkerThread.get(), kWorkerThreadKilled);
    m_hWorkerThread.reset();
}

ULONG CHiddenAgent::Initialize()
{
    TBD_FUNCTION_TRACE(L"CHiddentAgent::Initialize");
    if (!m_FwImageStore.m_bInitialized && !LoadImageStore())
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to initialize ImageStore");
    DisableAutoImageDownloadBySim();
    return 0;
}

// Leaves the modem connected on success: the checks that follow use the
// connection and the lists as loaded here.
bool CHiddenAgent::LoadImageStore()
{
    if (!CToviApiWrapper::m_bLoaded)
        return false;
    if (m_FwImageStore.ConnectDevice() != 0 || !m_FwImageStore.LoadSelectedImages() ||
        !m_FwImageStore.LoadDeviceImages())
        return false;
    m_FwImageStore.m_bInitialized = 1;
    return true;
}

void CHiddenAgent::DisableAutoImageDownloadBySim()
{
    CQdlSettingsKey key;
    if (key.Open())
    {
        key.QueryAutoImageDownloadBySim(m_dwAutoImageDownloadBySim);
        if (m_dwAutoImageDownloadBySim == 0)
            TbdPrintMessage(TBCT_INFO, 1, L"%s already disabled", kAutoImageDownloadBySim);
        else
            key.SetDwordValue(kAutoImageDownloadBySim, 0);
    }
    key.Close();
}

ULONG CHiddenAgent::ConnectDevice()
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::ConnectDevice");
    return m_FwImageStore.ConnectDevice();
}

ULONG CHiddenAgent::DisconnectDevice()
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::DisconnectDevice");
    return m_FwImageStore.DisconnectDevice();
}

bool CHiddenAgent::ResetModemDevice(std::wstring csFolderPath)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::ResetModemDevice");
    // The library may lack this optional entry point; then the modem cannot switch.
    if (CToviApiWrapper::m_pfnUpgradeFirmware3k == nullptr)
        return false;
    return CToviApiWrapper::m_pfnUpgradeFirmware3k(csFolderPath.c_str(), 0) == 0;
}

bool CHiddenAgent::RestoreQdlSettings()
{
    CQdlSettingsKey key;
    if (!key.Open())
    {
        key.Close();
        return false;
    }

    bool bResult = false;
    if (key.SetImageManagerParam(L""))
    {
        key.DeleteValue(kForceDownload);
        TbdPrintMessage(TBCT_INFO, 1, L"Carrier index cleared");
        bResult = true;
    }

    // Absence means enabled, so the value found at start is not written back.
    if (m_dwAutoImageDownloadBySim != 0)
    {
        key.DeleteValue(kAutoImageDownloadBySim);
        TbdPrintMessage(TBCT_INFO, 1, L"Auto downloading by SIM cleared");
    }
    else
    {
        TbdPrintMessage(TBCT_INFO, 1, L"%s orignally disabled, no need for recovery", kAutoImageDownloadBySim);
    }

    key.Close();
    return bResult;
}

bool CHiddenAgent::SaveCarrierIndex(DWORD dwCarrierIndex, DWORD dwForce)
{
    CQdlSettingsKey key;
    if (!key.Open())
        return false;
    if (!key.SetDwordValue(kCarrierIndex, dwCarrierIndex))
    {
        key.Close();
        return false;
    }
    if (dwForce != 0)
        key.SetDwordValue(kForceDownload, dwForce);
    key.Close();
    return true;
}
