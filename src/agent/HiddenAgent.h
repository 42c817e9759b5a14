#pragma once
// The agent that carries out the silent command-line mode: its state, its
// settings in the registry, its connection to the modem and the checks that
// decide whether the modem's firmware has to change.
#include <windows.h>

#include <string>
#include <vector>

#include "modem/FwImageStore.h"
#include "platform/Handles.h"

class CImageStorePath;

class CHiddenAgent
{
public:
    CHiddenAgent();
    ~CHiddenAgent();
    CHiddenAgent(const CHiddenAgent&) = delete;
    CHiddenAgent& operator=(const CHiddenAgent&) = delete;

    // The one agent of the process, reached by callbacks that run without it.
    static CHiddenAgent* Instance() { return s_pInstance; }

    // Loads the image store and switches the automatic image download by SIM
    // off; always 0.
    ULONG Initialize();
    // The agent command sequence chosen by the switches of the process's
    // command line, or of the full command line given (program name first);
    // the run's result.
    int Execute(const wchar_t* pszCommandLine = nullptr);
    ULONG ConnectDevice();
    ULONG DisconnectDevice();
    // Has the modem switch to the images of a host folder already stored on it.
    bool ResetModemDevice(std::wstring csFolderPath);

    // Puts the registry values back for the other readers of the key.
    bool RestoreQdlSettings();
    bool SaveCarrierIndex(DWORD dwCarrierIndex, DWORD dwForce);

    // The host image folder of the carrier the modem runs now.
    bool GetCarrierIndex(std::wstring& csCarrierIndex);

    // Reads the host versions of a folder (the modem's carrier folder when
    // empty) and the modem's firmware revision.
    bool GetVersionInfo(std::wstring csFolder);
    bool IsHostFWNewer();
    bool IsFWNewer(std::wstring csFolder);
    // True when both host images of the folder are stored on the modem.
    bool IsFWExisted(std::wstring csFolder);
    bool IsImageExisted(BYTE imageType, const std::wstring& csBuildId);

    // Image operations. Each opens and closes its own connection and returns
    // the connection error, or the result of its last disconnect, except where
    // the operation says otherwise.
    // Makes a host folder's images, already downloaded, the preferred pair.
    int SetDownloadedDefaultImage(std::wstring csFolder);
    // Upgrades the modem from a named host folder.
    int SetUserDefaultImage(std::wstring csFolder, ULONG ulForce);
    // Upgrades the modem from the host folder of the carrier it runs now.
    int UpdateCurrentImage(ULONG ulForce);
    // Upgrades the modem from every host folder in turn.
    int DownloadAllImages();
    // Sets the modem's automatic GPS tracking to the number in the text.
    int EnableGpsAuto(std::wstring csValue);

    // The download status callback, on the monitor's thread: keeps the status
    // and signals m_hQdlStatusEvent.
    static void OnQdlStatusChanged(DWORD dwStatus);
    // The download phase's worker thread; it has nothing to do.
    static DWORD WINAPI WorkerThreadProc(LPVOID pAgent);

    DWORD m_dwQdlStatus;
    CHandle m_hQdlStatusEvent;
    CHandle m_hWorkerThread;
    DWORD m_dwWorkerThreadId;
    BOOL m_bAllImagesDownloaded;
    BOOL m_bStopWorker;
    CFwImageStore m_FwImageStore;
    std::wstring m_csImageFolder;
    std::wstring m_csHostModemVersion;
    std::wstring m_csHostPriVersion;
    ULONG m_ulHostPriVersionID;
    ULONG m_ulDeviceFwRevisionID;
    DWORD m_dwAutoImageDownloadBySim;

private:
    bool LoadImageStore();
    void DisableAutoImageDownloadBySim();
    void JoinWorkerThread();

    bool ReadHostModemVersion(const CImageStorePath& store);
    bool ReadHostPriVersion();
    bool ReadDeviceFwRevision();
    bool IsHostImageOnModem(const std::wstring& csImagePath);

    bool OpenConnection(ULONG& ulResult);
    static bool ListImageFolders(const std::wstring& csRoot, std::vector<std::wstring>& folders);

    static CHiddenAgent* s_pInstance;
};
