// The agent operations that change what the modem runs, against the simulated
// modem and host image stores made for each case.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "agent/HiddenAgent.h"
#include "modem/ToviApiWrapper.h"
#include "platform/Pause.h"
#include "support/SimModem.h"
#include "support/TraceCapture.h"

namespace
{
// A pause that records its duration and runs the test's hook, so a case can
// change the modem between two folders of DownloadAllImages.
std::vector<DWORD> g_pauses;
std::function<void()> g_onPause;

void HookedPause(DWORD dwMilliseconds)
{
    g_pauses.push_back(dwMilliseconds);
    if (g_onPause)
        g_onPause();
}

typedef ULONG(WINAPI* PFN_SimCreateEmptyModem)(LPCWSTR, ULONG);

class AgentImageOpsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_pauses.clear();
        g_onPause = nullptr;
        m_pfnPreviousPause = ToviSetPauseFunction(HookedPause);
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        ASSERT_TRUE(CToviApiWrapper::Initialize());
        m_pAgent.reset(new CHiddenAgent);
        m_sim.ClearJournal();
    }

    void TearDown() override
    {
        m_pAgent.reset();
        g_onPause = nullptr;
        ToviSetPauseFunction(m_pfnPreviousPause);
    }

    // A modem whose image store root is a folder of the test's own, holding
    // sample folders with the given names and a plain file.
    std::wstring UseRootWithFolders(const std::vector<std::wstring>& names, const std::wstring& rootSuffix = L"")
    {
        const std::wstring root = m_sim.MakeTempFolder(L"root");
        for (const std::wstring& name : names)
        {
            const std::wstring folder = root + L"\\" + name;
            EXPECT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
            const SampleFolder sample = DescribeSampleFolder(_wtoi(name.c_str()) % 17, 1575, 3);
            EXPECT_TRUE(::CopyFileW((m_sim.FolderPath(sample.folder) + L"\\AMSS.mbn").c_str(),
                                    (folder + L"\\AMSS.mbn").c_str(), FALSE));
            EXPECT_TRUE(::CopyFileW((m_sim.FolderPath(sample.folder) + L"\\" + sample.pri.fileName).c_str(),
                                    (folder + L"\\" + sample.pri.fileName).c_str(), FALSE));
        }
        EXPECT_TRUE(WriteRawFile(root + L"\\readme.txt", {'h', 'i'}));
        auto pfnCreate = reinterpret_cast<PFN_SimCreateEmptyModem>(m_sim.Proc("SimCreateEmptyModem"));
        EXPECT_NE(nullptr, pfnCreate);
        EXPECT_EQ(0u, pfnCreate((root + rootSuffix).c_str(), 8));
        // Back at once after each upgrade: the only pauses are the operation's own.
        EXPECT_EQ(0u, m_sim.SetResetDelay(0));
        m_sim.ClearJournal();
        return root;
    }

    std::vector<std::wstring> UpgradedFolders() const
    {
        std::vector<std::wstring> folders;
        for (const std::wstring& call : m_sim.JournalCalls(L"UpgradeFirmware3k("))
        {
            const size_t open = call.find(L'(');
            const size_t comma = call.rfind(L", ", call.find(L')'));
            folders.push_back(call.substr(open + 1, comma - open - 1));
        }
        return folders;
    }

    bool Connected() const { return m_pAgent->m_FwImageStore.m_bConnectedToDevice; }

    TOVI_PAUSE_FUNCTION m_pfnPreviousPause = nullptr;
    CSimModem m_sim;
    CTraceCapture m_trace;
    std::unique_ptr<CHiddenAgent> m_pAgent;
};

TEST_F(AgentImageOpsTest, DownloadAllUpgradesEveryFolderAndPausesAfterEach)
{
    const std::wstring root = UseRootWithFolders({L"1", L"3", L"7"});
    // The modem restarts during each pause: it must already be let go.
    std::vector<std::wstring> lastCallBeforePause;
    g_onPause = [&] {
        const std::vector<std::wstring> journal = m_sim.Journal();
        lastCallBeforePause.push_back(journal.empty() ? L"" : journal.back());
        EXPECT_FALSE(Connected());
    };

    EXPECT_EQ(0, m_pAgent->DownloadAllImages());

    EXPECT_EQ(std::vector<std::wstring>(3, L"QCWWANDisconnect() = 0"), lastCallBeforePause);

    EXPECT_TRUE(m_trace.Contains(L"Number of folders found: 3"));
    std::vector<std::wstring> folders = UpgradedFolders();
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ((std::vector<std::wstring>{root + L"\\1", root + L"\\3", root + L"\\7"}), folders);
    EXPECT_EQ((std::vector<DWORD>{30000, 30000, 30000}), g_pauses);
    for (const std::wstring& folder : folders)
        EXPECT_EQ(1, m_trace.Count(L"UpgradeFirmware3k succeed for " + folder));
    EXPECT_FALSE(Connected());
}

TEST_F(AgentImageOpsTest, DownloadAllWithTrailingBackslashGivesSingleSeparators)
{
    const std::wstring root = UseRootWithFolders({L"2"}, L"\\\\");

    EXPECT_EQ(0, m_pAgent->DownloadAllImages());

    EXPECT_EQ(std::vector<std::wstring>{root + L"\\2"}, UpgradedFolders());
    EXPECT_TRUE(m_trace.Contains(L"Updating: " + root + L"\\2"));
}

TEST_F(AgentImageOpsTest, DownloadAllWithoutFoldersReturns18)
{
    UseRootWithFolders({});

    EXPECT_EQ(18, m_pAgent->DownloadAllImages());

    EXPECT_TRUE(m_trace.Contains(L"Number of folders found: 0"));
    EXPECT_TRUE(UpgradedFolders().empty());
    EXPECT_TRUE(g_pauses.empty());
}

TEST_F(AgentImageOpsTest, DownloadAllOfARootThatCannotBeListedReturns18)
{
    const std::wstring root = m_sim.MakeTempFolder(L"gone");
    ASSERT_TRUE(::RemoveDirectoryW(root.c_str()));
    auto pfnCreate = reinterpret_cast<PFN_SimCreateEmptyModem>(m_sim.Proc("SimCreateEmptyModem"));
    ASSERT_NE(nullptr, pfnCreate);
    ASSERT_EQ(0u, pfnCreate(root.c_str(), 8));
    m_sim.ClearJournal();

    EXPECT_EQ(18, m_pAgent->DownloadAllImages());

    EXPECT_EQ(std::vector<std::wstring>{L"FindFirstFileEx failed: " + std::to_wstring(ERROR_PATH_NOT_FOUND)},
              m_trace.TextsAtLevel(3));
    EXPECT_FALSE(m_trace.Contains(L"Number of folders found: 0"));
    // Listed while disconnected, and the modem is not touched again.
    EXPECT_EQ(L"QCWWANDisconnect() = 0", m_sim.Journal().back());
    EXPECT_TRUE(UpgradedFolders().empty());
    EXPECT_TRUE(g_pauses.empty());
}

TEST_F(AgentImageOpsTest, DownloadAllGoesOnAfterAFailedUpgrade)
{
    const std::wstring root = UseRootWithFolders({L"1", L"3", L"7"});
    // The upgrade after the first pause, that is of the second folder, fails.
    g_onPause = [this] {
        if (g_pauses.size() == 1)
            m_sim.SetFault("UpgradeFirmware3k", 1117, 1);
    };

    EXPECT_EQ(0, m_pAgent->DownloadAllImages()) << "the last disconnect decides";

    const std::vector<std::wstring> folders = UpgradedFolders();
    ASSERT_EQ(3u, folders.size());
    EXPECT_TRUE(m_trace.Contains(L"UpgradeFirmware3k failed: 1117 for " + folders[1]));
    EXPECT_TRUE(m_trace.Contains(L"UpgradeFirmware3k succeed for " + folders[2]));
    EXPECT_EQ(3u, g_pauses.size());
}

TEST_F(AgentImageOpsTest, DownloadAllStopsWhenTheModemCannotBeConnected)
{
    UseRootWithFolders({L"1", L"3", L"7"});
    g_onPause = [this] { m_sim.SetFault("QCWWANConnect", 21, TOVISIM_ALWAYS); };

    EXPECT_EQ(21, m_pAgent->DownloadAllImages());

    EXPECT_EQ(1u, UpgradedFolders().size());
    // One line from the store, one from the operation.
    EXPECT_EQ(2, m_trace.Count(L"QCWWANConnect error: 21"));
    EXPECT_EQ(1u, g_pauses.size());
}

TEST_F(AgentImageOpsTest, DownloadAllKeepsTheConnectionWhenTheRootIsUnknown)
{
    m_sim.SetFault("GetImageStoreW", 3, 1);

    EXPECT_EQ(3, m_pAgent->DownloadAllImages());

    EXPECT_TRUE(Connected());
    EXPECT_TRUE(m_trace.Contains(L"GetImageStoreW failed: 3"));
}

TEST_F(AgentImageOpsTest, ConnectionErrorEndsEveryOperationAtOnce)
{
    const std::vector<std::function<int()>> operations = {
        [this] { return m_pAgent->SetDownloadedDefaultImage(L"3"); },
        [this] { return m_pAgent->SetUserDefaultImage(L"3", 0); },
        [this] { return m_pAgent->UpdateCurrentImage(0); },
        [this] { return m_pAgent->DownloadAllImages(); },
        [this] { return m_pAgent->EnableGpsAuto(L"1"); },
    };
    for (size_t i = 0; i < operations.size(); ++i)
    {
        SCOPED_TRACE(i);
        m_sim.SetFault("QCWWANConnect", 21, 1);
        m_sim.ClearJournal();
        EXPECT_EQ(21, operations[i]());
        EXPECT_EQ(std::vector<std::wstring>{L"QCWWANConnect() = 21"}, m_sim.Journal());
    }
    // Each failure is traced by the store and again by the operation.
    EXPECT_EQ(2 * (int)operations.size(), m_trace.Count(L"QCWWANConnect error: 21"));
}

TEST_F(AgentImageOpsTest, SetDownloadedDefaultImageMakesAStoredFolderPreferred)
{
    ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
    const SampleFolder three = DescribeSampleFolder(3, 1575, 3);

    EXPECT_EQ(0, m_pAgent->SetDownloadedDefaultImage(L"3"));

    EXPECT_EQ(three.modem.buildId, m_sim.PreferredBuildId(0));
    EXPECT_EQ(three.pri.buildId, m_sim.PreferredBuildId(1));
    EXPECT_EQ(1u, m_sim.JournalCalls(L"ResetDevice(").size());
    EXPECT_TRUE(m_trace.Contains(L"Set Image preference to: " + m_sim.FolderPath(3)));
    const std::vector<std::wstring> detail = m_trace.TextsAtLevel(0);
    EXPECT_NE(detail.end(), std::find(detail.begin(), detail.end(),
                                      L"Set images to be Prefered images from " + m_sim.FolderPath(3) + L"."));
    EXPECT_NE(detail.end(),
              std::find(detail.begin(), detail.end(), L"Result: 0  Number of images need to be downloaded: 0"));
    EXPECT_FALSE(Connected());
}

TEST_F(AgentImageOpsTest, SetDownloadedDefaultImageReturnsTheListErrorAndStaysConnected)
{
    m_sim.SetFault("GetImageIDs", 31, 1);

    EXPECT_EQ(31, m_pAgent->SetDownloadedDefaultImage(L"3"));

    EXPECT_TRUE(m_trace.Contains(L"GetImageIDs Failed."));
    EXPECT_TRUE(Connected());
    EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANDisconnect(").empty());
    EXPECT_TRUE(m_sim.JournalCalls(L"SetImagesPreference(").empty());
}

TEST_F(AgentImageOpsTest, SetDownloadedDefaultImageRefusesAListLongerThanItsBuffer)
{
    // The library claims more bytes than the 256-byte list it was given.
    std::vector<BYTE> list(300, 0);
    m_sim.SetRawList("GetImageIDs", list, 1);

    EXPECT_NE(0, m_pAgent->SetDownloadedDefaultImage(L"3"));

    EXPECT_TRUE(m_trace.Contains(L"GetImageIDs Failed."));
    EXPECT_TRUE(m_sim.JournalCalls(L"SetImagesPreference(").empty());
}

TEST_F(AgentImageOpsTest, SetDownloadedDefaultImageOfMissingImagesLeavesThePreference)
{
    // Folder 3's images are not on the modem: both are still to be downloaded.
    EXPECT_EQ(0, m_pAgent->SetDownloadedDefaultImage(L"3"));

    const std::vector<std::wstring> detail = m_trace.TextsAtLevel(0);
    EXPECT_NE(detail.end(),
              std::find(detail.begin(), detail.end(), L"Result: 0  Number of images need to be downloaded: 2"));
    EXPECT_EQ(DescribeSampleFolder(6, 1575, 3).pri.buildId, m_sim.PreferredBuildId(1));
}

TEST_F(AgentImageOpsTest, SetDownloadedDefaultImageWhosePreferenceFailsDoesNotReset)
{
    m_sim.SetFault("SetImagesPreference", 87, 1);

    EXPECT_EQ(0, m_pAgent->SetDownloadedDefaultImage(L"3"));

    EXPECT_TRUE(m_trace.Contains(L"SetImagesPreference Failed with 87."));
    EXPECT_TRUE(m_sim.JournalCalls(L"ResetDevice(").empty());
    EXPECT_FALSE(Connected());
}

TEST_F(AgentImageOpsTest, SetUserDefaultImageUpgradesFromTheNamedFolder)
{
    EXPECT_EQ(0, m_pAgent->SetUserDefaultImage(L"3", 1));

    EXPECT_EQ(std::vector<std::wstring>{m_sim.FolderPath(3)}, UpgradedFolders());
    EXPECT_EQ(1u, m_sim.JournalCalls(L"UpgradeFirmware3k(" + m_sim.FolderPath(3) + L", 1)").size());
    EXPECT_TRUE(m_trace.Contains(L"Updating to: " + m_sim.FolderPath(3)));
    EXPECT_TRUE(m_trace.Contains(L"UpgradeFirmware3k succeed for " + m_sim.FolderPath(3)));
    EXPECT_EQ(DescribeSampleFolder(3, 1575, 3).modem.buildId, m_sim.PreferredBuildId(0));
}

TEST_F(AgentImageOpsTest, SetUserDefaultImageWhoseUpgradeFailsStillReturnsTheDisconnect)
{
    m_sim.SetFault("UpgradeFirmware3k", 1117, 1);

    EXPECT_EQ(0, m_pAgent->SetUserDefaultImage(L"3", 0));

    EXPECT_TRUE(m_trace.Contains(L"UpgradeFirmware3k failed: 1117"));
    EXPECT_FALSE(Connected());
}

TEST_F(AgentImageOpsTest, UpdateCurrentImageFollowsTheRunningCarrier)
{
    const struct
    {
        ULONG ulCarrier;
        const wchar_t* pszFolder;
        ULONG ulForce, ulPassed;
    } cases[] = {
        {102, L"3", 0, 0},
        {2, L"-1", 7, 1},  // a carrier without a folder asks for folder -1, which the API refuses
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.ulCarrier);
        m_sim.ClearJournal();
        ASSERT_EQ(0u, m_sim.OverrideFirmwareInfo(1, c.ulCarrier, 0, 2));

        EXPECT_EQ(0, m_pAgent->UpdateCurrentImage(c.ulForce));

        const std::wstring folder = m_sim.StoreRoot() + L"\\" + c.pszFolder;
        EXPECT_EQ(std::vector<std::wstring>{folder}, UpgradedFolders());
        EXPECT_EQ(1u, m_sim.JournalCalls(L"UpgradeFirmware3k(" + folder + L", " + std::to_wstring(c.ulPassed) + L")")
                          .size());
        EXPECT_TRUE(m_trace.Contains(L"Updating: " + folder));
        EXPECT_TRUE(m_trace.Contains(L"Tech: 1, nCarrier: " + std::to_wstring(c.ulCarrier) + L", nGps: 2"));
    }
    // Only the upgrade from folder -1 failed.
    const std::vector<std::wstring> errors = m_trace.TextsAtLevel(3);
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(0u, errors[0].find(L"UpgradeFirmware3k failed: "));
}

TEST_F(AgentImageOpsTest, UpdateCurrentImageWithoutFirmwareInfoOnlyDisconnects)
{
    m_sim.SetFault("GetFirmwareInfo", 31, 1);

    EXPECT_EQ(0, m_pAgent->UpdateCurrentImage(0));

    EXPECT_TRUE(m_trace.Contains(L"GetFirmwareInfo failed: 31"));
    EXPECT_TRUE(UpgradedFolders().empty());
    EXPECT_FALSE(Connected());
}

TEST_F(AgentImageOpsTest, EnableGpsAutoPassesTheTextAsANumber)
{
    const struct
    {
        const wchar_t* pszValue;
        ULONG ulPassed;
    } cases[] = {{L"1", 1}, {L"", 0}, {L"  12abc", 12}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.pszValue)));
        EXPECT_EQ(0, m_pAgent->EnableGpsAuto(c.pszValue));
        EXPECT_EQ(c.ulPassed, m_sim.GpsTrackingValue());
        EXPECT_TRUE(m_trace.Contains(std::wstring(L"SetPortAutomaticTracking succeeded with ") + c.pszValue));
    }
    m_sim.SetFault("SetPortAutomaticTracking", 50, 1);
    EXPECT_EQ(0, m_pAgent->EnableGpsAuto(L"1"));
    EXPECT_TRUE(m_trace.Contains(L"SetPortAutomaticTracking error: 50"));
}
}  // namespace
