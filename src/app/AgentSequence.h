#pragma once
// One run of the agent command sequence: the switches of the command line
// turned into firmware operations on the agent, with the working values that
// live for that run only.
#include <windows.h>

#include <string>

#include "app/SwitchTable.h"

class CHiddenAgent;

class CAgentSequence
{
public:
    explicit CAgentSequence(CHiddenAgent& agent);
    CAgentSequence(const CAgentSequence&) = delete;
    CAgentSequence& operator=(const CAgentSequence&) = delete;

    // Runs the sequence for a full command line (nullptr: the process's own);
    // the run's result.
    int Run(const wchar_t* pszCommandLine);

private:
    enum NextStep
    {
        CLOSING_STEP,
        NO_DOWNLOAD_CHECK,
        DOWNLOAD_PHASE
    };

    int RunWindow();
    void DeleteAllImages();
    bool ChooseUpdateMode();
    bool ReadCarrierIndex();
    NextStep Decide();
    NextStep DecideOff();
    NextStep DecideAuto();
    int CheckNoDownload();
    int Close();

    int Download();
    void DownloadAllImages();
    void StartWorker();
    void RunImageStep();
    void ActivateDownloadedImages(ULONG ulForce);
    void UpgradeToCarrier(ULONG ulForce);
    void StopWorker();
    void WaitForWorker();

    int RunGpsStep();

    bool Has(const wchar_t* pszSwitch) const;
    // The switch's first value; false when the lookup failed.
    bool ReadValue(const wchar_t* pszSwitch, std::wstring& csValue) const;
    ULONG ForceFlag() const;

    CHiddenAgent& m_agent;
    CSwitchTable m_switches;
    bool m_bGpsAuto;
    bool m_bImagesDeleted;
    std::wstring m_csUpdateMode;
    std::wstring m_csCarrierIndex;
    bool m_bHostFwNewer;
    int m_nResult;
};
