// Loading and binding of the modem API library, against fake libraries built
// beside this test (bin/fakes/<case>/ToviApi.dll). A fake is loaded by full
// path first; the wrapper's bare-name load then binds that module. The agent's
// operations run over such a fake too, for a library lacking an optional entry point.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/HiddenAgent.h"
#include "modem/ToviApiWrapper.h"
#include "support/TraceCapture.h"

namespace
{
typedef void (*PLAIN_PROC)(void);

template <typename T>
PLAIN_PROC Plain(T pfn)
{
    return reinterpret_cast<PLAIN_PROC>(pfn);
}

struct EntryPoint
{
    const char* pszName;
    PLAIN_PROC (*pfnSlot)();
};

#define ENTRY_POINT(name) {#name, []() { return Plain(CToviApiWrapper::m_pfn##name); }}

const EntryPoint kEntryPoints[] = {
    ENTRY_POINT(QCWWANConnect),        ENTRY_POINT(QCWWANDisconnect),     ENTRY_POINT(SetImagesPreference),
    ENTRY_POINT(ResetDevice),          ENTRY_POINT(GetImageInfo3KW),      ENTRY_POINT(GetImagesPreference),
    ENTRY_POINT(GetStoredImages),      ENTRY_POINT(DeleteStoredImage),    ENTRY_POINT(SetDeviceRemovalCallback),
    ENTRY_POINT(GetImageStoreW),       ENTRY_POINT(GetFirmwareInfo),      ENTRY_POINT(GetFirmwareRevision),
    ENTRY_POINT(SetPortAutomaticTracking), ENTRY_POINT(UpgradeFirmware3k), ENTRY_POINT(GetImageIDs),
};

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

void ExpectTableEmpty()
{
    for (const EntryPoint& entry : kEntryPoints)
        EXPECT_EQ(nullptr, entry.pfnSlot()) << entry.pszName;
}

class ModemBindingTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The working folder is searched too; ours holds no ToviApi.dll.
        wchar_t previous[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, previous);
        m_previousFolder = previous;
        ::SetCurrentDirectoryW(ExeFolder().c_str());
        ASSERT_EQ(nullptr, ::GetModuleHandleW(L"ToviApi.dll")) << "a ToviApi.dll is already loaded";
    }

    void TearDown() override
    {
        CToviApiWrapper::DeInit();
        if (m_hFake != nullptr)
            ::FreeLibrary(m_hFake);
        // With the wrapper's references given back, ours was the last one.
        EXPECT_EQ(nullptr, ::GetModuleHandleW(L"ToviApi.dll")) << "the wrapper kept a reference to the library";
        ::SetCurrentDirectoryW(m_previousFolder.c_str());
    }

    void LoadFake(const wchar_t* pszCase)
    {
        std::wstring path = ExeFolder() + L"\\" + pszCase + L"\\ToviApi.dll";
        m_hFake = ::LoadLibraryW(path.c_str());
        ASSERT_NE(nullptr, m_hFake) << "fake library missing";
    }

    int LoadCount() const { return m_trace.Count(L"+ CToviApiWrapper::LoadToviApi"); }

    CTraceCapture m_trace;
    HMODULE m_hFake = nullptr;
    std::wstring m_previousFolder;
};

struct FakeCase
{
    const wchar_t* pszFolder;
    bool bLoads;
    const char* pszMissing;  // the entry point the fake does not export
};

const FakeCase kFakeCases[] = {
    {L"complete", true, nullptr},
    {L"no_getimageids", true, "GetImageIDs"},
    {L"no_upgrade", true, "UpgradeFirmware3k"},
    {L"no_resetdevice", false, "ResetDevice"},
};

TEST_F(ModemBindingTest, BindsWhatEachLibraryExportsAllOrNothing)
{
    for (const FakeCase& c : kFakeCases)
    {
        SCOPED_TRACE(testing::Message() << "fake " << std::string(c.pszFolder, c.pszFolder + wcslen(c.pszFolder)));
        LoadFake(c.pszFolder);
        ASSERT_FALSE(HasFatalFailure());
        size_t errorsBefore = m_trace.TextsAtLevel(3).size();

        EXPECT_EQ(c.bLoads, CToviApiWrapper::Initialize());
        EXPECT_EQ(c.bLoads, CToviApiWrapper::m_bLoaded);
        // Loaded and half loaded alike hold the module.
        EXPECT_EQ(m_hFake, CToviApiWrapper::m_hToviApi);

        std::vector<std::wstring> errors = m_trace.TextsAtLevel(3);
        errors.erase(errors.begin(), errors.begin() + errorsBefore);
        if (c.bLoads)
        {
            EXPECT_TRUE(errors.empty());
            for (const EntryPoint& entry : kEntryPoints)
            {
                PLAIN_PROC expected = c.pszMissing && strcmp(entry.pszName, c.pszMissing) == 0
                                          ? nullptr
                                          : Plain(::GetProcAddress(m_hFake, entry.pszName));
                EXPECT_EQ(expected, entry.pfnSlot()) << entry.pszName;
                if (expected == nullptr)
                {
                    EXPECT_STREQ(c.pszMissing, entry.pszName);
                }
            }
        }
        else
        {
            EXPECT_EQ((std::vector<std::wstring>{L"Failed to retrieve function pointers", L"Failed to load ToviApi"}),
                      errors);
            ExpectTableEmpty();
        }

        CToviApiWrapper::DeInit();
        EXPECT_EQ(nullptr, CToviApiWrapper::m_hToviApi);
        EXPECT_FALSE(CToviApiWrapper::m_bLoaded);
        ExpectTableEmpty();
        ::FreeLibrary(m_hFake);
        m_hFake = nullptr;
        EXPECT_EQ(nullptr, ::GetModuleHandleW(L"ToviApi.dll")) << "DeInit kept a reference";
    }
}

// A library that loaded without an optional entry point: the agent's operations
// report the missing call as ERROR_PROC_NOT_FOUND instead of calling through null.
TEST_F(ModemBindingTest, AgentOperationsCopeWithAMissingOptionalEntryPoint)
{
    const struct
    {
        const wchar_t* pszFolder;
        bool bResets;                          // ResetModemDevice
        std::vector<std::wstring> errors;      // of SetUserDefaultImage and UpdateCurrentImage
        int nPreferResult;                     // SetDownloadedDefaultImage
    } cases[] = {
        {L"complete", true, {}, 0},
        {L"no_upgrade", false, {L"UpgradeFirmware3k failed: 127", L"UpgradeFirmware3k failed: 127"}, 0},
        {L"no_getimageids", true, {}, 127},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "fake " << std::string(c.pszFolder, c.pszFolder + wcslen(c.pszFolder)));
        LoadFake(c.pszFolder);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(CToviApiWrapper::Initialize());
        {
            CHiddenAgent agent;
            EXPECT_EQ(c.bResets, agent.ResetModemDevice(L"C:\\store\\3"));

            size_t errorsBefore = m_trace.TextsAtLevel(3).size();
            EXPECT_EQ(0, agent.SetUserDefaultImage(L"3", 0));
            EXPECT_EQ(0, agent.UpdateCurrentImage(1));
            std::vector<std::wstring> errors = m_trace.TextsAtLevel(3);
            errors.erase(errors.begin(), errors.begin() + errorsBefore);
            EXPECT_EQ(c.errors, errors);

            EXPECT_EQ(c.nPreferResult, agent.SetDownloadedDefaultImage(L"3"));
            EXPECT_EQ(c.nPreferResult != 0, m_trace.Contains(L"GetImageIDs Failed."));
        }
        // The agent's end unloads the library.
        EXPECT_FALSE(CToviApiWrapper::m_bLoaded);
        ::FreeLibrary(m_hFake);
        m_hFake = nullptr;
    }
}

TEST_F(ModemBindingTest, SecondInitializeLoadsNothingAgainAndDeInitAllowsReload)
{
    LoadFake(L"complete");
    ASSERT_TRUE(CToviApiWrapper::Initialize());
    ASSERT_TRUE(CToviApiWrapper::Initialize());
    EXPECT_EQ(1, LoadCount());
    EXPECT_EQ(2, m_trace.Count(L"+ CToviApiWrapper::Initialize"));
    // Only one reference is taken, so one DeInit gives the module back (TearDown checks).

    CToviApiWrapper::DeInit();
    ASSERT_TRUE(CToviApiWrapper::Initialize());
    EXPECT_EQ(2, LoadCount());
    EXPECT_NE(nullptr, CToviApiWrapper::m_pfnResetDevice);
}

TEST_F(ModemBindingTest, HalfLoadedLibraryIsLoadedAgainWithoutPilingUpReferences)
{
    LoadFake(L"no_resetdevice");
    EXPECT_FALSE(CToviApiWrapper::Initialize());
    EXPECT_FALSE(CToviApiWrapper::Initialize());
    EXPECT_EQ(2, LoadCount());
    EXPECT_EQ(m_hFake, CToviApiWrapper::m_hToviApi);
    ExpectTableEmpty();
    // TearDown's DeInit must leave only the test's own reference.
}

TEST_F(ModemBindingTest, LoadingALibraryInUseAgainKeepsItsTableValid)
{
    LoadFake(L"complete");
    ASSERT_TRUE(CToviApiWrapper::Initialize());
    // From here on the wrapper's reference is the only one: giving it back
    // before loading again would unload the module under the table.
    HMODULE hModule = m_hFake;
    ::FreeLibrary(m_hFake);
    m_hFake = nullptr;

    EXPECT_TRUE(CToviApiWrapper::LoadToviApi());
    EXPECT_TRUE(CToviApiWrapper::m_bLoaded);
    EXPECT_EQ(hModule, CToviApiWrapper::m_hToviApi);
    EXPECT_EQ(hModule, ::GetModuleHandleW(L"ToviApi.dll"));
    EXPECT_EQ(Plain(::GetProcAddress(hModule, "ResetDevice")), Plain(CToviApiWrapper::m_pfnResetDevice));
    EXPECT_TRUE(m_trace.TextsAtLevel(3).empty());
    // TearDown's one DeInit must unload it: the load took no extra reference.
}

TEST_F(ModemBindingTest, DeInitWithoutLibraryClearsTableAndFlag)
{
    CToviApiWrapper::m_pfnQCWWANConnect = reinterpret_cast<PFN_QCWWANConnect>(Plain(&ExeFolder));
    CToviApiWrapper::m_pfnGetImageIDs = reinterpret_cast<PFN_GetImageIDs>(Plain(&ExeFolder));
    CToviApiWrapper::m_bLoaded = true;

    CToviApiWrapper::DeInit();

    EXPECT_EQ(nullptr, CToviApiWrapper::m_hToviApi);
    EXPECT_FALSE(CToviApiWrapper::m_bLoaded);
    ExpectTableEmpty();
}

TEST_F(ModemBindingTest, MissingLibraryReportsBothMessages)
{
    EXPECT_FALSE(CToviApiWrapper::Initialize());
    EXPECT_FALSE(CToviApiWrapper::m_bLoaded);
    EXPECT_EQ(nullptr, CToviApiWrapper::m_hToviApi);
    ExpectTableEmpty();
    EXPECT_EQ((std::vector<std::wstring>{L"Failed to load ToviApi.dll library", L"Failed to load ToviApi"}),
              m_trace.TextsAtLevel(3));
}
}
