// The simulated modem (ToviApi.dll, tovisim.exe, the sample store) driven
// through its exports, the way the program and the tests of other components
// use it.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "QdlStatus.h"
#include "SampleStore.h"
#include "agent/CarrierTable.h"
#include "agent/FirmwareVersion.h"
#include "modem/ToviApi.h"
#include "platform/Handles.h"
#include "support/SimModem.h"

namespace
{
template <typename T>
T Bind(const CSimModem& sim, const char* name)
{
    return reinterpret_cast<T>(reinterpret_cast<void*>(sim.Proc(name)));
}

// The modem API entry points of the loaded simulator.
struct CApi
{
    explicit CApi(const CSimModem& sim)
        : Connect(Bind<PFN_QCWWANConnect>(sim, "QCWWANConnect")),
          Disconnect(Bind<PFN_QCWWANDisconnect>(sim, "QCWWANDisconnect")),
          GetImagesPreference(Bind<PFN_GetImagesPreference>(sim, "GetImagesPreference")),
          GetStoredImages(Bind<PFN_GetStoredImages>(sim, "GetStoredImages")),
          SetImagesPreference(Bind<PFN_SetImagesPreference>(sim, "SetImagesPreference")),
          ResetDevice(Bind<PFN_ResetDevice>(sim, "ResetDevice")),
          DeleteStoredImage(Bind<PFN_DeleteStoredImage>(sim, "DeleteStoredImage")),
          SetDeviceRemovalCallback(Bind<PFN_SetDeviceRemovalCallback>(sim, "SetDeviceRemovalCallback")),
          GetImageStoreW(Bind<PFN_GetImageStoreW>(sim, "GetImageStoreW")),
          GetImageIDs(Bind<PFN_GetImageIDs>(sim, "GetImageIDs")),
          GetImageInfo3KW(Bind<PFN_GetImageInfo3KW>(sim, "GetImageInfo3KW")),
          GetFirmwareInfo(Bind<PFN_GetFirmwareInfo>(sim, "GetFirmwareInfo")),
          GetFirmwareRevision(Bind<PFN_GetFirmwareRevision>(sim, "GetFirmwareRevision")),
          SetPortAutomaticTracking(Bind<PFN_SetPortAutomaticTracking>(sim, "SetPortAutomaticTracking")),
          UpgradeFirmware3k(Bind<PFN_UpgradeFirmware3k>(sim, "UpgradeFirmware3k"))
    {
    }

    bool Complete() const
    {
        return Connect && Disconnect && GetImagesPreference && GetStoredImages && SetImagesPreference &&
               ResetDevice && DeleteStoredImage && SetDeviceRemovalCallback && GetImageStoreW && GetImageIDs &&
               GetImageInfo3KW && GetFirmwareInfo && GetFirmwareRevision && SetPortAutomaticTracking &&
               UpgradeFirmware3k;
    }

    PFN_QCWWANConnect Connect;
    PFN_QCWWANDisconnect Disconnect;
    PFN_GetImagesPreference GetImagesPreference;
    PFN_GetStoredImages GetStoredImages;
    PFN_SetImagesPreference SetImagesPreference;
    PFN_ResetDevice ResetDevice;
    PFN_DeleteStoredImage DeleteStoredImage;
    PFN_SetDeviceRemovalCallback SetDeviceRemovalCallback;
    PFN_GetImageStoreW GetImageStoreW;
    PFN_GetImageIDs GetImageIDs;
    PFN_GetImageInfo3KW GetImageInfo3KW;
    PFN_GetFirmwareInfo GetFirmwareInfo;
    PFN_GetFirmwareRevision GetFirmwareRevision;
    PFN_SetPortAutomaticTracking SetPortAutomaticTracking;
    PFN_UpgradeFirmware3k UpgradeFirmware3k;
};

struct FirmwareInfo
{
    ULONG result = 0xFFFFFFFF, firmwareId = 0, technology = 0, carrier = 0, region = 0, gps = 0;
};

std::string Revision(const CApi& api)
{
    char text[64] = {};
    EXPECT_EQ(0u, api.GetFirmwareRevision(sizeof(text), text));
    return text;
}

FirmwareInfo ReadFirmwareInfo(const CApi& api)
{
    FirmwareInfo info;
    info.result = api.GetFirmwareInfo(&info.firmwareId, &info.technology, &info.carrier, &info.region, &info.gps);
    return info;
}

std::vector<BYTE> Record(const SampleImage& image)
{
    std::vector<BYTE> record(1, image.type);
    record.insert(record.end(), image.imageId, image.imageId + 16);
    record.push_back((BYTE)image.buildId.size());
    record.insert(record.end(), image.buildId.begin(), image.buildId.end());
    return record;
}

std::vector<BYTE> PreferenceList(const std::vector<SampleImage>& images)
{
    std::vector<BYTE> list(1, (BYTE)images.size());
    for (const SampleImage& image : images)
    {
        std::vector<BYTE> record = Record(image);
        list.insert(list.end(), record.begin(), record.end());
    }
    return list;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::vector<std::string> StoredBuildIds(const CSimModem& sim, BYTE type)
{
    std::vector<std::string> ids;
    for (const SimStoredImage& image : sim.StoredImages(type))
        ids.push_back(image.buildId);
    return ids;
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// A child process of tovisim.exe whose output is collected through a pipe.
class CTovisimRun
{
public:
    // withErrors false: standard error goes nowhere, only standard output is read.
    explicit CTovisimRun(const std::wstring& arguments, bool withErrors = true)
    {
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE read = nullptr, write = nullptr;
        if (!::CreatePipe(&read, &write, &inherit, 0))
            return;
        m_read.reset(read);
        CHandle writeEnd(write);
        ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        CFileHandle nowhere(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                          OPEN_EXISTING, 0, nullptr));
        startup.hStdOutput = write;
        startup.hStdError = withErrors ? write : nowhere.get();
        std::wstring commandLine = L"\"" + ProgramFolder() + L"tovisim.exe\" " + arguments;
        PROCESS_INFORMATION process = {};
        if (::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &startup, &process))
        {
            m_process.reset(process.hProcess);
            ::CloseHandle(process.hThread);
        }
    }

    bool Started() const { return m_process.valid(); }
    HANDLE Process() const { return m_process.get(); }

    // Waits for the end and reads all output; the exit code, or -1.
    int Finish(DWORD timeoutMs = 60000)
    {
        if (!m_process)
            return -1;
        char chunk[4096];
        DWORD read = 0;
        while (::ReadFile(m_read.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
            m_output.append(chunk, read);
        if (::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        ::GetExitCodeProcess(m_process.get(), &code);
        return (int)code;
    }
    const std::string& Output() const { return m_output; }

private:
    CHandle m_process;
    CHandle m_read;
    std::string m_output;
};

class SimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_TRUE(m_api.Complete());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        ASSERT_EQ(0u, m_api.Connect());
    }

    std::vector<BYTE> ImageIds(int folder)
    {
        std::vector<BYTE> list(256, 0);
        ULONG size = 0;
        EXPECT_EQ(0u, m_api.GetImageIDs(m_sim.FolderPath(folder).c_str(), &size, &list[0]));
        list.resize(size);
        return list;
    }

    CSimModem m_sim;
    CApi m_api{m_sim};
    const SampleFolder m_six = DescribeSampleFolder(6, 1575, 3);
    const SampleFolder m_three = DescribeSampleFolder(3, 1575, 3);
};

TEST(SampleStoreTest, EveryFolderDecodesToItsCarrierAndTheModemReportsIt)
{
    SampleStoreOptions options;
    options.modemVersion = 1580;
    options.priVersion = 7;
    CSimModem sim(options);
    ASSERT_TRUE(sim.Loaded());
    CApi api(sim);
    for (int folder = 0; folder <= 16; ++folder)
    {
        SCOPED_TRACE(folder);
        const SampleFolder sample = DescribeSampleFolder(folder, 1580, 7);
        SampleImage modem, pri;
        ASSERT_TRUE(ReadImageFile(sim.FolderPath(folder) + L"\\AMSS.mbn", modem));
        ASSERT_TRUE(ReadImageFile(sim.FolderPath(folder) + L"\\" + sample.pri.fileName, pri));
        EXPECT_EQ(0, modem.type);
        EXPECT_EQ(1, pri.type);
        EXPECT_EQ(sample.pri.versionId, pri.versionId);
        EXPECT_EQ(0, std::memcmp(sample.pri.imageId, pri.imageId, 16));
        const std::wstring modemBuildId(modem.buildId.begin(), modem.buildId.end());
        const std::wstring priBuildId(pri.buildId.begin(), pri.buildId.end());
        EXPECT_EQ(1580, GetVersionNumber(modemBuildId.c_str()));
        EXPECT_EQ(7, GetVersionNumber(priBuildId.c_str()));

        // Both images decode by the program's own tables.
        int32_t technology = -1, carrier = -1, region = -1, gps = -1;
        EXPECT_TRUE(ParseAMSSVersion(modemBuildId.c_str(), &technology, &carrier, &region));
        EXPECT_EQ((int32_t)sample.technology, technology) << "modem image and PRI image share the technology";
        ASSERT_TRUE(ParseUQCNVersion(pri.versionId, &technology, &carrier, &region, &gps));
        EXPECT_EQ((int32_t)sample.technology, technology);
        EXPECT_EQ((int32_t)sample.gps, gps);
        // Carriers 103-107 and 176 have no code in the program's table: the
        // program sees an unknown carrier there, the modem reports it anyway.
        if (carrier != -1)
        {
            EXPECT_EQ((int32_t)sample.carrierId, carrier);
        }
        else
        {
            EXPECT_GE(folder, 10);
        }

        // The modem running the folder reports a carrier that maps back to it;
        // folders 5 and 15 are reached by no carrier and report one of the default.
        ASSERT_EQ(0u, sim.Create(std::to_wstring(folder), 4));
        ASSERT_EQ(0u, api.Connect()) << "a new modem keeps the connection; connecting again answers 0";
        const FirmwareInfo info = ReadFirmwareInfo(api);
        ASSERT_EQ(0u, info.result);
        EXPECT_EQ(sample.carrierId, info.carrier);
        EXPECT_EQ(sample.technology, info.technology);
        EXPECT_EQ(sample.region, info.region);
        EXPECT_EQ(1580u, info.firmwareId);
        EXPECT_EQ(folder == 5 || folder == 15 ? 6 : folder, FolderForCarrier(info.carrier));
        EXPECT_EQ(pri.versionId, ParseRevisionNumber(Revision(api).c_str()));
    }
}

TEST_F(SimulatorTest, APreferenceChangeSurvivesAResetAndTheFirmwareInfoFollows)
{
    ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
    std::vector<BYTE> list = ImageIds(3);
    EXPECT_EQ(PreferenceList({m_three.modem, m_three.pri}), list);

    BYTE answer[256] = {};
    ULONG count = 2;
    ASSERT_EQ(0u, m_api.SetImagesPreference((ULONG)list.size(), list.data(), 0, 0xFF, &count, answer));
    EXPECT_EQ(0u, count);

    // Preferred now, running after the reset.
    std::vector<BYTE> preference(2560);
    ULONG size = 2560;
    ASSERT_EQ(0u, m_api.GetImagesPreference(&size, &preference[0]));
    preference.resize(size);
    EXPECT_EQ(list, preference);
    EXPECT_EQ(m_six.carrierId, ReadFirmwareInfo(m_api).carrier);

    ASSERT_EQ(0u, m_api.ResetDevice());
    EXPECT_EQ(m_three.modem.buildId, m_sim.RunningBuildId(0));
    EXPECT_EQ(m_three.pri.buildId, m_sim.RunningBuildId(1));
    const FirmwareInfo info = ReadFirmwareInfo(m_api);
    EXPECT_EQ(0u, info.result);
    EXPECT_EQ(102u, info.carrier);
    EXPECT_EQ(0u, info.technology);
    EXPECT_EQ(3u, info.gps);
    char expected[16];
    snprintf(expected, sizeof(expected), "%08lX ", m_three.pri.versionId);
    EXPECT_EQ(0u, Revision(m_api).find(expected)) << Revision(m_api);

    // The stored list says which slot runs: folder 3's images went into slot 1.
    std::vector<BYTE> stored(2560);
    size = 2560;
    ASSERT_EQ(0u, m_api.GetStoredImages(&size, &stored[0]));
    ASSERT_GE(size, 5u);
    EXPECT_EQ(2, stored[0]);
    EXPECT_EQ((std::vector<BYTE>{0, 8, 1, 2}), std::vector<BYTE>(stored.begin() + 1, stored.begin() + 5));

    // A pair that is not stored is not preferred; the answer counts the missing images.
    list = ImageIds(1);
    count = 2;
    ASSERT_EQ(0u, m_api.SetImagesPreference((ULONG)list.size(), list.data(), 0, 0xFF, &count, answer));
    EXPECT_EQ(2u, count);
    EXPECT_EQ(0, answer[0]);
    EXPECT_EQ(1, answer[1]);
    EXPECT_EQ(m_three.pri.buildId, m_sim.PreferredBuildId(1));
}

DWORD g_dwRemovalThread = 0;
HANDLE g_hRemoval = nullptr;
void WINAPI OnRemoval()
{
    g_dwRemovalThread = ::GetCurrentThreadId();
    ::SetEvent(g_hRemoval);
}

// Device calls in one table, each made with harmless arguments.
struct DeviceCall
{
    const char* name;
    std::function<ULONG(const CApi&)> call;
};

std::vector<DeviceCall> DeviceCalls(const std::wstring& folder)
{
    static BYTE buffer[2560];
    static ULONG size, value, count;
    return {
        {"GetImagesPreference", [](const CApi& api) { size = 2560; return api.GetImagesPreference(&size, buffer); }},
        {"GetStoredImages", [](const CApi& api) { size = 2560; return api.GetStoredImages(&size, buffer); }},
        {"SetImagesPreference",
         [](const CApi& api) {
             BYTE list[] = {0};
             count = 2;
             return api.SetImagesPreference(sizeof(list), list, 0, 0xFF, &count, buffer);
         }},
        {"ResetDevice", [](const CApi& api) { return api.ResetDevice(); }},
        {"DeleteStoredImage", [](const CApi& api) { return api.DeleteStoredImage(18, buffer); }},
        {"GetFirmwareInfo", [](const CApi& api) { return api.GetFirmwareInfo(&value, &value, &value, &value, &value); }},
        {"GetFirmwareRevision",
         [](const CApi& api) { return api.GetFirmwareRevision(64, reinterpret_cast<CHAR*>(buffer)); }},
        {"SetPortAutomaticTracking", [](const CApi& api) { return api.SetPortAutomaticTracking(1); }},
        {"UpgradeFirmware3k", [folder](const CApi& api) { return api.UpgradeFirmware3k(folder.c_str(), 0); }},
    };
}

TEST_F(SimulatorTest, DeviceCallsNeedAConnectionOfTheirOwnProcessUntilItDisconnects)
{
    ASSERT_EQ(0u, m_api.Disconnect());
    EXPECT_EQ(0u, m_api.Disconnect()) << "also without a connection";
    // Without a modem the answer is the same: the call goes nowhere. With
    // one, a fault set for the call is not used up by a call that never
    // reaches the modem.
    for (bool present : {false, true})
    {
        SCOPED_TRACE(present ? "modem" : "no modem");
        if (present)
        {
            ASSERT_EQ(0u, m_sim.Create(L"6"));
            ASSERT_EQ(0u, m_sim.SetFault("GetFirmwareRevision", 31, 1));
        }
        else
            ASSERT_TRUE(::DeleteFileW(m_sim.StatePath().c_str()));
        for (const DeviceCall& device : DeviceCalls(m_sim.FolderPath(3)))
        {
            SCOPED_TRACE(device.name);
            EXPECT_EQ((ULONG)ERROR_NOT_CONNECTED, device.call(m_api));
            const std::vector<std::wstring> journal = m_sim.Journal();
            ASSERT_FALSE(journal.empty());
            EXPECT_EQ(0u, journal.back().find(Wide(device.name) + L"(")) << journal.back();
            EXPECT_NE(std::wstring::npos, journal.back().find(L") = 2250")) << journal.back();
        }
    }
    // Host calls need none.
    wchar_t root[265] = {};
    EXPECT_EQ(0u, m_api.GetImageStoreW(260, root));
    EXPECT_FALSE(ImageIds(3).empty());
    EXPECT_EQ(m_six.pri.buildId, m_sim.RunningBuildId(1)) << "nothing reached the modem";

    // Connected, every call reaches the modem; the fault was not used up before.
    ASSERT_EQ(0u, m_api.Connect());
    EXPECT_EQ(0u, m_api.Connect()) << "already connected";
    char revision[64] = {};
    EXPECT_EQ(31u, m_api.GetFirmwareRevision(sizeof(revision), revision));
    EXPECT_EQ(0u, ReadFirmwareInfo(m_api).result);
    EXPECT_NE(std::wstring::npos, m_sim.Describe().find(L"process " + std::to_wstring(::GetCurrentProcessId())))
        << m_sim.Describe();

    // The connection is this process's: another one has none of its own
    // until it connects, and its disconnect leaves this one connected.
    CTovisimRun other(L"gps 9");
    ASSERT_TRUE(other.Started());
    EXPECT_EQ(0, other.Finish()) << other.Output();
    EXPECT_EQ(9u, m_sim.GpsTrackingValue());
    EXPECT_EQ(0u, ReadFirmwareInfo(m_api).result);

    // After a disconnect, refused again.
    ASSERT_EQ(0u, m_api.Disconnect());
    EXPECT_EQ((ULONG)ERROR_NOT_CONNECTED, ReadFirmwareInfo(m_api).result);
    EXPECT_EQ(std::wstring::npos, m_sim.Describe().find(L"process " + std::to_wstring(::GetCurrentProcessId())));
    EXPECT_NE(std::wstring::npos, m_sim.Describe().find(L"Connected processes:\n  (none)"))
        << m_sim.Describe();
}

TEST_F(SimulatorTest, AResetByAnotherProcessTakesTheModemAwayButKeepsTheConnection)
{
    ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
    // Long enough for the other process to end before the modem is back.
    ASSERT_EQ(0u, m_sim.SetResetDelay(5000));
    ASSERT_EQ(0u, m_sim.ClearJournal());
    CTovisimRun prefer(L"prefer 3");
    ASSERT_TRUE(prefer.Started());
    ASSERT_EQ(0, prefer.Finish()) << prefer.Output();

    // Away: the connected process's device calls answer 6, connecting too.
    EXPECT_EQ(6u, ReadFirmwareInfo(m_api).result);
    EXPECT_EQ(6u, m_api.Connect());
    ULONG result = 6;
    for (int i = 0; i < 200 && result == 6; ++i)
    {
        ::Sleep(50);
        result = ReadFirmwareInfo(m_api).result;
    }
    // Back, on the same connection: no connect of this process succeeded in between.
    EXPECT_EQ(0u, result);
    EXPECT_EQ(102u, ReadFirmwareInfo(m_api).carrier) << "running its preferred pair";
    const std::vector<std::wstring> connects = m_sim.JournalCalls(L"QCWWANConnect(");
    EXPECT_EQ(2u, connects.size()) << "tovisim's own connect, then this process's refused one";
    EXPECT_EQ(L"QCWWANConnect() = 6", connects.back());
}

TEST_F(SimulatorTest, AResetCallsTheRemovalCallbacksOfEveryProcessOnAThreadOfTheLibrary)
{
    CHandle removal(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    g_hRemoval = removal.get();
    ASSERT_EQ(0u, m_api.SetDeviceRemovalCallback(&OnRemoval));
    ASSERT_EQ(0u, m_api.ResetDevice());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(removal.get(), 5000));
    EXPECT_NE(::GetCurrentThreadId(), g_dwRemovalThread);

    // Another process removing the modem reaches this process's callback too.
    CTovisimRun run(L"removal");
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(0, run.Finish()) << run.Output();
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(removal.get(), 5000));

    // A null callback delivers nothing further.
    ASSERT_EQ(0u, m_api.SetDeviceRemovalCallback(nullptr));
    ASSERT_EQ(0u, m_sim.SimulateRemoval());
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, ::WaitForSingleObject(removal.get(), 300));
    g_hRemoval = nullptr;
}

std::string FileText(const std::wstring& path)
{
    std::string text;
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
    char chunk[4096];
    DWORD read = 0;
    while (file && ::ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
        text.append(chunk, read);
    return text;
}

// A copy of the library under another name is a module of its own, which this
// process can free while the test keeps its own load of the library.
TEST_F(SimulatorTest, ACallbackNeverUnregisteredIsNotCalledOnceTheProcessFreedTheLibrary)
{
    const std::wstring copy = m_sim.MakeTempFolder(L"copy") + L"\\ToviApiCopy.dll";
    ASSERT_TRUE(::CopyFileW((ProgramFolder() + L"ToviApi.dll").c_str(), copy.c_str(), FALSE));
    ASSERT_EQ(0u, m_api.Disconnect());
    CHandle removal(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    g_hRemoval = removal.get();
    HMODULE hCopy = ::LoadLibraryW(copy.c_str());
    ASSERT_NE(nullptr, hCopy);
    ASSERT_NE(m_sim.Module(), hCopy);
    auto pfnConnect = reinterpret_cast<PFN_QCWWANConnect>(reinterpret_cast<void*>(::GetProcAddress(hCopy, "QCWWANConnect")));
    auto pfnRegister = reinterpret_cast<PFN_SetDeviceRemovalCallback>(
        reinterpret_cast<void*>(::GetProcAddress(hCopy, "SetDeviceRemovalCallback")));
    ASSERT_TRUE(pfnConnect && pfnRegister);
    ASSERT_EQ(0u, pfnConnect());
    ASSERT_EQ(0u, pfnRegister(&OnRemoval));
    ASSERT_EQ(0u, m_sim.SimulateRemoval());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(removal.get(), 5000)) << "registered through the copy";
    EXPECT_EQ((ULONG)ERROR_NOT_CONNECTED, ReadFirmwareInfo(m_api).result) << "each load has its own connection";

    // Freed without unregistering: the library goes at once, nothing holds it.
    ASSERT_TRUE(::FreeLibrary(hCopy));
    EXPECT_EQ(nullptr, ::GetModuleHandleW(copy.c_str()));
    ASSERT_EQ(0u, m_sim.SimulateRemoval());
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, ::WaitForSingleObject(removal.get(), 500));
    const std::string state = FileText(m_sim.StatePath());
    EXPECT_EQ(std::string::npos, state.find("\nconnection ")) << "its connection ended with it\n" << state;
    EXPECT_EQ(std::string::npos, state.find("\nlistener ")) << state;
    g_hRemoval = nullptr;
}

TEST_F(SimulatorTest, AProcessThatExitsWithItsCallbackRegisteredEndsAndIsDroppedAtTheNextReset)
{
    const std::wstring readyName = L"ToviSimTest.Ready." + std::to_wstring(::GetCurrentProcessId());
    CHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
    ASSERT_TRUE(ready.valid());
    std::wstring commandLine = L"\"" + ProgramFolder() + L"sim_removal_listener.exe\" " + readyName;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                 nullptr, &startup, &info));
    CHandle process(info.hProcess);
    CHandle thread(info.hThread);
    // It ends on its own: the registered callback keeps nothing alive.
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.get(), 20000));
    DWORD exitCode = 99;
    ::GetExitCodeProcess(process.get(), &exitCode);
    ASSERT_EQ(0u, exitCode);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ready.get(), 0));
    const std::string listener = "\nlistener " + std::to_string(info.dwProcessId) + "\n";
    const std::string connection = "\nconnection " + std::to_string(info.dwProcessId) + " ";
    ASSERT_NE(std::string::npos, FileText(m_sim.StatePath()).find(listener)) << "left as it was";
    EXPECT_EQ(std::wstring::npos, m_sim.Describe().find(L"process " + std::to_wstring(info.dwProcessId)))
        << "an ended process is not connected";

    ASSERT_EQ(0u, m_api.ResetDevice());
    const std::string state = FileText(m_sim.StatePath());
    EXPECT_EQ(std::string::npos, state.find(listener)) << state;
    ASSERT_EQ(0u, m_api.Connect());
    EXPECT_EQ(std::string::npos, FileText(m_sim.StatePath()).find(connection)) << "dropped at a connect";
}

DWORD QdlStatus()
{
    DWORD value = 0, size = sizeof(value), type = 0;
    CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, TOVISIM_QDL_KEY, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExW(key.get(), TOVISIM_QDL_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        return 0xFFFFFFFF;
    return value;
}

TEST_F(SimulatorTest, AnUpgradeStoresMissingImagesEvictsWhenFullAndSignalsTheDownloadService)
{
    ASSERT_EQ(0u, m_sim.Create(L"6", 2));
    // Manual reset, so that the test sees that it was signalled at all.
    CHandle service(::CreateEventW(nullptr, TRUE, FALSE, TOVISIM_QDL_EVENT));
    ASSERT_TRUE(service.valid());

    ASSERT_EQ(0u, m_api.UpgradeFirmware3k(m_sim.FolderPath(3).c_str(), 0));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(service.get(), 0));
    EXPECT_EQ((DWORD)TOVISIM_QDL_COMPLETE, QdlStatus());
    EXPECT_EQ((std::vector<std::string>{m_six.modem.buildId, m_three.modem.buildId}), StoredBuildIds(m_sim, 0));
    EXPECT_EQ((std::vector<std::string>{m_six.pri.buildId, m_three.pri.buildId}), StoredBuildIds(m_sim, 1));
    EXPECT_EQ(m_three.pri.buildId, m_sim.RunningBuildId(1));
    EXPECT_EQ(m_three.pri.buildId, m_sim.PreferredBuildId(1));

    // Full: folder 6's images, neither running nor preferred, make room; the
    // new images take the freed slot.
    const SampleFolder one = DescribeSampleFolder(1, 1575, 3);
    ASSERT_EQ(0u, m_api.UpgradeFirmware3k(m_sim.FolderPath(1).c_str(), 0));
    EXPECT_EQ((std::vector<std::string>{one.modem.buildId, m_three.modem.buildId}), StoredBuildIds(m_sim, 0));
    EXPECT_EQ((std::vector<std::string>{one.pri.buildId, m_three.pri.buildId}), StoredBuildIds(m_sim, 1));
    EXPECT_EQ(101u, ReadFirmwareInfo(m_api).carrier);

    // Already stored: no eviction, the modem switches back.
    ASSERT_EQ(0u, m_api.UpgradeFirmware3k(m_sim.FolderPath(3).c_str(), 1));
    EXPECT_EQ((std::vector<std::string>{one.modem.buildId, m_three.modem.buildId}), StoredBuildIds(m_sim, 0));
    EXPECT_EQ(m_three.modem.buildId, m_sim.RunningBuildId(0));

    // One slot per type, taken by the running images: nothing can be evicted.
    ASSERT_EQ(0u, m_sim.Create(L"6", 1));
    ::ResetEvent(service.get());
    EXPECT_NE(0u, m_api.UpgradeFirmware3k(m_sim.FolderPath(3).c_str(), 0));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(service.get(), 0));
    EXPECT_EQ((DWORD)TOVISIM_QDL_FAILED, QdlStatus());
    EXPECT_EQ((std::vector<std::string>{m_six.modem.buildId}), StoredBuildIds(m_sim, 0));
    EXPECT_EQ(m_six.pri.buildId, m_sim.RunningBuildId(1));

    // Folders that do not exist or lack an image.
    const std::wstring noPri = m_sim.MakeTempFolder(L"nopri");
    ASSERT_TRUE(::CopyFileW((m_sim.FolderPath(3) + L"\\AMSS.mbn").c_str(), (noPri + L"\\AMSS.mbn").c_str(), FALSE));
    EXPECT_NE(0u, m_api.UpgradeFirmware3k(noPri.c_str(), 0));
    EXPECT_NE(0u, m_api.UpgradeFirmware3k(m_sim.FolderPath(L"-1").c_str(), 0));
    EXPECT_EQ(m_six.modem.buildId, m_sim.RunningBuildId(0));
}

TEST(SimModemTest, LeavesTheDownloadStatusValueAsItFoundIt)
{
    const DWORD before = QdlStatus();
    {
        CSimModem sim;
        ASSERT_EQ(0u, sim.Create(L"6"));
        CApi api(sim);
        ASSERT_EQ(0u, api.Connect());
        ASSERT_EQ(0u, api.UpgradeFirmware3k(sim.FolderPath(3).c_str(), 0));
        EXPECT_EQ((DWORD)TOVISIM_QDL_COMPLETE, QdlStatus());
    }
    EXPECT_EQ(before, QdlStatus());
}

TEST_F(SimulatorTest, AnUpgradeWithoutTheServiceEventStillWorks)
{
    CHandle running(::OpenEventW(SYNCHRONIZE, FALSE, TOVISIM_QDL_EVENT));
    if (running)
        GTEST_SKIP() << "a download service (stand-in) runs";
    EXPECT_EQ(0u, m_api.UpgradeFirmware3k(m_sim.FolderPath(3).c_str(), 0));
    CHandle created(::OpenEventW(SYNCHRONIZE, FALSE, TOVISIM_QDL_EVENT));
    EXPECT_FALSE(created.valid()) << "the library never creates it";
    EXPECT_EQ(m_three.modem.buildId, m_sim.RunningBuildId(0));
}

TEST_F(SimulatorTest, AFaultAnswersForItsCountThenTheModemAnswersNormally)
{
    ASSERT_EQ(0u, m_sim.SetFault("QCWWANConnect", 6, 3));
    ASSERT_EQ(0u, m_sim.SetFault("GetFirmwareRevision", 31, TOVISIM_ALWAYS));
    EXPECT_EQ(6u, m_api.Connect());
    EXPECT_EQ(6u, m_api.Connect());
    EXPECT_EQ(6u, m_api.Connect());
    EXPECT_EQ(0u, m_api.Connect());
    char revision[64] = {};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(31u, m_api.GetFirmwareRevision(sizeof(revision), revision));

    ASSERT_EQ(0u, m_sim.ClearFaults());
    EXPECT_EQ(0u, m_api.GetFirmwareRevision(sizeof(revision), revision));

    // A count of 0 removes a fault; an entry point the API lacks is refused.
    ASSERT_EQ(0u, m_sim.SetFault("ResetDevice", 5, TOVISIM_ALWAYS));
    ASSERT_EQ(0u, m_sim.SetFault("ResetDevice", 5, 0));
    EXPECT_EQ(0u, m_api.ResetDevice());
    EXPECT_NE(0u, m_sim.SetFault("NoSuchEntry", 5, 1));
    EXPECT_NE(0u, m_sim.SetFault(nullptr, 5, 1));
}

TEST_F(SimulatorTest, ARawListReplacesTheAnswerOfAListCall)
{
    ASSERT_EQ(0u, m_sim.SetRawList("GetStoredImages", {3, 2, 1}, 2));
    for (int i = 0; i < 2; ++i)
    {
        std::vector<BYTE> buffer(2560, 0xEE);
        ULONG size = 2560;
        ASSERT_EQ(0u, m_api.GetStoredImages(&size, &buffer[0]));
        EXPECT_EQ(3u, size);
        EXPECT_EQ((std::vector<BYTE>{3, 2, 1, 0xEE}), std::vector<BYTE>(buffer.begin(), buffer.begin() + 4));
    }
    std::vector<BYTE> buffer(2560);
    ULONG size = 2560;
    ASSERT_EQ(0u, m_api.GetStoredImages(&size, &buffer[0]));
    EXPECT_EQ(2, buffer[0]) << "back to the modem's own list";

    // Longer than the buffer: cut at the buffer, the count claims it all.
    // GetImageIDs' in-length of 0 stands for its 256-byte buffer.
    ASSERT_EQ(0u, m_sim.SetRawList("GetImageIDs", std::vector<BYTE>(300, 7), 1));
    std::vector<BYTE> ids(260, 0);
    size = 0;
    ASSERT_EQ(0u, m_api.GetImageIDs(m_sim.FolderPath(6).c_str(), &size, &ids[0]));
    EXPECT_EQ(300u, size);
    EXPECT_EQ(7, ids[255]);
    EXPECT_EQ(0, ids[256]);

    EXPECT_NE(0u, m_sim.SetRawList("QCWWANConnect", {1}, 1)) << "only list calls answer lists";
}

TEST_F(SimulatorTest, AnswersThatDoNotFitTheCallersBufferAreRefusedNotOverrun)
{
    // Preference list: needs 1 + 38 + 33 bytes.
    std::vector<BYTE> buffer(100, 0xEE);
    ULONG size = 10;
    EXPECT_EQ((ULONG)ERROR_INSUFFICIENT_BUFFER, m_api.GetImagesPreference(&size, &buffer[0]));
    EXPECT_EQ(PreferenceList({m_six.modem, m_six.pri}).size(), size);
    EXPECT_EQ(0xEE, buffer[0]);

    wchar_t root[8];
    std::fill(root, root + 8, L'#');
    EXPECT_EQ((ULONG)ERROR_INSUFFICIENT_BUFFER, m_api.GetImageStoreW(4, root));
    EXPECT_EQ(L'\0', root[0]);
    EXPECT_EQ(L'#', root[4]);
    wchar_t fullRoot[265] = {};
    ASSERT_EQ(0u, m_api.GetImageStoreW(260, fullRoot));
    EXPECT_EQ(m_sim.StoreRoot(), fullRoot);

    // A build ID of 32 characters is a valid identity: it fills the 32
    // characters without a terminator. Only one longer than the capacity is refused.
    const std::wstring odd = m_sim.MakeTempFolder(L"odd");
    BYTE id[16] = {1, 2, 3};
    ASSERT_TRUE(WriteImageFile(odd + L"\\AMSS.mbn", 0, id, 0x1234, std::string(32, 'B')));
    ASSERT_TRUE(WriteImageFile(odd + L"\\UQCN_X.mbn", 1, id, 0x02090000, std::string(31, 'P')));
    BYTE type = 0xFF, imageId[16] = {};
    ULONG versionId = 0;
    wchar_t buildId[33];
    std::fill(buildId, buildId + 33, L'#');
    ASSERT_EQ(0u, m_api.GetImageInfo3KW(0, 0, (odd + L"\\AMSS.mbn").c_str(), &type, imageId, &versionId, 32,
                                        buildId));
    EXPECT_EQ(0, type);
    EXPECT_EQ(0x1234u, versionId);
    EXPECT_EQ(std::wstring(32, L'B'), std::wstring(buildId, 32));
    EXPECT_EQ(L'#', buildId[32]);
    std::fill(buildId, buildId + 33, L'#');
    type = 0xFF;
    EXPECT_EQ((ULONG)ERROR_INSUFFICIENT_BUFFER,
              m_api.GetImageInfo3KW(0, 0, (odd + L"\\AMSS.mbn").c_str(), &type, imageId, &versionId, 31, buildId));
    EXPECT_EQ(0xFF, type);
    EXPECT_EQ(L'#', buildId[0]);
    EXPECT_EQ(L'#', buildId[31]);
    ASSERT_EQ(0u, m_api.GetImageInfo3KW(0, 0, (odd + L"\\UQCN_X.mbn").c_str(), &type, imageId, &versionId, 32,
                                        buildId));
    EXPECT_EQ(1, type);
    EXPECT_EQ(0x02090000u, versionId);
    EXPECT_EQ(0, std::memcmp(id, imageId, 16));
    EXPECT_EQ(std::wstring(31, L'P'), buildId);

    char revision[4];
    EXPECT_EQ((ULONG)ERROR_INSUFFICIENT_BUFFER, m_api.GetFirmwareRevision(sizeof(revision), revision));
    EXPECT_EQ('\0', revision[0]);
}

TEST_F(SimulatorTest, HostImageCallsReadTheFilesAndRefuseWhatIsNotAnImage)
{
    BYTE type = 0xFF, imageId[16] = {};
    ULONG versionId = 0;
    wchar_t buildId[32] = {};
    const std::wstring priPath = m_sim.FolderPath(3) + L"\\" + m_three.pri.fileName;
    ASSERT_EQ(0u, m_api.GetImageInfo3KW(0, 0, priPath.c_str(), &type, imageId, &versionId, 32, buildId));
    EXPECT_EQ(1, type);
    EXPECT_EQ(m_three.pri.versionId, versionId);
    EXPECT_EQ(0, std::memcmp(m_three.pri.imageId, imageId, 16));
    EXPECT_EQ(std::wstring(m_three.pri.buildId.begin(), m_three.pri.buildId.end()), buildId);

    const std::wstring bad = m_sim.MakeTempFolder(L"bad");
    ASSERT_TRUE(WriteRawFile(bad + L"\\AMSS.mbn", {'M', 'Z', 0, 0}));
    EXPECT_NE(0u, m_api.GetImageInfo3KW(0, 0, (bad + L"\\AMSS.mbn").c_str(), &type, imageId, &versionId, 32,
                                        buildId));
    EXPECT_NE(0u, m_api.GetImageInfo3KW(0, 0, (bad + L"\\missing.mbn").c_str(), &type, imageId, &versionId, 32,
                                        buildId));
    std::vector<BYTE> list(256);
    ULONG size = 0;
    EXPECT_NE(0u, m_api.GetImageIDs(bad.c_str(), &size, &list[0]));
    EXPECT_NE(0u, m_sim.StoreFolder(bad));
}

TEST_F(SimulatorTest, DeleteRemovesAStoredImageAndRefusesUnknownAndRunningOnes)
{
    ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
    std::vector<BYTE> record = Record(m_three.pri);
    EXPECT_EQ(0u, m_api.DeleteStoredImage((ULONG)record.size(), record.data()));
    EXPECT_EQ((std::vector<std::string>{m_six.pri.buildId}), StoredBuildIds(m_sim, 1));
    EXPECT_EQ((std::vector<std::string>{m_six.modem.buildId, m_three.modem.buildId}), StoredBuildIds(m_sim, 0));

    EXPECT_NE(0u, m_api.DeleteStoredImage((ULONG)record.size(), record.data())) << "gone already";
    record = Record(m_six.modem);
    EXPECT_NE(0u, m_api.DeleteStoredImage((ULONG)record.size(), record.data())) << "it runs";
    EXPECT_NE(0u, m_api.DeleteStoredImage((ULONG)record.size() - 1, record.data())) << "length does not match";
    EXPECT_EQ(2u, m_sim.StoredImages(0).size());
}

TEST_F(SimulatorTest, TheJournalRecordsEachCallWithItsArgumentsAndResultAndKeepsTheLast500)
{
    ASSERT_EQ(0u, m_sim.ClearJournal());
    ASSERT_EQ(0u, m_sim.SetFault("QCWWANConnect", 6, 1));
    m_api.Connect();
    m_api.Connect();
    std::vector<BYTE> buffer(2560);
    ULONG size = 2560;
    m_api.GetImagesPreference(&size, &buffer[0]);
    m_api.SetPortAutomaticTracking(1);
    m_api.UpgradeFirmware3k(m_sim.FolderPath(L"-1").c_str(), 1);
    std::vector<BYTE> list = PreferenceList({m_three.modem, m_three.pri});
    BYTE answer[256];
    ULONG count = 2;
    m_api.SetImagesPreference((ULONG)list.size(), list.data(), 0, 0xFF, &count, answer);

    EXPECT_EQ((std::vector<std::wstring>{
                  L"QCWWANConnect() = 6",
                  L"QCWWANConnect() = 0",
                  L"GetImagesPreference(2560) = 0",
                  L"SetPortAutomaticTracking(1) = 0",
                  L"UpgradeFirmware3k(" + m_sim.FolderPath(L"-1") + L", 1) = 3",
                  L"SetImagesPreference(72, {0:AMSS-STAUSH-F03-1575, 1:UQCN-C102-F03-3}, 0, 255, 2) = 0",
              }),
              m_sim.Journal());
    EXPECT_EQ(1u, m_sim.GpsTrackingValue());

    for (int i = 0; i < 510; ++i)
        m_api.Disconnect();
    std::vector<std::wstring> journal = m_sim.Journal();
    EXPECT_EQ(500u, journal.size());
    EXPECT_EQ(L"QCWWANDisconnect() = 0", journal.front());
}

TEST_F(SimulatorTest, AnUnreadableStateIsRefusedUntilANewModemIsCreated)
{
    // A state cut short (no "end" line) counts as unreadable, like garbage.
    for (const char* text : {"garbage", "TOVISIM-STATE 1\nmodem present\n"})
    {
        SCOPED_TRACE(text);
        ASSERT_TRUE(WriteRawFile(m_sim.StatePath(), std::vector<BYTE>(text, text + strlen(text))));
        EXPECT_EQ((ULONG)ERROR_FILE_CORRUPT, m_api.Connect());
        EXPECT_EQ((ULONG)ERROR_FILE_CORRUPT, m_sim.SetFault("QCWWANConnect", 6, 1));
        EXPECT_FALSE(m_sim.Exists());
        ASSERT_EQ(0u, m_sim.Create(L"3"));
        EXPECT_EQ(0u, m_api.Connect());
        EXPECT_EQ(m_three.pri.buildId, m_sim.RunningBuildId(1));
    }
}

TEST_F(SimulatorTest, ProcessesUsingTheModemAtOnceLoseNoUpdate)
{
    ASSERT_EQ(0u, m_sim.ClearJournal());
    const int kRounds = 60;
    CTovisimRun tracker(L"--repeat " + std::to_wstring(kRounds) + L" gps 7");
    CTovisimRun storer(L"--repeat 20 store \"" + m_sim.FolderPath(1) + L"\" \"" + m_sim.FolderPath(2) + L"\"");
    CTovisimRun viewer(L"--repeat 20 show");
    ASSERT_TRUE(tracker.Started());
    ASSERT_TRUE(storer.Started());
    ASSERT_TRUE(viewer.Started());
    for (int i = 0; i < kRounds; ++i)
    {
        EXPECT_EQ(0u, m_api.SetPortAutomaticTracking(1));
        EXPECT_EQ(0u, m_sim.StoreFolder(i % 2 ? L"3" : L"4"));
        EXPECT_TRUE(m_sim.Exists());
    }
    EXPECT_EQ(0, tracker.Finish()) << tracker.Output();
    EXPECT_EQ(0, storer.Finish()) << storer.Output();
    EXPECT_EQ(0, viewer.Finish()) << viewer.Output();

    // Every call of both processes is in the journal: no write was lost.
    EXPECT_EQ((size_t)kRounds, m_sim.JournalCalls(L"SetPortAutomaticTracking(7) = 0").size());
    EXPECT_EQ((size_t)kRounds, m_sim.JournalCalls(L"SetPortAutomaticTracking(1) = 0").size());
    // Each folder stored by either process is there once, in a slot of its own.
    for (BYTE type = 0; type < 2; ++type)
    {
        std::vector<SimStoredImage> images = m_sim.StoredImages(type);
        ASSERT_EQ(5u, images.size());
        for (size_t i = 0; i < images.size(); ++i)
            EXPECT_EQ(i, images[i].slot);
    }
    std::vector<std::string> modemIds = StoredBuildIds(m_sim, 0);
    for (int folder : {1, 2, 3, 4, 6})
        EXPECT_NE(modemIds.end(), std::find(modemIds.begin(), modemIds.end(),
                                            DescribeSampleFolder(folder, 1575, 3).modem.buildId))
            << folder;
}

TEST_F(SimulatorTest, TovisimDrivesTheModemAndRefusesBadInputWithItsUsage)
{
    struct Case
    {
        std::wstring arguments;
        int exitCode;
        const char* output;
    };
    const Case cases[] = {
        {L"", 2, "else %TOVISIM_STATE%,"},
        {L"frobnicate", 2, "unknown command frobnicate"},
        {L"fault QCWWANConnect", 2, "fault needs <entryPoint> <code>"},
        {L"fault NoSuchCall 6", 2, "no modem API entry point is called NoSuchCall"},
        {L"delay soon", 2, "delay needs <milliseconds>"},
        {L"--repeat 0 show", 2, "--repeat needs a number above 0"},
        {L"create \"" + m_sim.StoreRoot() + L"\" 6", 0, "a reset takes 1500 ms"},
        {L"show", 0, "Reset delay: 1500 ms"},
        // Decimal, whatever zeros lead.
        {L"delay 010", 0, ""},
        {L"gps 08", 0, ""},
        {L"show", 0, "Reset delay: 10 ms"},
        {L"show", 0, "GPS tracking: 8"},
        {L"fault GetFirmwareRevision 31 2", 0, ""},
        {L"prefer 1", 1, "are not stored"},
        {L"show", 0, "Fault: GetFirmwareRevision answers 31 for 2 more calls"},
        {L"delete AMSS-STSUGN-F06-1575", 1, "DeleteStoredImage failed: 170 (the image is running or preferred)"},
        {L"upgrade 3", 0, "Upgraded from"},
        {L"show", 0, "Running:   AMSS-STAUSH-F03-1575 + UQCN-C102-F03-3"},
        {L"journal", 0, "UpgradeFirmware3k("},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.arguments.c_str());
        CTovisimRun run(c.arguments);
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(c.exitCode, run.Finish());
        EXPECT_NE(std::string::npos, run.Output().find(c.output)) << run.Output();
        if (c.exitCode == 2)
        {
            EXPECT_NE(std::string::npos, run.Output().find("usage: tovisim")) << run.Output();
        }
    }
    char revision[64] = {};
    EXPECT_EQ(31u, m_api.GetFirmwareRevision(sizeof(revision), revision)) << "the fault set by tovisim";
    // tovisim's commands disconnected when done: only this process is connected.
    const std::string state = FileText(m_sim.StatePath());
    const size_t first = state.find("\nconnection ");
    EXPECT_NE(std::string::npos, first) << state;
    EXPECT_EQ(std::string::npos, state.find("\nconnection ", first + 1)) << state;

    // Asked for, the usage goes to standard output; an error's usage does not.
    for (const wchar_t* help : {L"help", L"-h", L"--help", L"--repeat 2 --help"})
    {
        SCOPED_TRACE(help);
        CTovisimRun run(help, false);
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(0, run.Finish());
        EXPECT_NE(std::string::npos, run.Output().find("usage: tovisim")) << run.Output();
    }
    CTovisimRun unknown(L"frobnicate", false);
    ASSERT_TRUE(unknown.Started());
    EXPECT_EQ(2, unknown.Finish());
    EXPECT_EQ("", unknown.Output());
}

TEST_F(SimulatorTest, TovisimGeneratesAStoreWithTheVersionsAsked)
{
    const std::wstring root = m_sim.MakeTempFolder(L"generated");
    CTovisimRun run(L"generate \"" + root + L"\" --version 1600 --pri-version 9 --folders 6,10");
    ASSERT_TRUE(run.Started());
    ASSERT_EQ(0, run.Finish()) << run.Output();
    SampleImage modem, pri;
    ASSERT_TRUE(ReadImageFile(root + L"\\10\\AMSS.mbn", modem));
    EXPECT_EQ("AMSS-STAUVH-F10-1600", modem.buildId);
    ASSERT_TRUE(ReadImageFile(root + L"\\6\\UQCN_001.mbn", pri));
    EXPECT_EQ("UQCN-C001-F06-9", pri.buildId);
    EXPECT_EQ(9u, pri.versionId & 0x7F);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW((root + L"\\0").c_str())) << "only the folders asked";

    CTovisimRun bad(L"generate \"" + root + L"\" --folders 17");
    ASSERT_TRUE(bad.Started());
    EXPECT_EQ(2, bad.Finish()) << bad.Output();
}

TEST_F(SimulatorTest, TheServiceStandInHoldsTheEventUntilStopped)
{
    CTovisimRun service(L"service");
    ASSERT_TRUE(service.Started());
    CHandle event;
    for (int i = 0; i < 200 && !event; ++i)
    {
        event.reset(::OpenEventW(SYNCHRONIZE, FALSE, TOVISIM_QDL_EVENT));
        if (!event)
            ::Sleep(50);
    }
    ASSERT_TRUE(event.valid()) << "the stand-in creates the event";
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, ::WaitForSingleObject(service.Process(), 0)) << "and keeps running";

    CTovisimRun stop(L"service stop");
    ASSERT_TRUE(stop.Started());
    EXPECT_EQ(0, stop.Finish()) << stop.Output();
    EXPECT_EQ(0, service.Finish(10000));
    EXPECT_NE(std::string::npos, service.Output().find("holding Global\\QDL_STATUS_CHANGE_EVENT")) << service.Output();
}
}
