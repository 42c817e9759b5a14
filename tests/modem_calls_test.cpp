// The program's modem API table bound to the simulated ToviApi.dll, and every
// one of its 15 entry points called through it. The simulator's journal shows
// the arguments as the library received them and the outputs come back where
// the caller put its pointers. In a 32-bit build this is where the calling
// convention between the program and the library is crossed: a pointer type
// without WINAPI, a parameter of the wrong size or a wrong export name shows
// here as a missing entry point, a shifted argument, a wrong output or a
// crash, while a 64-bit build (one calling convention) passes regardless.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "SampleStore.h"
#include "modem/ToviApiWrapper.h"
#include "platform/Handles.h"
#include "support/SimModem.h"

namespace
{
// The sizes the program passes (the library's contract).
const ULONG kListBufferSize = 2560;
const ULONG kImageStoreCapacity = 260;
const ULONG kBuildIdCapacity = 32;
const ULONG kRevisionCapacity = 64;
const BYTE kAnyModemIndex = 0xFF;

// The stack pointer as a function called from here sees it: a fixed
// distance below the caller's own, so two readings from one place of one
// caller differ only when something in between moved the caller's stack.
__attribute__((noinline, noclone)) uintptr_t StackPointerHere()
{
    uintptr_t sp;
#if defined(__i386__)
    asm volatile("movl %%esp, %0" : "=r"(sp));
#else
    asm volatile("movq %%rsp, %0" : "=r"(sp));
#endif
    return sp;
}

// Makes one call through the table and checks that the stack is as it was: a
// caller and a library that disagree on who removes the arguments (a pointer
// type without WINAPI) leave it moved by their size. The frame pointer keeps
// this function's own variables and its return sound when that happens.
template <typename Call>
__attribute__((noinline, optimize("no-omit-frame-pointer"))) ULONG CallBalanced(const char* name, Call call)
{
    uintptr_t before = StackPointerHere();
    ULONG result = call();
    uintptr_t after = StackPointerHere();
    EXPECT_EQ(before, after) << name << " moved the stack pointer by " << (long long)(after - before) << " bytes";
    return result;
}

#define THROUGH_TABLE(name, ...) \
    CallBalanced(#name, [&]() -> ULONG { return CToviApiWrapper::m_pfn##name(__VA_ARGS__); })

HANDLE g_removal = nullptr;
volatile LONG g_removals = 0;

void WINAPI OnRemoval()
{
    ::InterlockedIncrement(&g_removals);
    ::SetEvent(g_removal);
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

// The image record of a preference list's entry at offset: 18 + its build ID.
std::vector<BYTE> EntryAt(const BYTE* list, size_t offset)
{
    size_t size = 18 + list[offset + 17];
    return std::vector<BYTE>(list + offset, list + offset + size);
}

class ModemCallsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_sim.Loaded());
        ASSERT_EQ(0u, m_sim.Create(L"6"));
        ASSERT_EQ(0u, m_sim.StoreFolder(L"3"));
        ASSERT_EQ(0u, m_sim.ClearJournal());
        g_removal = m_removal.get();
        g_removals = 0;
    }

    void TearDown() override
    {
        if (CToviApiWrapper::m_pfnSetDeviceRemovalCallback)
            CToviApiWrapper::m_pfnSetDeviceRemovalCallback(nullptr);
        CToviApiWrapper::DeInit();
        g_removal = nullptr;
    }

    CSimModem m_sim;
    CHandle m_removal{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

TEST_F(ModemCallsTest, EveryEntryPointOfTheTableReachesTheLibraryWithItsArgumentsAndOutputs)
{
    ASSERT_TRUE(CToviApiWrapper::Initialize());
    ASSERT_EQ(m_sim.Module(), CToviApiWrapper::m_hToviApi) << "the table is not bound to the simulator";
    ASSERT_NE(nullptr, CToviApiWrapper::m_pfnUpgradeFirmware3k);
    ASSERT_NE(nullptr, CToviApiWrapper::m_pfnGetImageIDs);

    const SampleFolder three = DescribeSampleFolder(3, 1575, 3);
    const SampleFolder six = DescribeSampleFolder(6, 1575, 3);
    const std::wstring folder3 = m_sim.FolderPath(3);
    const std::wstring amss3 = folder3 + L"\\AMSS.mbn";
    ASSERT_EQ(0u, m_sim.OverrideFirmwareInfo(1, 204, 5, 3));

    EXPECT_EQ(0u, THROUGH_TABLE(QCWWANConnect));

    wchar_t root[kImageStoreCapacity] = {};
    EXPECT_EQ(0u, THROUGH_TABLE(GetImageStoreW, kImageStoreCapacity, root));
    EXPECT_EQ(m_sim.StoreRoot(), root);

    // Five outputs of different values: a pointer passed in the wrong place
    // puts a value where another belongs.
    ULONG firmwareId = 0, technology = 0, carrier = 0, region = 0, gps = 0;
    EXPECT_EQ(0u, THROUGH_TABLE(GetFirmwareInfo, &firmwareId, &technology, &carrier, &region, &gps));
    EXPECT_EQ(1575u, firmwareId);
    EXPECT_EQ(1u, technology);
    EXPECT_EQ(204u, carrier);
    EXPECT_EQ(5u, region);
    EXPECT_EQ(3u, gps);

    CHAR revision[kRevisionCapacity + 1] = {};
    EXPECT_EQ(0u, THROUGH_TABLE(GetFirmwareRevision, kRevisionCapacity, revision));
    char expectedRevision[kRevisionCapacity + 1] = {};
    std::snprintf(expectedRevision, sizeof(expectedRevision), "%08lX TOVISIM %s", six.pri.versionId,
                  six.modem.buildId.c_str());
    EXPECT_STREQ(expectedRevision, revision);

    BYTE ids[256] = {};
    ULONG idsSize = 0;
    EXPECT_EQ(0u, THROUGH_TABLE(GetImageIDs, folder3.c_str(), &idsSize, ids));
    ASSERT_EQ(2, ids[0]);
    const std::vector<BYTE> modemRecord = EntryAt(ids, 1);
    const std::vector<BYTE> priRecord = EntryAt(ids, 1 + modemRecord.size());
    EXPECT_EQ(1 + modemRecord.size() + priRecord.size(), idsSize);
    EXPECT_EQ(0, std::memcmp(three.modem.imageId, &modemRecord[1], 16));

    BYTE type = 0xEE;
    BYTE imageId[16] = {};
    ULONG versionId = 0;
    wchar_t buildId[kBuildIdCapacity] = {};
    EXPECT_EQ(0u, THROUGH_TABLE(GetImageInfo3KW, 0, 0, amss3.c_str(), &type, imageId, &versionId,
                                kBuildIdCapacity, buildId));
    EXPECT_EQ(0, type);
    EXPECT_EQ(0, std::memcmp(three.modem.imageId, imageId, 16));
    EXPECT_EQ(three.modem.versionId, versionId);
    EXPECT_EQ(Wide(three.modem.buildId), std::wstring(buildId, wcsnlen(buildId, kBuildIdCapacity)));

    std::vector<BYTE> list(kListBufferSize);
    ULONG listSize = kListBufferSize;
    EXPECT_EQ(0u, THROUGH_TABLE(GetImagesPreference, &listSize, list.data()));
    EXPECT_EQ(1 + 2 * 18 + six.modem.buildId.size() + six.pri.buildId.size(), listSize)
        << "folder 6's two preferred images";
    EXPECT_EQ(2, list[0]);

    ULONG storedSize = kListBufferSize;
    EXPECT_EQ(0u, THROUGH_TABLE(GetStoredImages, &storedSize, list.data()));
    EXPECT_EQ(2, list[0]) << "two lists, one per image type";
    EXPECT_EQ(0, list[1]);
    EXPECT_EQ(2, list[4]) << "folders 6 and 3 stored";

    std::vector<BYTE> record = priRecord;
    EXPECT_EQ(0u, THROUGH_TABLE(DeleteStoredImage, (ULONG)record.size(), record.data()));
    EXPECT_TRUE(m_sim.StoredImages(1).size() == 1 && m_sim.StoredImages(1)[0].buildId == six.pri.buildId);

    // Folder 3's PRI image is gone now: the modem answers that one image
    // (of type 1) is still to download and keeps its preference.
    BYTE types[256] = {};
    types[0] = 0xEE;
    ULONG typesSize = 2;
    EXPECT_EQ(0u, THROUGH_TABLE(SetImagesPreference, idsSize, ids, 0, kAnyModemIndex, &typesSize, types));
    EXPECT_EQ(1u, typesSize);
    EXPECT_EQ(1, types[0]);
    EXPECT_EQ(six.modem.buildId, m_sim.PreferredBuildId(0));

    EXPECT_EQ(0u, THROUGH_TABLE(SetDeviceRemovalCallback, &OnRemoval));
    EXPECT_EQ(0u, THROUGH_TABLE(UpgradeFirmware3k, folder3.c_str(), 1));
    EXPECT_EQ(three.modem.buildId, m_sim.RunningBuildId(0));
    EXPECT_EQ(three.pri.buildId, m_sim.RunningBuildId(1));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_removal.get(), 5000)) << "no removal callback after the upgrade";

    EXPECT_EQ(0u, THROUGH_TABLE(ResetDevice));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(m_removal.get(), 5000)) << "no removal callback after the reset";
    EXPECT_EQ(2, g_removals);

    EXPECT_EQ(0u, THROUGH_TABLE(SetPortAutomaticTracking, 1));
    EXPECT_EQ(1u, m_sim.GpsTrackingValue());
    EXPECT_EQ(0u, THROUGH_TABLE(SetDeviceRemovalCallback, nullptr));
    EXPECT_EQ(0u, THROUGH_TABLE(QCWWANDisconnect));

    const std::wstring modem3 = L"0:" + Wide(three.modem.buildId);
    const std::wstring pri3 = L"1:" + Wide(three.pri.buildId);
    const std::vector<std::wstring> expected = {
        L"QCWWANConnect() = 0",
        L"GetImageStoreW(260) = 0",
        L"GetFirmwareInfo() = 0",
        L"GetFirmwareRevision(64) = 0",
        L"GetImageIDs(" + folder3 + L", 0) = 0",
        L"GetImageInfo3KW(0, 0, " + amss3 + L", 32) = 0",
        L"GetImagesPreference(2560) = 0",
        L"GetStoredImages(2560) = 0",
        L"DeleteStoredImage(" + std::to_wstring(priRecord.size()) + L", " + pri3 + L") = 0",
        L"SetImagesPreference(" + std::to_wstring(idsSize) + L", {" + modem3 + L", " + pri3 + L"}, 0, 255, 2) = 0",
        L"SetDeviceRemovalCallback(set) = 0",
        L"UpgradeFirmware3k(" + folder3 + L", 1) = 0",
        L"ResetDevice() = 0",
        L"SetPortAutomaticTracking(1) = 0",
        L"SetDeviceRemovalCallback(null) = 0",
        L"QCWWANDisconnect() = 0",
    };
    EXPECT_EQ(expected, m_sim.Journal());
}
}
