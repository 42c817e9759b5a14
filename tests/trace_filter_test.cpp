// The trace call: which messages pass, how a line is laid out, and the limits
// of the text and the line.
#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <regex>
#include <string>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "support/TraceCapture.h"
#include "support/TraceTestSupport.h"

namespace
{
struct FilterCase
{
    const char* name;
    int nClass;
    int nLevel;
    bool bEnabled;  // enable of the message's class (all others off)
    int nFileThreshold;
    int nDebugThreshold;
    bool bWritten;
};

// Test output names the case.
std::ostream& operator<<(std::ostream& out, const FilterCase& c)
{
    return out << c.name;
}

const FilterCase kFilterCases[] = {
    {"last class passes with everything off", TBDCT_LAST, 0, false, 3, 3, true},
    {"last class passes at an unknown level", TBDCT_LAST, -7, false, 3, 3, true},
    {"level 0 blocked by thresholds 1", TBCT_INFO, 0, true, 1, 1, false},
    {"level 0 passes with file threshold 0", TBCT_INFO, 0, true, 0, 1, true},
    {"level 0 passes with debug threshold 0", TBCT_INFO, 0, true, 1, 0, true},
    {"level 3 passes thresholds 3", TBCT_INFO, 3, true, 3, 3, true},
    {"level 2 blocked by thresholds 3", TBCT_INFO, 2, true, 3, 3, false},
    {"disabled class never passes", TBCT_INFO, 3, false, 0, 0, false},
    {"disabled function class never passes", TBDCT_ALL_FUNCTIONS, 2, false, 0, 0, false},
    {"enabled null class passes", TBDCT_NULL, 1, true, 1, 1, true},
    {"class below the table never passes", -1, 3, true, 0, 0, false},
    {"class above the table never passes", 7, 3, true, 0, 0, false},
    {"class far above the table never passes", 1000000, 3, true, 0, 0, false},
};

class TraceFilterTest : public ::testing::TestWithParam<FilterCase>
{
};

TEST_P(TraceFilterTest, WritesOnlyWhatPassesTheFilter)
{
    const FilterCase& c = GetParam();
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    for (int i = 0; i < TBD_CLASS_COUNT; ++i)
        bClassEnabled[i] = false;
    if (c.nClass >= 0 && c.nClass < TBD_CLASS_COUNT)
        bClassEnabled[c.nClass] = c.bEnabled;
    nTraceLevelFile = c.nFileThreshold;
    nTraceLevelDebug = c.nDebugThreshold;

    TbdPrintMessage(c.nClass, c.nLevel, L"filter probe %d", 17);

    bool bFound = false;
    for (const std::wstring& line : capture.Lines())
        bFound = bFound || line.find(L"filter probe 17") != std::wstring::npos;
    EXPECT_EQ(c.bWritten, bFound) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Cases, TraceFilterTest, ::testing::ValuesIn(kFilterCases));

// The bytes of the log after the lines written so far.
class CLogTail
{
public:
    explicit CLogTail(const std::wstring& path) : m_path(path), m_mark(ReadFileBytes(path).size()) {}
    std::string Bytes() const { return ReadFileBytes(m_path).substr(m_mark); }

private:
    std::wstring m_path;
    size_t m_mark;
};

TEST(TraceLine, CarriesTheExactTagOfEachLevel)
{
    struct
    {
        int nLevel;
        const char* tag;
    } cases[] = {{0, " t :   "}, {1, " i :   "}, {2, " h : "}, {3, " E :   "}, {4, " ? : "}, {-1, " ? : "}};
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    for (const auto& c : cases)
    {
        CLogTail tail(capture.Path());
        TbdPrintMessage(TBDCT_LAST, c.nLevel, L"tagged");
        std::string expectedEnd = std::string(c.tag) + "tagged\r\n";
        std::string line = tail.Bytes();
        ASSERT_GE(line.size(), expectedEnd.size()) << c.nLevel;
        EXPECT_EQ(expectedEnd, line.substr(line.size() - expectedEnd.size())) << "level " << c.nLevel;
        // The tag follows the thread ID field directly.
        EXPECT_EQ(" 0x", line.substr(line.size() - expectedEnd.size() - 11, 3)) << "level " << c.nLevel;
    }
}

TEST(TraceLine, LaysOutItsFieldsAsConfigured)
{
    char threadId[16];
    snprintf(threadId, sizeof(threadId), "0x%08lx", ::GetCurrentThreadId());
    const std::string stamp = "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\d+\\.\\d{6}";
    struct
    {
        bool bThreadId;
        bool bTickCount;
        std::string pattern;
    } cases[] = {
        {true, false, "ToviImgMgr " + stamp + " " + threadId + " i :   layout\r\n"},
        {false, true, "ToviImgMgr " + stamp + "TC 0x[0-9a-f]{8} :  i :   layout\r\n"},
        {true, true, "ToviImgMgr " + stamp + " " + threadId + "TC 0x[0-9a-f]{8} :  i :   layout\r\n"},
        {false, false, "ToviImgMgr " + stamp + " i :   layout\r\n"},
    };
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    for (const auto& c : cases)
    {
        OutputThreadID = c.bThreadId;
        OutputTickCount = c.bTickCount;
        CLogTail tail(capture.Path());
        TbdPrintMessage(TBCT_INFO, 1, L"layout");
        EXPECT_TRUE(std::regex_match(tail.Bytes(), std::regex(c.pattern)))
            << tail.Bytes() << " does not match " << c.pattern;
    }
}

TEST(TraceLine, TakesWideStringArgumentsWhole)
{
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    TbdPrintMessage(TBCT_INFO, 1, L"[%s|%d|%s]", L"CFwImageStore::ConnectDevice", 42, L"");
    EXPECT_EQ(1, capture.Count(L"[CFwImageStore::ConnectDevice|42|]"));
}

TEST(TraceLine, TextFromArgumentsIsNeverAFormat)
{
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    TbdPrintMessage(TBCT_INFO, 1, L"%s", L"C:\\100%s%d%n\\x.exe");
    EXPECT_EQ(1, capture.Count(L"C:\\100%s%d%n\\x.exe"));
}

TEST(TraceLine, DropsATextThatDoesNotFitAndCutsALongLine)
{
    struct
    {
        size_t nTextChars;
        bool bTextKept;
    } cases[] = {{900, true}, {1023, true}, {1024, false}, {5000, false}};
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    for (const auto& c : cases)
    {
        std::wstring text(c.nTextChars, L'x');
        text[0] = L'<';
        CLogTail tail(capture.Path());
        TbdPrintMessage(TBCT_INFO, 1, L"%s", text.c_str());
        std::string line = tail.Bytes();
        if (!c.bTextKept)
        {
            // Prefix and tag, an empty text, and the end of the line.
            EXPECT_EQ(" i :   \r\n", line.substr(line.size() - 9)) << c.nTextChars;
            continue;
        }
        size_t textStart = line.find('<');
        ASSERT_NE(std::string::npos, textStart) << c.nTextChars;
        size_t wholeLine = textStart + c.nTextChars + 2;
        if (wholeLine <= 1023)
        {
            EXPECT_EQ(wholeLine, line.size()) << c.nTextChars;
            EXPECT_EQ("\r\n", line.substr(line.size() - 2));
        }
        else
        {
            // Cut at 1023 characters: the rest of the text and the line end are lost.
            EXPECT_EQ(1023u, line.size()) << c.nTextChars;
            EXPECT_EQ(std::string(1023 - textStart - 1, 'x'), line.substr(textStart + 1));
        }
    }
}

TEST(TraceLine, NullFormatGivesAnEmptyText)
{
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    CLogTail tail(capture.Path());
    TbdPrintMessage(TBCT_INFO, 3, nullptr);
    std::string line = tail.Bytes();
    ASSERT_GE(line.size(), 9u);
    EXPECT_EQ(" E :   \r\n", line.substr(line.size() - 9));
}

TEST(TraceLine, LongProgramNameCannotOverrunTheLine)
{
    std::wstring path = TestTempPath(L"trace_longname.txt");
    std::wstring name(400, L'N');
    ASSERT_TRUE(TbdInitialize(path.c_str(), 0, name.c_str()));
    bClassEnabled[TBCT_INFO] = true;
    std::wstring text(1000, L'y');
    CLogTail tail(path);
    TbdPrintMessage(TBCT_INFO, 3, L"%s", text.c_str());
    std::string line = tail.Bytes();
    TbdShutdown();
    ::DeleteFileW(path.c_str());
    DeleteTraceProgramKey(name);

    EXPECT_EQ(1023u, line.size());
    EXPECT_EQ(std::string(259, 'N') + " ", line.substr(0, 260));
}

TEST(TraceLine, NothingIsWrittenBeforeStartOrAfterShutdown)
{
    std::wstring path = TestTempPath(L"trace_closed.txt");
    TbdShutdown();
    TbdPrintMessage(TBDCT_LAST, 3, L"before start");
    ASSERT_TRUE(TbdInitialize(path.c_str(), 0, L"TraceTest"));
    TbdPrintMessage(TBDCT_LAST, 3, L"while started");
    TbdShutdown();
    TbdPrintMessage(TBDCT_LAST, 3, L"after shutdown");
    std::string bytes = ReadFileBytes(path);
    ::DeleteFileW(path.c_str());
    DeleteTraceProgramKey(L"TraceTest");

    EXPECT_EQ(std::string::npos, bytes.find("before start"));
    EXPECT_NE(std::string::npos, bytes.find("while started"));
    EXPECT_EQ(std::string::npos, bytes.find("after shutdown"));
}
}
