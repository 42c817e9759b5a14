// Firmware identities and versions of host and modem, and whether a host
// folder's images are stored on the modem.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "agent/FirmwareVersion.h"
#include "agent/HiddenAgent.h"
#include "modem/ToviApiWrapper.h"
#include "support/PauseRecorder.h"
#include "support/RegistrySnapshot.h"
#include "support/SimModem.h"
#include "support/TraceCapture.h"

namespace
{
// ---- decoders ---------------------------------------------------------------

struct AmssCase
{
    const wchar_t* pszBuildId;
    bool bDecoded;
    int32_t nTechnology, nCarrier, nRegion;
};

TEST(FirmwareVersionTest, BuildIdTokensDecodeInTableOrderWhateverTheCase)
{
    const AmssCase cases[] = {
        {L"STAUFH", true, 0, 2, 5},   {L"STSUFH", true, 0, 2, 5},   {L"STAUVH", true, 0, 101, 0},
        {L"STSUVH", true, 0, 101, 0}, {L"STAUSH", true, 0, 102, 0}, {L"STSUSH", true, 0, 102, 0},
        {L"STSUCH", true, 0, 117, 3}, {L"STSUOH", true, 0, 118, 5}, {L"STAUXN", true, 1, 3, 5},
        {L"STSUXN", true, 1, 3, 5},   {L"STAUFN", true, 1, 2, 5},   {L"STSUFN", true, 1, 2, 5},
        {L"STAUGN", true, 1, 1, 5},   {L"STSUGN", true, 1, 1, 5},
        {L"ABC-stsugn-1575", true, 1, 1, 5},
        {L"X-STSUCH-STAUFH-1", true, 0, 2, 5},  // the earlier row wins, not the earlier position
        {L"M-STSUGN-STAUXN-2", true, 1, 3, 5},
        {L"STAUF", false, 0, 0, 0},
        {L"STAU-FH", false, 0, 0, 0},
        {L"", false, 0, 0, 0},
    };
    for (const AmssCase& c : cases)
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(c.pszBuildId)));
        int32_t nTech = 77, nCarrier = 77, nRegion = 77;
        ASSERT_EQ(c.bDecoded, ParseAMSSVersion(c.pszBuildId, &nTech, &nCarrier, &nRegion));
        if (c.bDecoded)
        {
            EXPECT_EQ(c.nTechnology, nTech);
            EXPECT_EQ(c.nCarrier, nCarrier);
            EXPECT_EQ(c.nRegion, nRegion);
        }
        else
        {
            EXPECT_EQ(77, nTech);
            EXPECT_EQ(77, nCarrier);
            EXPECT_EQ(77, nRegion);
        }
    }
}

TEST(FirmwareVersionTest, VersionNumberFollowsTheLastDashOrStartsTheText)
{
    const struct
    {
        const wchar_t* pszBuildId;
        int32_t nVersion;
    } cases[] = {
        {L"ABC-stsugn-1575", 1575},
        {L"1575 ABC", 1575},
        {L"ABCDEF", 0},
        {L"AMSS-STSUGN-", 0},
        {L"A-1-2-  +42x", 42},
        {L"A-\t7", 7},
        {L"A-99999999999", 2147483647},
        {L"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.nVersion, GetVersionNumber(c.pszBuildId)) << ::testing::PrintToString(std::wstring(c.pszBuildId));
}

uint32_t PriId(uint32_t nTechBits, uint32_t nCarrierCode, uint32_t nOtherBits = 0)
{
    return (nTechBits << 24) | (nCarrierCode << 16) | nOtherBits;
}

TEST(FirmwareVersionTest, PriVersionIdFieldsDecode)
{
    const struct
    {
        uint32_t ulId;
        bool bDecoded;
        int32_t nTech, nCarrier, nRegion, nGps;
    } cases[] = {
        {PriId(1, 19, 0x100), true, 0, 117, 3, 0},
        {PriId(2, 23), true, 1, 3, 5, 1},
        {PriId(2, 0, 0x80), true, 1, 2, 0, 3},
        {PriId(1, 1), true, 0, 101, 0, 2},
        {PriId(1, 23, 0x100), true, 0, 3, 5, 0},          // bit 8 outranks carrier 3
        {PriId(1, 25, 0xFC00007F | 0x80), true, 0, 225, 1, 3},  // bits outside the fields are ignored
        {PriId(2, 7), true, 1, -1, -1, 2},                // unknown carrier code
        {PriId(2, 7, 0x80), true, 1, -1, -1, 3},
        {0, false, -1, -1, -1, -1},
        {PriId(3, 19, 0x100), false, -1, -1, -1, -1},
        {PriId(0, 9), false, -1, -1, -1, -1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.ulId);
        int32_t nTech = 77, nCarrier = 77, nRegion = 77, nGps = 77;
        EXPECT_EQ(c.bDecoded, ParseUQCNVersion(c.ulId, &nTech, &nCarrier, &nRegion, &nGps));
        EXPECT_EQ(c.nTech, nTech);
        EXPECT_EQ(c.nCarrier, nCarrier);
        EXPECT_EQ(c.nRegion, nRegion);
        EXPECT_EQ(c.nGps, nGps);
    }
}

TEST(FirmwareVersionTest, RevisionTextGivesItsLeadingHexNumber)
{
    const struct
    {
        const char* pszRevision;
        uint32_t ulNumber;
    } cases[] = {
        {"1A2B", 0x1A2B},        {"  0x00ff rev", 0xFF},   {"0X10", 0x10},       {"02010117 STSUGN", 0x02010117},
        {"rev 12", 0},           {"", 0},                  {"0x", 0},            {"0xg1", 0},
        {"FFFFFFFF", 0xFFFFFFFF}, {"100000000", 0xFFFFFFFF}, {"123456789ABCDEF0", 0xFFFFFFFF},
        {"00000000000000012", 0x12},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.ulNumber, ParseRevisionNumber(c.pszRevision)) << c.pszRevision;
}

// ---- IsImageExisted and IsHostFWNewer over the agent's loaded lists ------------

CImageElement Image(BYTE type, const std::string& buildId)
{
    CImageElement image;
    image.ImageType = type;
    image.BuildIDLength = static_cast<BYTE>(buildId.size());
    memcpy(image.BuildID, buildId.data(), buildId.size());
    return image;
}

class AgentListTest : public ::testing::Test
{
protected:
    CTraceCapture m_trace;
    CHiddenAgent m_agent;
};

TEST_F(AgentListTest, IsImageExistedMatchesTypeAndWholeBuildIdExactly)
{
    const std::string full32(32, 'Q');
    m_agent.m_FwImageStore.m_lstModemImages = {Image(0, "AMSS-STSUGN-1575"), Image(0, full32)};
    m_agent.m_FwImageStore.m_lstPriImages = {Image(1, "UQCN-3")};

    EXPECT_TRUE(m_agent.IsImageExisted(0, L"AMSS-STSUGN-1575"));
    EXPECT_TRUE(m_agent.IsImageExisted(0, std::wstring(32, L'Q')));
    EXPECT_TRUE(m_agent.IsImageExisted(1, L"UQCN-3"));
    EXPECT_FALSE(m_agent.IsImageExisted(0, L"amss-stsugn-1575"));
    EXPECT_FALSE(m_agent.IsImageExisted(0, L"AMSS-STSUGN-157"));
    EXPECT_FALSE(m_agent.IsImageExisted(0, L"AMSS-STSUGN-15750"));
    EXPECT_FALSE(m_agent.IsImageExisted(1, L"AMSS-STSUGN-1575")) << "the PRI list is asked for type 1";
    EXPECT_FALSE(m_agent.IsImageExisted(2, L"UQCN-3"));
    EXPECT_EQ(8, m_trace.Count(L"+ CHiddenAgent::IsImageExisted"));
}

class HostNewerTest : public AgentListTest
{
protected:
    void SetUp() override
    {
        m_agent.m_csHostModemVersion = L"AMSS-STSUGN-1575";
        m_agent.m_csHostPriVersion = L"UQCN-C001-3";
        m_agent.m_ulHostPriVersionID = PriId(2, 9);
        m_agent.m_ulDeviceFwRevisionID = PriId(2, 9);
        m_agent.m_FwImageStore.m_lstSelectedImages = {Image(0, "AMSS-stsugn-1580"), Image(1, "UQCN-C001-3")};
    }
};

TEST_F(HostNewerTest, EqualIdentitiesWithVersionsNotAboveTheModemsAreNotNewer)
{
    EXPECT_FALSE(m_agent.IsHostFWNewer());
    const std::vector<std::wstring> expected = {
        L"Host modem: Tech: 1, Carrier: 1, Region: 5, GPS: -1, Version: 1575",
        L"Host pri: Tech: 1, Carrier: 1, Region: 5, GPS: 2, Version: 3",
        L"Device modem: Tech: 1, Carrier: 1, Region: 5, GPS: -1, Version: 1580",
        L"Device pri: Tech: 1, Carrier: 1, Region: 5, GPS: 2, Version: 3",
    };
    EXPECT_EQ(expected, m_trace.TextsAtLevel(1));
    EXPECT_EQ(1, m_trace.Count(L"+ CHiddenAgent::IsHostFWNewer"));
}

TEST_F(HostNewerTest, AnyNewerVersionOrOtherIdentityIsNewer)
{
    const struct
    {
        const char* pszCase;
        void (*pfnChange)(CHiddenAgent&);
    } cases[] = {
        {"host PRI version 4", [](CHiddenAgent& a) { a.m_csHostPriVersion = L"UQCN-C001-4"; }},
        {"host modem version 1581", [](CHiddenAgent& a) { a.m_csHostModemVersion = L"AMSS-STSUGN-1581"; }},
        {"other modem carrier",
         [](CHiddenAgent& a) { a.m_FwImageStore.m_lstSelectedImages.front() = Image(0, "AMSS-STSUFN-1580"); }},
        {"other PRI carrier from the revision", [](CHiddenAgent& a) { a.m_ulDeviceFwRevisionID = PriId(2, 24); }},
        {"other PRI technology", [](CHiddenAgent& a) { a.m_ulHostPriVersionID = PriId(1, 9); }},
        {"empty selected list", [](CHiddenAgent& a) { a.m_FwImageStore.m_lstSelectedImages.clear(); }},
        {"selected list without PRI", [](CHiddenAgent& a) { a.m_FwImageStore.m_lstSelectedImages.pop_back(); }},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        SetUp();
        c.pfnChange(m_agent);
        EXPECT_TRUE(m_agent.IsHostFWNewer());
    }
    EXPECT_EQ(0u, m_trace.TextsAtLevel(3).size());
}

TEST_F(HostNewerTest, TheLastSelectedImageOfATypeDecides)
{
    m_agent.m_FwImageStore.m_lstSelectedImages.push_back(Image(0, "AMSS-STSUGN-1500"));
    EXPECT_TRUE(m_agent.IsHostFWNewer());
    m_agent.m_FwImageStore.m_lstSelectedImages.push_back(Image(7, "ignored"));
    m_agent.m_FwImageStore.m_lstSelectedImages.push_back(Image(0, "AMSS-STSUGN-1575"));
    EXPECT_FALSE(m_agent.IsHostFWNewer());
}

TEST_F(HostNewerTest, UndecodableIdentitiesCountAsNewer)
{
    const struct
    {
        const char* pszCase;
        void (*pfnChange)(CHiddenAgent&);
        const wchar_t* pszError;
    } cases[] = {
        {"host modem", [](CHiddenAgent& a) { a.m_csHostModemVersion = L"AMSS-1575"; }, L"ParseAMSSVersion failed"},
        {"host PRI ID 0", [](CHiddenAgent& a) { a.m_ulHostPriVersionID = 0; }, L"ParseUQCNVersion failed"},
        {"device modem",
         [](CHiddenAgent& a) { a.m_FwImageStore.m_lstSelectedImages.front() = Image(0, "AMSS-1580"); },
         L"ParseAMSSVersion failed"},
        {"device revision", [](CHiddenAgent& a) { a.m_ulDeviceFwRevisionID = PriId(3, 9); }, L"ParseUQCNVersion failed"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        SetUp();
        c.pfnChange(m_agent);
        const int nBefore = m_trace.Count(c.pszError);
        EXPECT_TRUE(m_agent.IsHostFWNewer());
        EXPECT_EQ(nBefore + 1, m_trace.Count(c.pszError));
    }
}

// ---- against the simulated modem and the sample host image store -----------

const wchar_t kKey[] = L"Software\\Velmora Inc\\QDL";

class AgentStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        m_pAgent.reset(new CHiddenAgent);
        ASSERT_TRUE(CToviApiWrapper::Initialize());
        ASSERT_EQ(0u, m_pAgent->Initialize());
        ASSERT_EQ(1, m_pAgent->m_FwImageStore.m_bInitialized);
        m_sim.ClearJournal();
    }

    void TearDown() override { m_pAgent.reset(); }

    // A host folder under the store root holding only folder 3's PRI image.
    std::wstring MakePriOnlyFolder(const std::wstring& name)
    {
        const SampleFolder three = DescribeSampleFolder(3, 1575, 3);
        const std::wstring folder = m_sim.FolderPath(name);
        EXPECT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
        EXPECT_TRUE(::CopyFileW((m_sim.FolderPath(3) + L"\\" + three.pri.fileName).c_str(),
                                (folder + L"\\" + three.pri.fileName).c_str(), FALSE));
        return folder;
    }

    static std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

    CRegistrySnapshot m_snapshot32{HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_32KEY};
    CRegistrySnapshot m_snapshot64{HKEY_LOCAL_MACHINE, kKey, KEY_WOW64_64KEY};
    CPauseRecorder m_pauses;
    CSimModem m_sim;
    CTraceCapture m_trace;
    std::unique_ptr<CHiddenAgent> m_pAgent;
};

TEST_F(AgentStoreTest, GetVersionInfoReadsHostVersionsAndTheModemRevision)
{
    const SampleFolder three = DescribeSampleFolder(3, 1575, 3);
    ASSERT_TRUE(m_pAgent->GetVersionInfo(L"3"));
    EXPECT_EQ(m_sim.FolderPath(3), m_pAgent->m_csImageFolder);
    EXPECT_EQ(Wide(three.modem.buildId), m_pAgent->m_csHostModemVersion);
    EXPECT_EQ(Wide(three.pri.buildId), m_pAgent->m_csHostPriVersion);
    EXPECT_EQ(three.pri.versionId, m_pAgent->m_ulHostPriVersionID);
    EXPECT_NE(0u, m_pAgent->m_ulDeviceFwRevisionID);
    EXPECT_TRUE(m_trace.Contains(L"m_csHostModemVersion " + Wide(three.modem.buildId)));
    EXPECT_TRUE(m_trace.Contains(L"m_ulHostPriVersionID " + Wide(three.pri.buildId)));
    EXPECT_TRUE(m_trace.Contains(L"Host firmware version"));
    EXPECT_TRUE(m_trace.TextsAtLevel(3).empty());
    EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANConnect(").empty()) << "runs over Initialize's connection";
}

TEST_F(AgentStoreTest, AFolderWithoutModemImageTakesItFromFolderSixButNotForIsFWExisted)
{
    const std::wstring folder = MakePriOnlyFolder(L"20");
    const SampleFolder six = DescribeSampleFolder(6, 1575, 3);
    const SampleFolder three = DescribeSampleFolder(3, 1575, 3);

    ASSERT_TRUE(m_pAgent->GetVersionInfo(L"20"));
    EXPECT_EQ(folder, m_pAgent->m_csImageFolder);
    EXPECT_EQ(1, m_trace.Count(L"no AMSS firmware exist in " + folder + L"\\AMSS.mbn, use default 6 folder instead"));
    EXPECT_EQ(Wide(six.modem.buildId), m_pAgent->m_csHostModemVersion);
    EXPECT_EQ(Wide(three.pri.buildId), m_pAgent->m_csHostPriVersion);
    EXPECT_EQ(three.pri.versionId, m_pAgent->m_ulHostPriVersionID);

    m_pAgent->m_csImageFolder.clear();
    EXPECT_FALSE(m_pAgent->IsFWExisted(L"20"));
    EXPECT_EQ(folder, m_pAgent->m_csImageFolder);
    std::vector<std::wstring> errors = m_trace.TextsAtLevel(3);
    ASSERT_EQ(1u, errors.size());
    EXPECT_EQ(0u, errors[0].find(L"GetImageInfo3KW failed: ")) << errors[0];
    std::vector<std::wstring> calls = m_sim.JournalCalls(L"GetImageInfo3KW(");
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(std::wstring::npos, calls.back().find(folder + L"\\AMSS.mbn")) << calls.back();
}

TEST_F(AgentStoreTest, IsFWExistedAnswersWhetherBothImagesAreStored)
{
    EXPECT_TRUE(m_pAgent->IsFWExisted(L"6"));
    EXPECT_EQ(1, m_trace.Count(L"Firmware existed"));
    EXPECT_EQ(m_sim.FolderPath(6), m_pAgent->m_csImageFolder);

    EXPECT_FALSE(m_pAgent->IsFWExisted(L"3"));
    EXPECT_EQ(1, m_trace.Count(L"Firmware does not exist"));
    EXPECT_EQ(m_sim.FolderPath(3), m_pAgent->m_csImageFolder);

    // The lists are used as last loaded: storing the folder shows only after a reload.
    ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
    EXPECT_FALSE(m_pAgent->IsFWExisted(L"3"));
    ASSERT_TRUE(m_pAgent->m_FwImageStore.LoadDeviceImages());
    EXPECT_TRUE(m_pAgent->IsFWExisted(L"3"));
    EXPECT_TRUE(m_sim.JournalCalls(L"QCWWANConnect(").empty());
}

TEST_F(AgentStoreTest, IsFWExistedWithoutPriImageFailsOnTheSearch)
{
    const std::wstring folder = m_sim.FolderPath(L"21");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW((m_sim.FolderPath(6) + L"\\AMSS.mbn").c_str(), (folder + L"\\AMSS.mbn").c_str(), FALSE));
    EXPECT_FALSE(m_pAgent->IsFWExisted(L"21"));
    EXPECT_EQ(std::vector<std::wstring>{L"FindFirstFile failed: 2"}, m_trace.TextsAtLevel(3));
}

TEST_F(AgentStoreTest, IsFWNewerWithoutFirmwareInformationAnswersNewer)
{
    m_sim.SetFault("GetFirmwareInfo", 31, TOVISIM_ALWAYS);
    m_pAgent->m_csImageFolder = L"kept";
    EXPECT_TRUE(m_pAgent->IsFWNewer(L""));
    EXPECT_EQ(std::vector<std::wstring>{L"Carrier index info is still missing"}, m_trace.TextsAtLevel(3));
    EXPECT_EQ(L"kept", m_pAgent->m_csImageFolder);
    EXPECT_TRUE(m_sim.JournalCalls(L"GetImageStoreW(").empty());
}

TEST_F(AgentStoreTest, IsFWNewerWithAnEmptyFolderAsksForTheModemsCarrierFolder)
{
    ASSERT_EQ(0u, m_sim.OverrideFirmwareInfo(1, 102, 0, 2));  // carrier 102 lives in folder 3
    m_pAgent->IsFWNewer(L"");
    EXPECT_EQ(m_sim.FolderPath(3), m_pAgent->m_csImageFolder);
    EXPECT_TRUE(m_trace.Contains(L"MapCarrierToFolder - CarrierID: 102, Folder: 3"));
}

TEST_F(AgentStoreTest, IsFWNewerComparesTheRunningFolderWithTheHost)
{
    EXPECT_FALSE(m_pAgent->IsFWNewer(L"6")) << "the modem runs folder 6's images";
    EXPECT_TRUE(m_pAgent->IsFWNewer(L"3")) << "another carrier";

    SampleStoreOptions newer;
    newer.priVersion = 4;
    newer.folders = {6};
    ASSERT_TRUE(m_sim.WriteStore(newer));
    EXPECT_TRUE(m_pAgent->IsFWNewer(L"6")) << "a newer PRI on the host";
}

TEST_F(AgentStoreTest, IsFWNewerAnswersNotNewerWhenAHostBuildIdIsEmpty)
{
    const std::wstring folder = m_sim.FolderPath(L"22");
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    const SampleFolder six = DescribeSampleFolder(6, 1575, 3);
    ASSERT_TRUE(WriteImageFile(folder + L"\\AMSS.mbn", 0, six.modem.imageId, 0, ""));
    ASSERT_TRUE(WriteImageFile(folder + L"\\" + six.pri.fileName, 1, six.pri.imageId, six.pri.versionId,
                               six.pri.buildId));
    EXPECT_FALSE(m_pAgent->IsFWNewer(L"22"));
    EXPECT_EQ(1, m_trace.Count(L"Failed to retrieve firmware versions on the host"));
}

TEST_F(AgentStoreTest, FailuresOfTheModemApiMakeTheHostNewer)
{
    const struct
    {
        const char* pszEntryPoint;
        const wchar_t* pszError;
    } cases[] = {
        {"GetImageStoreW", L"GetImageStoreW failed: 31"},
        {"GetFirmwareRevision", L"GetFirmwareRevision failed: 31"},
        {"GetImageInfo3KW", L"GetImageInfo3KW failed: 31, imageType: 255"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszEntryPoint);
        m_sim.ClearFaults();
        ASSERT_EQ(0u, m_sim.SetFault(c.pszEntryPoint, 31));
        const int nBefore = m_trace.Count(c.pszError);
        EXPECT_TRUE(m_pAgent->IsFWNewer(L"6"));
        EXPECT_EQ(nBefore + 1, m_trace.Count(c.pszError));
    }
    ASSERT_EQ(0u, m_sim.SetFault("GetImageStoreW", 31));
    EXPECT_FALSE(m_pAgent->IsFWExisted(L"6"));
}

// ---- folder names that do not fit ---------------------------------------------

TEST_F(AgentStoreTest, FolderNamesTooLongForThePathBuffersFailCleanly)
{
    const size_t nRoot = m_sim.StoreRoot().size();
    ASSERT_LT(nRoot + 2, 240u);
    const struct
    {
        const char* pszCase;
        size_t nFolderPath;  // length of root + "\" + name
        bool bGetVersionInfo;
    } cases[] = {
        {"far beyond the folder buffer", 400, false},
        {"one past the folder buffer", 265, false},
        {"folder fits, AMSS.mbn does not", 255, false},
        {"folder path of 250 characters", 250, true},
        {"far beyond the folder buffer, versions", 400, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszCase);
        const std::wstring name(c.nFolderPath - nRoot - 1, L'7');
        m_pAgent->m_csImageFolder = L"kept";
        m_sim.ClearJournal();
        const int nBefore = m_trace.Count(L"Invalid file path");

        if (c.bGetVersionInfo)
            EXPECT_FALSE(m_pAgent->GetVersionInfo(name));
        else
            EXPECT_FALSE(m_pAgent->IsFWExisted(name));

        EXPECT_EQ(nBefore + 1, m_trace.Count(L"Invalid file path"));
        EXPECT_TRUE(m_sim.JournalCalls(L"GetImageInfo3KW(").empty());
        const bool bFolderFits = c.nFolderPath < 265;
        EXPECT_EQ(bFolderFits ? m_sim.StoreRoot() + L"\\" + name : L"kept", m_pAgent->m_csImageFolder);
    }
}
}
