// The agent command sequence, driven in-process with a given command line
// against the simulated modem: which modem operations each set of switches
// leads to, the traces on the way, the pauses, the registry values left behind
// and the run's result.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "agent/HiddenAgent.h"
#include "app/AgentMode.h"
#include "modem/ToviApiWrapper.h"
#include "support/PauseRecorder.h"
#include "support/RegistrySnapshot.h"
#include "support/SimModem.h"
#include "support/TraceCapture.h"

namespace
{
const wchar_t* const SETTINGS_KEY = L"Software\\Velmora Inc\\QDL";
const REGSAM VIEWS[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};

const wchar_t* const REGISTERED = L"QDL status change callback registered";
const wchar_t* const REMOVED = L"QDL status change callback removed";
const wchar_t* const RESTORED = L"Carrier index cleared";
const wchar_t* const NO_MODE = L"None of -FWUPDATE, -AUTOUPDATE, or -DOWNLOADALL is provided.";
const wchar_t* const NO_CARRIER = L"No carrier index specified with -DEFAULTIMAGE option.";
const wchar_t* const FORCED = L"All images have been deleted from the modem. We need to force the image download.";
const wchar_t* const MODE_FORCE = L"-FWUPDATE FORCE. Firmware will be updated";
const wchar_t* const AUTO_NOT_NEWER = L"-FWUPDATE AUTO. Firmware will not be updated as the host firmware is not newer";
const wchar_t* const AUTO_NEWER_STORED = L"-FWUPDATE AUTO. Host FW is newer, but no FW update as FW is already on the modem.";
const wchar_t* const AUTO_NEWER = L"-FWUPDATE AUTO. Host FW is newer, FW will be updated.";
const wchar_t* const OFF_RESET = L"-FWUPDATE OFF. Modem is reset as desired firmware exists";
const wchar_t* const OFF_MISSING = L"-FWUPDATE OFF. Desired firmware doesn't exists on the modem";
const wchar_t* const DOWNLOAD_ALL = L"Down load all image.";

// The journal lines that show what a run did to the modem.
const wchar_t* const ACTION_CALLS[] = {L"UpgradeFirmware3k(", L"SetImagesPreference(", L"ResetDevice(",
                                       L"DeleteStoredImage(", L"GetStoredImages(", L"SetPortAutomaticTracking("};

// Build IDs and image lists as the simulated modem's journal writes them.
const wchar_t* const PREFER_5 = L"SetImagesPreference(72, {0:AMSS-STSUCH-F05-1575, 1:UQCN-C117-F05-3}, 0, 255, 2) = 0";
const wchar_t* const RESET = L"ResetDevice() = 0";

struct Trace
{
    int nLevel;
    std::wstring text;
};

// One row of the table, written as a chain: Case("...", L"-SWITCHES").Result(0)...
struct SequenceCase
{
    SequenceCase(const char* pszName, const wchar_t* pszArgs) : pszWhat(pszName), arguments(pszArgs) {}

    SequenceCase& Store(std::vector<int> folders) { storeFolders = folders; return *this; }
    SequenceCase& NoModem() { bModem = false; return *this; }
    SequenceCase& Setup(std::function<void(CSimModem&)> fn) { setup = fn; return *this; }
    SequenceCase& Result(int n) { nResult = n; return *this; }
    SequenceCase& Traces(std::vector<Trace> t) { traces = t; return *this; }
    SequenceCase& Absent(std::vector<std::wstring> t) { absent = t; return *this; }
    SequenceCase& Actions(std::vector<std::wstring> a) { actions = a; return *this; }
    SequenceCase& Pauses(std::vector<DWORD> p) { pauses = p; return *this; }
    SequenceCase& Restores(int n) { nRestores = n; return *this; }
    SequenceCase& CarrierIndex(long n) { nCarrierIndex = n; return *this; }
    SequenceCase& DownloadPhase() { bDownloadPhase = true; return *this; }
    SequenceCase& StopsWorker() { bStopWorker = true; return *this; }
    SequenceCase& ImageFolder(int n) { nImageFolder = n; return *this; }

    const char* pszWhat;
    std::wstring arguments;
    std::vector<int> storeFolders;  // empty: all sample folders
    bool bModem = true;             // a modem running folder 6
    std::function<void(CSimModem&)> setup;
    int nResult = 0;
    std::vector<Trace> traces;      // in this order, at these levels
    std::vector<std::wstring> absent;
    std::vector<std::wstring> actions;  // "<root>" stands for the image store root
    std::vector<DWORD> pauses;
    int nRestores = 0;              // RestoreQdlSettings calls
    long nCarrierIndex = -1;        // "CarrierIndex" afterwards; -1: absent
    bool bDownloadPhase = false;
    bool bStopWorker = false;
    int nImageFolder = -1;          // the folder m_csImageFolder names afterwards; -1: not checked
};

typedef SequenceCase Case;

void PrintTo(const SequenceCase& c, std::ostream* os)
{
    *os << c.pszWhat;
}

// A host folder holding a copy of a sample folder's images under another name.
void CopySampleFolder(CSimModem& sim, int nSample, const std::wstring& name)
{
    const std::wstring folder = sim.StoreRoot() + L"\\" + name;
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const SampleFolder sample = DescribeSampleFolder(nSample, 1575, 3);
    for (const std::wstring& file : {std::wstring(L"AMSS.mbn"), sample.pri.fileName})
        ASSERT_TRUE(::CopyFileW((sim.FolderPath(nSample) + L"\\" + file).c_str(), (folder + L"\\" + file).c_str(), FALSE));
}

void StoreFolder3(CSimModem& sim)
{
    ASSERT_EQ(0u, sim.StoreFolder(L"3"));
}

// The file system lists the folders of a download-all in an order of its own.
void SortUpgradeRuns(std::vector<std::wstring>& actions)
{
    const std::wstring upgrade = L"UpgradeFirmware3k(";
    auto isUpgrade = [&](const std::wstring& line) { return line.compare(0, upgrade.size(), upgrade) == 0; };
    for (auto it = actions.begin(); it != actions.end();)
    {
        auto end = std::find_if_not(it, actions.end(), isUpgrade);
        std::sort(it, end);
        it = (end == it) ? it + 1 : end;
    }
}

std::vector<std::wstring> Actions(const CSimModem& sim)
{
    std::vector<std::wstring> actions;
    for (std::wstring line : sim.Journal())
    {
        bool bAction = false;
        for (const wchar_t* call : ACTION_CALLS)
            bAction = bAction || line.compare(0, wcslen(call), call) == 0;
        if (!bAction)
            continue;
        for (size_t pos; (pos = line.find(sim.StoreRoot())) != std::wstring::npos;)
            line.replace(pos, sim.StoreRoot().size(), L"<root>");
        actions.push_back(line);
    }
    SortUpgradeRuns(actions);
    return actions;
}

// The same value in both registry views, or -1 when absent from both.
long DwordInBothViews(const wchar_t* name)
{
    DWORD values[2] = {};
    bool found[2] = {};
    for (int i = 0; i < 2; ++i)
        found[i] = TestRegistry::GetDword(HKEY_LOCAL_MACHINE, SETTINGS_KEY, VIEWS[i], name, values[i]);
    EXPECT_EQ(found[0], found[1]) << "views differ for " << ::testing::PrintToString(name);
    EXPECT_EQ(values[0], values[1]) << "views differ for " << ::testing::PrintToString(name);
    return found[0] ? (long)values[0] : -1;
}

class AgentSequenceTest : public ::testing::TestWithParam<SequenceCase>
{
protected:
    void ExpectTracesInOrder(const std::vector<Trace>& traces)
    {
        int nFrom = m_trace.IndexOf(L"+ CHiddenAgent::Execute");
        ASSERT_GE(nFrom, 0);
        for (const Trace& t : traces)
        {
            int nAt = m_trace.IndexOf(t.text, nFrom + 1);
            EXPECT_GT(nAt, nFrom) << "not traced in order: " << ::testing::PrintToString(t.text);
            const std::vector<std::wstring> atLevel = m_trace.TextsAtLevel(t.nLevel);
            EXPECT_NE(atLevel.end(), std::find(atLevel.begin(), atLevel.end(), t.text))
                << "not at level " << t.nLevel << ": " << ::testing::PrintToString(t.text);
            if (nAt > nFrom)
                nFrom = nAt;
        }
        // The scope trace closes after everything the run traced, on every way out.
        const std::vector<std::wstring> texts = m_trace.Texts();
        auto end = std::find_if(texts.begin(), texts.end(), [](const std::wstring& text) {
            return text.compare(0, 25, L"- CHiddenAgent::Execute (") == 0;
        });
        ASSERT_NE(texts.end(), end);
        EXPECT_GT(end - texts.begin(), nFrom);
    }

    CTraceCapture m_trace;
};

TEST_P(AgentSequenceTest, CarriesOutTheSwitches)
{
    const SequenceCase& c = GetParam();
    SampleStoreOptions options;
    options.folders = c.storeFolders;
    CSimModem sim(options);
    ASSERT_TRUE(sim.Loaded());
    if (c.bModem)
    {
        ASSERT_EQ(0u, sim.Create(L"6"));
        // Back at once after each reset, so the only pauses are the sequence's own.
        ASSERT_EQ(0u, sim.SetResetDelay(0));
    }
    if (c.setup)
        c.setup(sim);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
    CRegistrySnapshot settings32(HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_32KEY);
    CRegistrySnapshot settings64(HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_64KEY);
    for (REGSAM view : VIEWS)
        ASSERT_TRUE(TestRegistry::CreateKey(HKEY_LOCAL_MACHINE, SETTINGS_KEY, view));
    CPauseRecorder pauses;

    ASSERT_TRUE(CToviApiWrapper::Initialize());
    {
        CHiddenAgent agent;
        ASSERT_EQ(0u, agent.Initialize());
        ASSERT_EQ(c.bModem, agent.m_FwImageStore.m_bInitialized != 0);
        ASSERT_EQ(0, DwordInBothViews(L"AutoImageDownloadbySIM"));
        sim.ClearJournal();
        const size_t nPausesBefore = pauses.Pauses().size();

        EXPECT_EQ(c.nResult, agent.Execute((L"ToviImgMgr.exe " + c.arguments).c_str()));

        EXPECT_EQ(c.pauses, std::vector<DWORD>(pauses.Pauses().begin() + nPausesBefore, pauses.Pauses().end()));
        EXPECT_EQ(c.bStopWorker, agent.m_bStopWorker != 0);
        // A failed image change signals the agent's event; nothing else does in-process.
        EXPECT_EQ(c.bStopWorker ? WAIT_OBJECT_0 : (DWORD)WAIT_TIMEOUT,
                  ::WaitForSingleObject(agent.m_hQdlStatusEvent.get(), 0));
        if (c.nImageFolder >= 0)
        {
            EXPECT_EQ(sim.FolderPath(c.nImageFolder), agent.m_csImageFolder);
        }
        if (c.bDownloadPhase)
        {
            // The worker ended by itself, long before the time limit.
            ASSERT_TRUE(agent.m_hWorkerThread.valid());
            EXPECT_NE(0u, agent.m_dwWorkerThreadId);
            EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(agent.m_hWorkerThread.get(), 0));
            DWORD dwExitCode = 99;
            EXPECT_TRUE(::GetExitCodeThread(agent.m_hWorkerThread.get(), &dwExitCode));
            EXPECT_EQ(0u, dwExitCode);
        }
        else
        {
            EXPECT_FALSE(agent.m_hWorkerThread.valid());
        }
    }
    EXPECT_FALSE(CToviApiWrapper::m_bLoaded);

    EXPECT_EQ(c.actions, Actions(sim));

    ExpectTracesInOrder(c.traces);
    EXPECT_EQ(c.bDownloadPhase ? 1 : 0, m_trace.Count(REGISTERED));
    EXPECT_EQ(c.bDownloadPhase ? 1 : 0, m_trace.Count(REMOVED));
    if (c.bDownloadPhase)
        ExpectTracesInOrder({{1, REGISTERED}, {1, REMOVED}});
    for (const std::wstring& text : c.absent)
        EXPECT_EQ(0, m_trace.Count(text)) << ::testing::PrintToString(text);

    // The settings left for the key's other readers.
    EXPECT_EQ(c.nRestores, m_trace.Count(RESTORED));
    EXPECT_EQ(c.nRestores > 0 ? -1 : 0, DwordInBothViews(L"AutoImageDownloadbySIM"));
    for (REGSAM view : VIEWS)
    {
        std::wstring param = L"?";
        EXPECT_EQ(c.nRestores > 0,
                  TestRegistry::GetString(HKEY_LOCAL_MACHINE, SETTINGS_KEY, view, L"ImageManagerParam", param));
        EXPECT_EQ(c.nRestores > 0 ? L"" : L"?", param);
    }
    EXPECT_EQ(c.nCarrierIndex, DwordInBothViews(L"CarrierIndex"));
    EXPECT_EQ(-1, DwordInBothViews(L"ForceDownload"));
}

const std::vector<int> DOWNLOAD_STORE = {3, 5, 6};
const std::vector<std::wstring> DOWNLOAD_ALL_UPGRADES = {L"UpgradeFirmware3k(<root>\\3, 0) = 0",
                                                         L"UpgradeFirmware3k(<root>\\5, 0) = 0",
                                                         L"UpgradeFirmware3k(<root>\\6, 0) = 0"};

std::vector<std::wstring> Join(std::vector<std::wstring> first, const std::vector<std::wstring>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// With folder 3's images stored beside the running folder 6's, a delete-all
// removes folder 3's and is refused for the running pair's.
const std::vector<std::wstring> DELETE_ALL = {
    L"DeleteStoredImage(33, 1:UQCN-C001-F06-3) = 170", L"DeleteStoredImage(33, 1:UQCN-C102-F03-3) = 0",
    L"DeleteStoredImage(38, 0:AMSS-STSUGN-F06-1575) = 170", L"DeleteStoredImage(38, 0:AMSS-STAUSH-F03-1575) = 0",
    L"GetStoredImages(2560) = 0"};

INSTANTIATE_TEST_SUITE_P(
    Switches, AgentSequenceTest,
    ::testing::Values(
        Case("PlainWordOnly", L"hello").Traces({{1, L"No switches were given on the command line"}}),
        Case("GpsAutoAlone", L"-GPSAUTO 1").Traces({{3, NO_MODE}}),
        Case("DeleteAllAlone", L"-DELETEALLIMAGES 1").Setup(StoreFolder3).Actions(DELETE_ALL).Traces({{3, NO_MODE}}),
        Case("DeleteAllForcesDownload", L"-DELETEALLIMAGES 1 -FWUPDATE AUTO -DEFAULTIMAGE 3")
            .Setup(StoreFolder3)
            .Actions(Join(DELETE_ALL, {L"UpgradeFirmware3k(<root>\\3, 1) = 0"}))
            .Traces({{1, FORCED}, {1, MODE_FORCE}})
            .DownloadPhase()
            .Restores(1),
        Case("DeleteValueNotOne", L"-DELETEALLIMAGES 0 -FWUPDATE AUTO")
            .Setup(StoreFolder3)
            .Traces({{1, AUTO_NOT_NEWER}})
            .Absent({FORCED})
            .Restores(1),
        Case("DeleteWithoutValue", L"-DELETEALLIMAGES -FWUPDATE AUTO")
            .Setup(StoreFolder3)
            .Traces({{1, AUTO_NOT_NEWER}})
            .Absent({FORCED, L"No parameter specified with -DELETEALLIMAGES command, treated as NO DELETE."})
            .Restores(1),
        Case("DeleteAllKeepsModeOff", L"-DELETEALLIMAGES 1 -FWUPDATE OFF")
            .Setup(StoreFolder3)
            .Actions(DELETE_ALL)
            .Traces({{1, OFF_MISSING}})
            .Absent({FORCED})
            .Restores(1),
        Case("DeleteAllWithoutStore", L"-DELETEALLIMAGES 1 -FWUPDATE OFF")
            .NoModem()
            .Traces({{3, L"FwImageStore is un-initialized"}, {1, OFF_MISSING}})
            .Absent({FORCED})
            .Restores(1),
        Case("OffIgnoresDownloadAll", L"-FWUPDATE OFF -DOWNLOADALL")
            .Store(DOWNLOAD_STORE)
            .Traces({{1, OFF_MISSING}})
            .Absent({DOWNLOAD_ALL})
            .Restores(1),
        Case("DownloadAllAlone", L"-DOWNLOADALL")
            .Store(DOWNLOAD_STORE)
            .Actions(DOWNLOAD_ALL_UPGRADES)
            .Pauses({30000, 30000, 30000})
            .Traces({{1, DOWNLOAD_ALL}, {1, RESTORED}})
            .DownloadPhase()
            .Restores(1),
        Case("DownloadAllFails", L"-DOWNLOADALL")
            .Store(DOWNLOAD_STORE)
            .Setup([](CSimModem& sim) { sim.SetFault("GetImageStoreW", 5); })
            .Result(5)
            .Traces({{3, L"DownloadAllImages failed: 5"}, {1, RESTORED}, {1, REGISTERED}})
            .DownloadPhase()
            .Restores(1),
        Case("GpsAfterDownloadPhase", L"-DOWNLOADALL -GPSAUTO 1")
            .Store(DOWNLOAD_STORE)
            .Setup([](CSimModem& sim) { sim.SetFault("GetImageStoreW", 5); })
            .Actions({L"SetPortAutomaticTracking(1) = 0"})
            .Pauses({30000})
            .Result(0)  // EnableGpsAuto's, not the 5 of DownloadAllImages
            .Traces({{3, L"DownloadAllImages failed: 5"},
                     {1, REMOVED},
                     {1, L"Sleep 30s before EnableGpsAuto"},
                     {2, L"+ CHiddenAgent::EnableGpsAuto"},
                     {1, L"SetPortAutomaticTracking succeeded with 1"}})
            .DownloadPhase()
            .Restores(1),
        Case("AutoNotNewerStillDownloadsAll", L"-FWUPDATE AUTO -DOWNLOADALL")
            .Store(DOWNLOAD_STORE)
            .Actions(Join(DOWNLOAD_ALL_UPGRADES, {L"UpgradeFirmware3k(<root>\\6, 0) = 0"}))
            .Pauses({30000, 30000, 30000})
            .Traces({{1, AUTO_NOT_NEWER}, {1, RESTORED}, {1, REGISTERED}, {1, RESTORED}, {1, REMOVED}})
            .Absent({DOWNLOAD_ALL})
            .DownloadPhase()
            .Restores(2),
        Case("DownloadAllThenDefault", L"-DOWNLOADALL -DEFAULTIMAGE 5")
            .Store(DOWNLOAD_STORE)
            .Actions(Join(DOWNLOAD_ALL_UPGRADES, {PREFER_5, RESET}))
            .Pauses({30000, 30000, 30000})
            .Traces({{1, RESTORED},
                     {1, REGISTERED},
                     {1, L"Set CarrierIndex - 5 in 64-bit registry view"},
                     {1, RESTORED},
                     {1, REMOVED}})
            .Absent({L"Set ForceDownload - 1 in 64-bit registry view"})
            .DownloadPhase()
            .Restores(2)
            .CarrierIndex(5),
        Case("DownloadAllThenForcedDefault", L"-DOWNLOADALL -FWUPDATE FORCE -DEFAULTIMAGE 5")
            .Store(DOWNLOAD_STORE)
            .Actions(Join(DOWNLOAD_ALL_UPGRADES, {PREFER_5, RESET}))
            .Pauses({30000, 30000, 30000})
            .Traces({{1, MODE_FORCE},
                     {1, L"Set CarrierIndex - 5 in 64-bit registry view"},
                     {1, L"Set ForceDownload - 1 in 64-bit registry view"},
                     {1, L"Registry value deleted: ForceDownload in 64-bit registry view"}})
            .DownloadPhase()
            .Restores(2)
            .CarrierIndex(5),
        Case("DownloadAllThenDefault65535", L"-DOWNLOADALL -DEFAULTIMAGE 65535")
            .Store(DOWNLOAD_STORE)
            .Setup([](CSimModem& sim) { CopySampleFolder(sim, 5, L"65535"); })
            .Actions(Join(Join(DOWNLOAD_ALL_UPGRADES, {L"UpgradeFirmware3k(<root>\\65535, 0) = 0"}), {PREFER_5, RESET}))
            .Pauses({30000, 30000, 30000, 30000})
            .Absent({L"Set CarrierIndex - 65535 in 64-bit registry view"})
            .DownloadPhase()
            .Restores(2),
        Case("DownloadAllThenDefaultNotANumber", L"-DOWNLOADALL -DEFAULTIMAGE abc")
            .Store(DOWNLOAD_STORE)
            .Setup([](CSimModem& sim) { CopySampleFolder(sim, 5, L"abc"); })
            .Actions(Join(Join(DOWNLOAD_ALL_UPGRADES, {L"UpgradeFirmware3k(<root>\\abc, 0) = 0"}), {PREFER_5, RESET}))
            .Pauses({30000, 30000, 30000, 30000})
            .DownloadPhase()
            .Restores(2)
            .CarrierIndex(0),
        Case("DownloadedDefaultFails", L"-DOWNLOADALL -DEFAULTIMAGE 5")
            .Store(DOWNLOAD_STORE)
            .Setup([](CSimModem& sim) { sim.SetFault("GetImageIDs", 87); })
            .Actions(DOWNLOAD_ALL_UPGRADES)
            .Pauses({30000, 30000, 30000})
            .Result(87)
            .Traces({{1, RESTORED}, {1, REGISTERED}, {3, L"SetDownloadedDefaultImage failed: 87"}, {1, REMOVED}})
            .DownloadPhase()
            .StopsWorker()
            .Restores(1),
        Case("AutoNewerAlreadyStored", L"-FWUPDATE AUTO -DEFAULTIMAGE 3")
            .Setup(StoreFolder3)
            .Actions({L"UpgradeFirmware3k(<root>\\3, 0) = 0"})
            .Traces({{1, AUTO_NEWER_STORED}, {1, RESTORED}})
            .Restores(1)
            .ImageFolder(3),
        Case("AutoNewerNotStored", L"-FWUPDATE AUTO -DEFAULTIMAGE 3")
            .Actions({L"UpgradeFirmware3k(<root>\\3, 0) = 0"})
            .Traces({{1, AUTO_NEWER}})
            .DownloadPhase()
            .Restores(1),
        Case("AutoModeByDefaultForOtherCase", L"-FWUPDATE off -DEFAULTIMAGE 3")
            .Actions({L"UpgradeFirmware3k(<root>\\3, 0) = 0"})
            .Traces({{1, AUTO_NEWER}})
            .DownloadPhase()
            .Restores(1),
        Case("AutoModeByDefaultWithoutValue", L"-FWUPDATE -DEFAULTIMAGE 3")
            .Actions({L"UpgradeFirmware3k(<root>\\3, 0) = 0"})
            .Traces({{1, AUTO_NEWER}})
            .DownloadPhase()
            .Restores(1),
        Case("AutoNotNewerThenGps", L"-FWUPDATE AUTO -GPSAUTO 1")
            .Setup([](CSimModem& sim) { sim.SetFault("QCWWANDisconnect", 1167); })
            .Actions({L"SetPortAutomaticTracking(1) = 0"})
            .Pauses({30000})
            .Result(1167)  // EnableGpsAuto's, from its closing disconnect
            .Traces({{1, AUTO_NOT_NEWER}, {1, RESTORED}, {1, L"Sleep 30s before EnableGpsAuto"}})
            .Restores(1),
        Case("OffResetsToStoredFolderThenGps", L"-FWUPDATE OFF -DEFAULTIMAGE 3 -GPSAUTO 1")
            .Setup(StoreFolder3)
            .Actions({L"UpgradeFirmware3k(<root>\\3, 0) = 0", L"SetPortAutomaticTracking(1) = 0"})
            .Pauses({2000})
            .Traces({{1, OFF_RESET}, {1, RESTORED}, {1, L"Sleep 2s before EnableGpsAuto"}})
            .Restores(1)
            .ImageFolder(3),
        Case("OffFolderNotStored", L"-FWUPDATE OFF -DEFAULTIMAGE 3").Traces({{1, OFF_MISSING}}).Restores(1),
        Case("AutoUpdateAsksAboutRunningCarrier", L"-AUTOUPDATE -DEFAULTIMAGE 3")
            .Setup([](CSimModem& sim) {
                SampleStoreOptions newer;
                newer.modemVersion = 1600;
                newer.folders = {6};
                ASSERT_TRUE(sim.WriteStore(newer));
            })
            .Actions({L"UpgradeFirmware3k(<root>\\3, 0) = 0"})
            .DownloadPhase()
            .Restores(1)
            .ImageFolder(6),
        Case("AutoUpdateNotNewer", L"-AUTOUPDATE -DEFAULTIMAGE 3").Restores(1).ImageFolder(6),
        Case("ForceWithAutoUpdateUpdatesRunningCarrier", L"-FWUPDATE FORCE -AUTOUPDATE")
            .Actions({L"UpgradeFirmware3k(<root>\\6, 0) = 0"})
            .Traces({{1, MODE_FORCE}})
            .DownloadPhase(),
        Case("ForceUpdatesRunningCarrier", L"-FWUPDATE FORCE")
            .Actions({L"UpgradeFirmware3k(<root>\\6, 1) = 0"})
            .Traces({{1, MODE_FORCE}, {1, REGISTERED}, {1, RESTORED}, {1, REMOVED}})
            .DownloadPhase()
            .Restores(1),
        Case("FailedForcedUpdateRestoresNothing", L"-FWUPDATE FORCE")
            .Setup([](CSimModem& sim) { sim.SetFault("QCWWANDisconnect", 1167); })
            .Actions({L"UpgradeFirmware3k(<root>\\6, 1) = 0"})
            .Result(1167)
            .Traces({{1, MODE_FORCE}})
            .DownloadPhase(),
        Case("FailedImageChangeStopsWorker", L"-FWUPDATE FORCE -DEFAULTIMAGE 3")
            .Setup([](CSimModem& sim) { sim.SetFault("QCWWANDisconnect", 1167); })
            .Actions({L"UpgradeFirmware3k(<root>\\3, 1) = 0"})
            .Result(1167)
            .Traces({{1, MODE_FORCE}})
            .DownloadPhase()
            .StopsWorker(),
        Case("DefaultImageWithoutValue", L"-FWUPDATE AUTO -DEFAULTIMAGE").Traces({{3, NO_CARRIER}}),
        Case("DefaultImageBeforeSwitch", L"-FWUPDATE AUTO -DEFAULTIMAGE -GPSAUTO 1")
            .Traces({{3, NO_CARRIER}})
            .Absent({L"Sleep 30s before EnableGpsAuto"})),
    [](const ::testing::TestParamInfo<SequenceCase>& info) { return std::string(info.param.pszWhat); });

TEST(AgentStatusCallback, KeepsTheStatusAndSignalsTheAgent)
{
    {
        CHiddenAgent agent;
        ASSERT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(agent.m_hQdlStatusEvent.get(), 0));

        CHiddenAgent::OnQdlStatusChanged(4);

        EXPECT_EQ(4u, agent.m_dwQdlStatus);
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(agent.m_hQdlStatusEvent.get(), 0));
        EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(agent.m_hQdlStatusEvent.get(), 0)) << "auto-reset";
    }
    // A late notification finds no agent and touches nothing.
    ASSERT_EQ(nullptr, CHiddenAgent::Instance());
    CHiddenAgent::OnQdlStatusChanged(5);
}

TEST(AgentModeEntry, RunsTheSequenceOnAnInitialisedAgentAndUnloadsTheLibrary)
{
    CSimModem sim;
    ASSERT_TRUE(sim.Loaded());
    ASSERT_EQ(0u, sim.Create(L"6"));
    CRegistrySnapshot settings32(HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_32KEY);
    CRegistrySnapshot settings64(HKEY_LOCAL_MACHINE, SETTINGS_KEY, KEY_WOW64_64KEY);
    CPauseRecorder pauses;
    CTraceCapture trace;
    sim.ClearJournal();

    RunAgentMode(L"ToviImgMgr.exe -FWUPDATE FORCE -DEFAULTIMAGE 3");

    EXPECT_EQ(std::vector<std::wstring>{L"UpgradeFirmware3k(" + sim.FolderPath(3) + L", 1) = 0"},
              sim.JournalCalls(L"UpgradeFirmware3k("));
    EXPECT_EQ(sim.PreferredBuildId(0), "AMSS-STAUSH-F03-1575");
    int nInitialize = trace.IndexOf(L"+ CHiddentAgent::Initialize");
    EXPECT_GE(nInitialize, 0);
    EXPECT_GT(trace.IndexOf(L"+ CHiddenAgent::Execute"), nInitialize);
    EXPECT_EQ(0, trace.Count(L"Failed to initialize HiddenAgent"));
    EXPECT_FALSE(CToviApiWrapper::m_bLoaded);
    EXPECT_EQ(nullptr, CHiddenAgent::Instance());
}
}  // namespace
