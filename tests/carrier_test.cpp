// Carrier IDs to host image folders, and the folder of the carrier the modem runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/CarrierFolder.h"
#include "agent/HiddenAgent.h"
#include "modem/ToviApiWrapper.h"
#include "support/PauseRecorder.h"
#include "support/SimModem.h"
#include "support/TraceCapture.h"

namespace
{
TEST(CarrierTest, EveryCarrierMapsToItsFolderAndAllOthersToSix)
{
    const struct
    {
        ULONG ulCarrier;
        int nFolder;
        const wchar_t* pszTrace;
    } cases[] = {
        {2, -1, L"MapCarrierToFolder - CarrierID: 2, Folder: -1"},
        {3, -1, L"MapCarrierToFolder - CarrierID: 3, Folder: -1"},
        {101, 1, L"MapCarrierToFolder - CarrierID: 101, Folder: 1"},
        {102, 3, L"MapCarrierToFolder - CarrierID: 102, Folder: 3"},
        {103, 11, L"MapCarrierToFolder - CarrierID: 103, Folder: 11"},
        {104, 12, L"MapCarrierToFolder - CarrierID: 104, Folder: 12"},
        {105, 13, L"MapCarrierToFolder - CarrierID: 105, Folder: 13"},
        {107, 10, L"MapCarrierToFolder - CarrierID: 107, Folder: 10"},
        {118, 16, L"MapCarrierToFolder - CarrierID: 118, Folder: 16"},
        {176, 14, L"MapCarrierToFolder - CarrierID: 176, Folder: 14"},
        {201, 2, L"MapCarrierToFolder - CarrierID: 201, Folder: 2"},
        {202, 0, L"MapCarrierToFolder - CarrierID: 202, Folder: 0"},
        {203, 4, L"MapCarrierToFolder - CarrierID: 203, Folder: 4"},
        {204, 9, L"MapCarrierToFolder - CarrierID: 204, Folder: 9"},
        {205, 7, L"MapCarrierToFolder - CarrierID: 205, Folder: 7"},
        {206, 8, L"MapCarrierToFolder - CarrierID: 206, Folder: 8"},
        {212, 10, L"MapCarrierToFolder - CarrierID: 212, Folder: 10"},
        {0, 6, L"MapCarrierToFolder - CarrierID: 0, Folder: 6"},
        {1, 6, L"MapCarrierToFolder - CarrierID: 1, Folder: 6"},
        {4, 6, L"MapCarrierToFolder - CarrierID: 4, Folder: 6"},
        {100, 6, L"MapCarrierToFolder - CarrierID: 100, Folder: 6"},
        {106, 6, L"MapCarrierToFolder - CarrierID: 106, Folder: 6"},
        {117, 6, L"MapCarrierToFolder - CarrierID: 117, Folder: 6"},
        {4294967295u, 6, L"MapCarrierToFolder - CarrierID: -1, Folder: 6"},
    };
    CTraceCapture trace;
    std::vector<std::wstring> expectedTraces;
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.nFolder, MapCarrierToFolder(c.ulCarrier)) << c.ulCarrier;
        expectedTraces.push_back(c.pszTrace);
    }
    EXPECT_EQ(expectedTraces, trace.TextsAtLevel(1));
}

class CarrierIndexTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        ASSERT_TRUE(CToviApiWrapper::Initialize());
        ASSERT_EQ(0u, m_agent.ConnectDevice());
    }

    CPauseRecorder m_pauses;
    CSimModem m_sim;
    CTraceCapture m_trace;
    CHiddenAgent m_agent;
};

TEST_F(CarrierIndexTest, TheModemsCarrierGivesTheFolderText)
{
    const struct
    {
        ULONG ulCarrier;
        const wchar_t* pszFolder;
    } cases[] = {{212, L"10"}, {202, L"0"}, {2, L"-1"}, {999, L"6"}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.ulCarrier);
        ASSERT_EQ(0u, m_sim.OverrideFirmwareInfo(1, c.ulCarrier, 5, 3));
        std::wstring folder = L"previous";
        EXPECT_TRUE(m_agent.GetCarrierIndex(folder));
        EXPECT_EQ(c.pszFolder, folder);
        EXPECT_TRUE(m_trace.Contains(L"Tech: 1, nCarrier: " + std::to_wstring(c.ulCarrier) + L", nGps: 3"));
    }
    EXPECT_EQ(4, m_trace.Count(L"+ CHiddenAgent::GetCarrierIndex"));
}

TEST_F(CarrierIndexTest, AModemErrorLeavesTheTextAsItWas)
{
    ASSERT_EQ(0u, m_sim.SetFault("GetFirmwareInfo", 31));
    const size_t nInfoBefore = m_trace.TextsAtLevel(1).size();
    std::wstring folder = L"5";
    EXPECT_FALSE(m_agent.GetCarrierIndex(folder));
    EXPECT_EQ(L"5", folder);
    EXPECT_EQ(nInfoBefore, m_trace.TextsAtLevel(1).size());
    EXPECT_TRUE(m_trace.TextsAtLevel(3).empty());
}
}
