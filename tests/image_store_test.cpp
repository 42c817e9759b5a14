// The image store against a fake modem API: the test fills CToviApiWrapper's
// table, through which every store call goes, with functions of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "modem/FwImageStore.h"
#include "modem/ImageListCodec.h"
#include "modem/ToviApiWrapper.h"
#include "support/PauseRecorder.h"
#include "support/TraceCapture.h"

namespace
{
typedef std::vector<BYTE> Bytes;

// What the fake modem answers and what it was sent.
struct FakeModem
{
    std::deque<ULONG> connectAnswers;  // the last answer repeats
    int connectCalls = 0;
    ULONG disconnectAnswer = 0;
    int disconnectCalls = 0;

    ULONG listAnswer = 0;
    Bytes preferenceList;
    Bytes storedList;
    LONG returnedCount = -1;  // byte count the library reports; -1: the list's size
    ULONG offeredCount = 0;

    ULONG setPreferenceAnswer = 0;
    Bytes sentPreference;
    ULONG sentForce = 99;
    BYTE sentStorageIndex = 0;
    ULONG sentAnswerCount = 0;
    int resetCalls = 0;

    std::deque<ULONG> deleteAnswers;  // empty: 0
    std::vector<Bytes> deletedRecords;
};

FakeModem g_modem;

ULONG WINAPI FakeConnect()
{
    ++g_modem.connectCalls;
    ULONG answer = g_modem.connectAnswers.front();
    if (g_modem.connectAnswers.size() > 1)
        g_modem.connectAnswers.pop_front();
    return answer;
}

ULONG WINAPI FakeDisconnect()
{
    ++g_modem.disconnectCalls;
    return g_modem.disconnectAnswer;
}

ULONG AnswerList(const Bytes& list, ULONG* pcbList, BYTE* pList)
{
    g_modem.offeredCount = *pcbList;
    if (g_modem.listAnswer != 0)
        return g_modem.listAnswer;
    memcpy(pList, list.data(), std::min<size_t>(list.size(), *pcbList));
    *pcbList = g_modem.returnedCount >= 0 ? (ULONG)g_modem.returnedCount : (ULONG)list.size();
    return 0;
}

ULONG WINAPI FakeGetImagesPreference(ULONG* pcbList, BYTE* pList)
{
    return AnswerList(g_modem.preferenceList, pcbList, pList);
}

ULONG WINAPI FakeGetStoredImages(ULONG* pcbList, BYTE* pList)
{
    return AnswerList(g_modem.storedList, pcbList, pList);
}

ULONG WINAPI FakeSetImagesPreference(ULONG cbList, BYTE* pList, ULONG bForce, BYTE storageIndex, ULONG* pcbAnswer,
                                     BYTE*)
{
    g_modem.sentPreference.assign(pList, pList + cbList);
    g_modem.sentForce = bForce;
    g_modem.sentStorageIndex = storageIndex;
    g_modem.sentAnswerCount = *pcbAnswer;
    return g_modem.setPreferenceAnswer;
}

ULONG WINAPI FakeResetDevice()
{
    ++g_modem.resetCalls;
    return 0;
}

ULONG WINAPI FakeDeleteStoredImage(ULONG cbRecord, BYTE* pRecord)
{
    g_modem.deletedRecords.emplace_back(pRecord, pRecord + cbRecord);
    if (g_modem.deleteAnswers.empty())
        return 0;
    ULONG answer = g_modem.deleteAnswers.front();
    g_modem.deleteAnswers.pop_front();
    return answer;
}

// Byte builders for the lists. An image ID is 16 bytes counting up from a seed.
Bytes ImageId(BYTE seed)
{
    Bytes id;
    for (int i = 0; i < IMAGE_ID_SIZE; ++i)
        id.push_back((BYTE)(seed + i));
    return id;
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes BuildId(const std::string& text)
{
    return Bytes{(BYTE)text.size()} + Bytes(text.begin(), text.end());
}

Bytes PreferenceEntry(BYTE type, BYTE seed, const std::string& buildId)
{
    return Bytes{type} + ImageId(seed) + BuildId(buildId);
}

Bytes ListHeader(BYTE type, BYTE maxImages, BYTE executing, BYTE count)
{
    return Bytes{type, maxImages, executing, count};
}

Bytes StoredEntry(BYTE index, BYTE failures, BYTE seed, const std::string& buildId)
{
    return Bytes{index, failures} + ImageId(seed) + BuildId(buildId);
}

CImageElement Element(BYTE type, BYTE seed, const std::string& buildId)
{
    CImageElement image;
    image.ImageType = type;
    Bytes id = ImageId(seed);
    std::copy(id.begin(), id.end(), image.ImageID);
    image.BuildIDLength = (BYTE)buildId.size();
    std::copy(buildId.begin(), buildId.end(), image.BuildID);
    return image;
}

std::string BuildIdOf(const CImageElement& image)
{
    return std::string(reinterpret_cast<const char*>(image.BuildID), std::min<int>(image.BuildIDLength, 32));
}

std::vector<std::string> BuildIdsOf(const std::list<CImageElement>& images)
{
    std::vector<std::string> ids;
    for (const CImageElement& image : images)
        ids.push_back(BuildIdOf(image));
    return ids;
}

std::vector<int> HandlesOf(const std::list<CImageElement>& images)
{
    std::vector<int> handles;
    for (const CImageElement& image : images)
        handles.push_back(image.Handle);
    return handles;
}

class ImageStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_modem = FakeModem();
        g_modem.connectAnswers = {0};
        CToviApiWrapper::m_pfnQCWWANConnect = FakeConnect;
        CToviApiWrapper::m_pfnQCWWANDisconnect = FakeDisconnect;
        CToviApiWrapper::m_pfnGetImagesPreference = FakeGetImagesPreference;
        CToviApiWrapper::m_pfnGetStoredImages = FakeGetStoredImages;
        CToviApiWrapper::m_pfnSetImagesPreference = FakeSetImagesPreference;
        CToviApiWrapper::m_pfnResetDevice = FakeResetDevice;
        CToviApiWrapper::m_pfnDeleteStoredImage = FakeDeleteStoredImage;
    }

    void TearDown() override { CToviApiWrapper::DeInit(); }

    std::vector<std::wstring> Errors() const { return m_trace.TextsAtLevel(3); }
    std::vector<std::wstring> ErrorsSince(size_t from) const
    {
        std::vector<std::wstring> errors = Errors();
        errors.erase(errors.begin(), errors.begin() + std::min(from, errors.size()));
        return errors;
    }
    // One error that the list is malformed, and nothing else.
    void ExpectMalformedSince(size_t from) const
    {
        std::vector<std::wstring> errors = ErrorsSince(from);
        ASSERT_EQ(1u, errors.size());
        EXPECT_EQ(0u, errors[0].find(L"Malformed image list at byte ")) << errors[0];
    }

    CTraceCapture m_trace;
    CPauseRecorder m_pauses;
    CFwImageStore m_store;
};

// ---- Connection ----------------------------------------------------------

TEST_F(ImageStoreTest, ConnectingAConnectedStoreCallsNothing)
{
    ASSERT_EQ(0u, m_store.ConnectDevice());
    ASSERT_TRUE(m_store.m_bConnectedToDevice);

    EXPECT_EQ(0u, m_store.ConnectDevice());
    EXPECT_EQ(1, g_modem.connectCalls);
    EXPECT_EQ(1, m_trace.Count(L"CFwImageStore already connected to device, return successful"));
    EXPECT_EQ(m_trace.TextsAtLevel(1), std::vector<std::wstring>{
                                           L"CFwImageStore already connected to device, return successful"});
}

struct ConnectCase
{
    std::deque<ULONG> answers;
    ULONG result;
    int calls;
};

TEST_F(ImageStoreTest, ConnectRetriesAMissingDeviceTenTimesAtMost)
{
    const ConnectCase cases[] = {
        {{0}, 0, 1},
        {{6, 6, 0}, 0, 3},
        {{6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 0}, 0, 11},
        {{6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 0}, 6, 11},  // the twelfth answer is never asked for
        {{6, 21}, 21, 2},
        {{5, 0}, 5, 1},
    };
    for (const ConnectCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "answers " << c.answers.size() << ", result " << c.result);
        size_t errorsBefore = Errors().size();
        size_t pausesBefore = m_pauses.Pauses().size();
        CFwImageStore store;
        g_modem.connectAnswers = c.answers;
        g_modem.connectCalls = 0;

        EXPECT_EQ(c.result, store.ConnectDevice());
        EXPECT_EQ(c.calls, g_modem.connectCalls);
        EXPECT_EQ(c.result == 0, store.m_bConnectedToDevice);

        std::vector<std::wstring> expected;
        for (int n = 1; n < c.calls; ++n)
            expected.push_back(L"Can't find device, sleep and try again: " + std::to_wstring(n));
        if (c.result != 0)
            expected.push_back(L"QCWWANConnect error: " + std::to_wstring(c.result));
        EXPECT_EQ(expected, ErrorsSince(errorsBefore));
        std::vector<DWORD> pauses(m_pauses.Pauses().begin() + pausesBefore, m_pauses.Pauses().end());
        EXPECT_EQ(std::vector<DWORD>(c.calls - 1, 500), pauses);
    }
}

TEST_F(ImageStoreTest, DisconnectClearsTheFlagOnlyOnSuccess)
{
    // The library is asked even when the store thinks it is not connected.
    g_modem.disconnectAnswer = 0;
    EXPECT_EQ(0u, m_store.DisconnectDevice());
    EXPECT_EQ(1, g_modem.disconnectCalls);
    EXPECT_FALSE(m_store.m_bConnectedToDevice);

    ASSERT_EQ(0u, m_store.ConnectDevice());
    g_modem.disconnectAnswer = 13;
    EXPECT_EQ(13u, m_store.DisconnectDevice());
    EXPECT_TRUE(m_store.m_bConnectedToDevice);
    EXPECT_EQ(Errors(), std::vector<std::wstring>{
                            L"CFwImageStore failed to connect to the device, m_bConnectedToDevice remains true"});

    g_modem.disconnectAnswer = 0;
    EXPECT_EQ(0u, m_store.DisconnectDevice());
    EXPECT_FALSE(m_store.m_bConnectedToDevice);
}

// ---- Loading the preference ------------------------------------------------

TEST_F(ImageStoreTest, LoadSelectedImagesReadsEveryEntryWithFreshHandles)
{
    std::string fullBuildId(32, 'F');
    g_modem.preferenceList = Bytes{2} + PreferenceEntry(0, 0x10, "MODEM.01") + PreferenceEntry(1, 0x40, fullBuildId);
    int lastHandle = g_nLastImageHandle;

    ASSERT_TRUE(m_store.LoadSelectedImages());
    EXPECT_EQ(2560u, g_modem.offeredCount);
    ASSERT_EQ(2u, m_store.m_lstSelectedImages.size());
    const CImageElement& modem = m_store.m_lstSelectedImages.front();
    const CImageElement& pri = m_store.m_lstSelectedImages.back();
    EXPECT_EQ(0, modem.ImageType);
    EXPECT_EQ(1, pri.ImageType);
    EXPECT_EQ(0xFF, modem.StorageIndex);
    EXPECT_EQ(0xFF, modem.FailureCount);
    EXPECT_EQ(ImageId(0x40), Bytes(pri.ImageID, pri.ImageID + 16));
    EXPECT_EQ((std::vector<std::string>{"MODEM.01", fullBuildId}), BuildIdsOf(m_store.m_lstSelectedImages));
    EXPECT_EQ((std::vector<int>{lastHandle + 1, lastHandle + 2}), HandlesOf(m_store.m_lstSelectedImages));
    EXPECT_TRUE(Errors().empty());

    int size = m_trace.IndexOf(L"ImageListSize (BYTES): " + std::to_wstring(g_modem.preferenceList.size()) +
                               L", ListSize (elements): 2");
    int first = m_trace.IndexOf(L"***** 0 *****", size);
    int second = m_trace.IndexOf(L"***** 1 *****", first);
    EXPECT_GE(size, 0);
    EXPECT_GT(first, size);
    EXPECT_GT(second, first);
    EXPECT_GT(m_trace.IndexOf(L"  BuildID: MODEM.01", first), first);

    // Reloading empties the list first and numbers the same images anew.
    ASSERT_TRUE(m_store.LoadSelectedImages());
    EXPECT_EQ((std::vector<int>{lastHandle + 3, lastHandle + 4}), HandlesOf(m_store.m_lstSelectedImages));
}

TEST_F(ImageStoreTest, EmptyPreferenceListLoadsNothing)
{
    g_modem.preferenceList = Bytes{1} + PreferenceEntry(0, 1, "OLD");
    ASSERT_TRUE(m_store.LoadSelectedImages());
    g_modem.preferenceList = Bytes{0};

    EXPECT_TRUE(m_store.LoadSelectedImages());
    EXPECT_TRUE(m_store.m_lstSelectedImages.empty());
    EXPECT_TRUE(m_trace.Contains(L"ImageListSize (BYTES): 1, ListSize (elements): 0"));
}

TEST_F(ImageStoreTest, LibraryErrorsEmptyTheLists)
{
    g_modem.preferenceList = Bytes{1} + PreferenceEntry(0, 1, "OLD");
    g_modem.storedList = Bytes{1} + ListHeader(1, 4, 0, 1) + StoredEntry(0, 0, 1, "OLD");
    ASSERT_TRUE(m_store.LoadSelectedImages());
    ASSERT_TRUE(m_store.LoadDeviceImages());
    g_modem.listAnswer = 31;

    EXPECT_FALSE(m_store.LoadSelectedImages());
    EXPECT_FALSE(m_store.LoadDeviceImages());
    EXPECT_TRUE(m_store.m_lstSelectedImages.empty());
    EXPECT_TRUE(m_store.m_lstPriImages.empty());
    EXPECT_EQ((std::vector<std::wstring>{L"GetImagesPreference failed: 31", L"GetStoredImages returned error: 31"}),
              Errors());
}

// ---- Loading the stored images ------------------------------------------------

TEST_F(ImageStoreTest, LoadDeviceImagesSortsEntriesByListType)
{
    g_modem.storedList = Bytes{3} + ListHeader(0, 4, 1, 2) + StoredEntry(0, 0, 0x10, "APP-A") +
                         StoredEntry(1, 2, 0x20, "APP-B") + ListHeader(1, 8, 0, 1) + StoredEntry(5, 1, 0x30, "PRI-A") +
                         ListHeader(0, 6, 2, 1) + StoredEntry(2, 0, 0x50, "APP-C");
    int lastHandle = g_nLastImageHandle;

    ASSERT_TRUE(m_store.LoadDeviceImages());
    EXPECT_EQ((std::vector<std::string>{"APP-A", "APP-B", "APP-C"}), BuildIdsOf(m_store.m_lstModemImages));
    EXPECT_EQ((std::vector<std::string>{"PRI-A"}), BuildIdsOf(m_store.m_lstPriImages));
    EXPECT_EQ((std::vector<int>{lastHandle + 1, lastHandle + 2, lastHandle + 4}), HandlesOf(m_store.m_lstModemImages));
    EXPECT_EQ((std::vector<int>{lastHandle + 3}), HandlesOf(m_store.m_lstPriImages));

    const CImageElement& appB = *std::next(m_store.m_lstModemImages.begin());
    EXPECT_EQ(0, appB.ImageType);
    EXPECT_EQ(1, appB.StorageIndex);
    EXPECT_EQ(2, appB.FailureCount);
    EXPECT_EQ(ImageId(0x20), Bytes(appB.ImageID, appB.ImageID + 16));
    EXPECT_EQ(1, m_store.m_lstPriImages.front().ImageType);

    // A second list of a type replaces that type's header.
    EXPECT_EQ(6, m_store.m_ImageListInfo[0].MaxImages);
    EXPECT_EQ(2, m_store.m_ImageListInfo[0].ExecutingImage);
    EXPECT_EQ(1, m_store.m_ImageListInfo[0].ImageIdSize);
    EXPECT_EQ(8, m_store.m_ImageListInfo[1].MaxImages);
    EXPECT_TRUE(m_trace.Contains(L"ImageType: 1, MaxImages: 8, ExecutingImage: 0, ImageIdSize: 1"));
    EXPECT_TRUE(m_trace.Contains(L"ImageListSize (BYTES): " + std::to_wstring(g_modem.storedList.size()) +
                                 L", ListSize (elements): 3"));
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ImageStoreTest, UnsupportedListTypeKeepsWhatWasRead)
{
    g_modem.storedList = Bytes{2} + ListHeader(0, 4, 0, 1) + StoredEntry(0, 0, 0x10, "APP-A") +
                         ListHeader(2, 4, 0, 1) + StoredEntry(0, 0, 0x20, "ODD");

    EXPECT_FALSE(m_store.LoadDeviceImages());
    EXPECT_EQ((std::vector<std::string>{"APP-A"}), BuildIdsOf(m_store.m_lstModemImages));
    EXPECT_TRUE(m_store.m_lstPriImages.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"Unsupported image type: 2"}, Errors());
}

// ---- Lists that do not hold what their counts say ---------------------------

struct MalformedCase
{
    const char* name;
    Bytes list;
    LONG returnedCount;  // -1: the list's own size
    size_t kept;         // entries read before the fault
};

Bytes Repeat(const Bytes& part, int times)
{
    Bytes all;
    for (int i = 0; i < times; ++i)
        all = all + part;
    return all;
}

TEST_F(ImageStoreTest, MalformedPreferenceListsFailWithoutReadingPastTheData)
{
    Bytes entry = PreferenceEntry(0, 1, "BUILD");
    Bytes fullEntry = PreferenceEntry(1, 2, std::string(32, 'x'));  // 50 bytes
    const MalformedCase cases[] = {
        {"nothing returned", Bytes{}, -1, 0},
        {"count too large", Bytes{3} + entry + entry, -1, 2},
        {"entry cut short", Bytes{2} + entry + Bytes(entry.begin(), entry.begin() + 10), -1, 1},
        {"build ID cut short", Bytes{1} + Bytes(entry.begin(), entry.end() - 1), -1, 0},
        {"build ID length 33", Bytes{1} + PreferenceEntry(0, 1, std::string(33, 'y')), -1, 0},
        {"build ID length 200", Bytes{2} + entry + PreferenceEntry(0, 1, std::string(200, 'y')), -1, 1},
        {"byte count below the data", Bytes{2} + entry + entry, (LONG)(1 + entry.size() + 5), 1},
        // 51 whole entries fill 2550 bytes; the buffer ends inside the 52nd,
        // whatever byte count the library claims.
        {"byte count past the buffer", Bytes{255} + Repeat(fullEntry, 52), 5000, 51},
    };
    for (const MalformedCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        size_t errorsBefore = Errors().size();
        g_modem.preferenceList = c.list;
        g_modem.returnedCount = c.returnedCount;

        EXPECT_FALSE(m_store.LoadSelectedImages());
        EXPECT_EQ(c.kept, m_store.m_lstSelectedImages.size());
        ExpectMalformedSince(errorsBefore);
    }
}

TEST_F(ImageStoreTest, MalformedStoredListsFailWithoutReadingPastTheData)
{
    Bytes entry = StoredEntry(0, 0, 1, "BUILD");
    Bytes modemList = ListHeader(0, 4, 0, 1) + entry;
    const MalformedCase cases[] = {
        {"nothing returned", Bytes{}, -1, 0},
        {"list count too large", Bytes{2} + modemList, -1, 1},
        {"header cut short", Bytes{2} + modemList + Bytes{1, 4}, -1, 1},
        {"entry count too large", Bytes{1} + ListHeader(1, 4, 0, 3) + entry + entry, -1, 2},
        {"entry cut short", Bytes{1} + ListHeader(0, 4, 0, 1) + Bytes(entry.begin(), entry.begin() + 12), -1, 0},
        {"build ID length 200", Bytes{2} + modemList + ListHeader(1, 4, 0, 1) + StoredEntry(0, 0, 1, std::string(200, 'z')),
         -1, 1},
        {"byte count below the data", Bytes{1} + ListHeader(0, 4, 0, 2) + entry + entry,
         (LONG)(5 + entry.size() + 3), 1},
    };
    for (const MalformedCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        size_t errorsBefore = Errors().size();
        g_modem.storedList = c.list;
        g_modem.returnedCount = c.returnedCount;

        EXPECT_FALSE(m_store.LoadDeviceImages());
        EXPECT_EQ(c.kept, m_store.m_lstModemImages.size() + m_store.m_lstPriImages.size());
        ExpectMalformedSince(errorsBefore);
    }
}

// ---- Preference and deletion ---------------------------------------------------

TEST_F(ImageStoreTest, SetImagePrefSendsBothEntriesThenResets)
{
    CImageElement modem = Element(0, 0x10, "MODEM.BUILD.00017");  // 17 bytes
    CImageElement pri = Element(1, 0x80, "PRI.00009");            // 9 bytes

    EXPECT_TRUE(m_store.SetImagePref(modem, pri));
    EXPECT_EQ(63u, g_modem.sentPreference.size());
    EXPECT_EQ(Bytes{2} + PreferenceEntry(0, 0x10, "MODEM.BUILD.00017") + PreferenceEntry(1, 0x80, "PRI.00009"),
              g_modem.sentPreference);
    EXPECT_EQ(0u, g_modem.sentForce);
    EXPECT_EQ(0xFF, g_modem.sentStorageIndex);
    EXPECT_EQ(2u, g_modem.sentAnswerCount);
    EXPECT_EQ(1, g_modem.resetCalls);
    int answer = m_trace.IndexOf(L"SetImagesPreference returned: 0");
    EXPECT_GE(answer, 0);
    EXPECT_GT(m_trace.IndexOf(L"Resetting device", answer), answer);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(ImageStoreTest, RefusedPreferenceDoesNotReset)
{
    g_modem.setPreferenceAnswer = 4;
    EXPECT_FALSE(m_store.SetImagePref(Element(0, 1, "A"), Element(1, 2, "B")));
    EXPECT_EQ(0, g_modem.resetCalls);
    EXPECT_EQ(std::vector<std::wstring>{L"SetImagesPreference returned: 4"}, Errors());
}

TEST_F(ImageStoreTest, ElementsWithImpossibleBuildIdLengthAreNotSent)
{
    CImageElement unread;  // BuildIDLength 0xFF
    CImageElement tooLong = Element(0, 1, "A");
    tooLong.BuildIDLength = 33;

    EXPECT_FALSE(m_store.SetImagePref(Element(0, 1, "A"), unread));
    EXPECT_FALSE(m_store.SetImagePref(tooLong, Element(1, 1, "B")));
    EXPECT_FALSE(m_store.DeleteImage(tooLong));
    EXPECT_TRUE(g_modem.sentPreference.empty());
    EXPECT_TRUE(g_modem.deletedRecords.empty());
    EXPECT_EQ(0, g_modem.resetCalls);
    EXPECT_EQ(3u, Errors().size());
}

TEST_F(ImageStoreTest, DeleteImageSendsTheImageRecord)
{
    std::string fullBuildId(32, 'Q');
    EXPECT_TRUE(m_store.DeleteImage(Element(1, 0x33, fullBuildId)));
    g_modem.deleteAnswers = {9};
    EXPECT_FALSE(m_store.DeleteImage(Element(0, 0x44, "")));

    ASSERT_EQ(2u, g_modem.deletedRecords.size());
    EXPECT_EQ(PreferenceEntry(1, 0x33, fullBuildId), g_modem.deletedRecords[0]);
    EXPECT_EQ(50u, g_modem.deletedRecords[0].size());
    EXPECT_EQ(PreferenceEntry(0, 0x44, ""), g_modem.deletedRecords[1]);
    EXPECT_EQ(m_trace.TextsAtLevel(1), std::vector<std::wstring>{L"DeleteStoredImage returned: 0"});
    EXPECT_EQ(Errors(), std::vector<std::wstring>{L"DeleteStoredImage returned: 9"});
}

TEST_F(ImageStoreTest, DeleteAllImagesDeletesPriImagesFirstAndGoesOnAfterAFailure)
{
    g_modem.storedList = Bytes{2} + ListHeader(0, 4, 0, 2) + StoredEntry(0, 0, 0x10, "APP-A") +
                         StoredEntry(1, 0, 0x20, "APP-B") + ListHeader(1, 4, 0, 2) + StoredEntry(0, 0, 0x30, "PRI-A") +
                         StoredEntry(1, 0, 0x40, "PRI-B");
    ASSERT_TRUE(m_store.LoadDeviceImages());
    int priAHandle = m_store.m_lstPriImages.front().Handle;
    g_modem.deleteAnswers = {7, 0, 8, 0};  // PRI-A and APP-A fail

    EXPECT_TRUE(m_store.DeleteAllImages());

    std::vector<std::string> order;
    for (const Bytes& record : g_modem.deletedRecords)
        order.push_back(std::to_string(record[0]) + ":" + std::string(record.begin() + 18, record.end()));
    EXPECT_EQ((std::vector<std::string>{"1:PRI-A", "1:PRI-B", "0:APP-A", "0:APP-B"}), order);
    EXPECT_EQ((std::vector<std::wstring>{L"DeleteStoredImage returned: 7", L"Failed to delete pri image ...",
                                         L"DeleteStoredImage returned: 8", L"Failed to delete app image ..."}),
              Errors());
    int failure = m_trace.IndexOf(L"Failed to delete pri image ...");
    EXPECT_EQ(failure + 1, m_trace.IndexOf(L"  Handle: " + std::to_wstring(priAHandle), failure));
    // The lists still show what was loaded.
    EXPECT_EQ(2u, m_store.m_lstPriImages.size());
    EXPECT_EQ(2u, m_store.m_lstModemImages.size());
}

TEST_F(ImageStoreTest, DeleteAllImagesWithEmptyListsCallsNothing)
{
    CToviApiWrapper::m_pfnDeleteStoredImage = nullptr;  // a call would crash
    EXPECT_TRUE(m_store.DeleteAllImages());
    EXPECT_TRUE(Errors().empty());
}

// ---- Image description ------------------------------------------------------

TEST_F(ImageStoreTest, TraceImageElementWritesSevenLines)
{
    CImageElement image = Element(1, 0xF8, std::string(32, 'B'));
    image.StorageIndex = 3;
    image.FailureCount = 0;
    image.Handle = 42;

    CFwImageStore::TraceImageElement(image);

    EXPECT_EQ((std::vector<std::wstring>{L"  Handle: 42", L"  ImageType: 1", L"  StorageIndex: 3",
                                         L"  FailureCount: 0", L"  ImageID: F8F9FAFBFCFDFEFF0001020304050607",
                                         L"  BuildIDLength: 32", L"  BuildID: " + std::wstring(32, L'B')}),
              m_trace.TextsAtLevel(1));
}

TEST_F(ImageStoreTest, TextsOfIdsAreTerminatedAndBounded)
{
    wchar_t hex[IMAGE_ID_HEX_SIZE + 1];
    wmemset(hex, L'#', IMAGE_ID_HEX_SIZE + 1);
    const BYTE id[IMAGE_ID_SIZE] = {0x00, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD,
                                    0xEF, 0x10, 0x9A, 0xF0, 0x0F, 0x7E, 0xA5, 0xFF};
    CFwImageStore::ImageIdToHex(id, hex);
    EXPECT_STREQ(L"000123456789ABCDEF109AF00F7EA5FF", hex);
    EXPECT_EQ(L'#', hex[IMAGE_ID_HEX_SIZE]);

    struct
    {
        BYTE length;
        std::wstring text;
    } const cases[] = {{0, L""}, {5, L"AAAAA"}, {32, std::wstring(32, L'A')}, {0xFF, std::wstring(32, L'A')}};
    for (const auto& c : cases)
    {
        CImageElement image = Element(0, 0, std::string(32, 'A'));
        image.BuildIDLength = c.length;
        wchar_t text[BUILD_ID_TEXT_SIZE + 1];
        wmemset(text, L'#', BUILD_ID_TEXT_SIZE + 1);
        CFwImageStore::BuildIdToText(image, text);
        EXPECT_EQ(c.text, std::wstring(text)) << "length " << (int)c.length;
        EXPECT_EQ(L'#', text[BUILD_ID_TEXT_SIZE]);
    }
}
}
