// The log file: size limit and backup, scrambling, header and footer, the
// code page of the text, the two output targets and lines from many threads.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "diroduzuvevo/TbdLineLayout.h"
#include "support/ProgramRun.h"
#include "support/TraceCapture.h"
#include "support/TraceTestSupport.h"

namespace
{
const wchar_t kProgram[] = L"TraceTest";
// The program name of the second writer, trace_log_writer.exe.
const wchar_t kOtherWriter[] = L"TraceLogWriter";
const DWORD kWriterTimeoutMs = 30000;

// A log of the test's own, with TBCT_INFO enabled at threshold 0.
class TraceLogFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TbdShutdown();
        m_path = TestTempPath(L"trace_logfile.txt");
        m_backup = m_path + L"_BACKUP";
        RemoveBackup();
        ::DeleteFileW(m_path.c_str());
    }
    void TearDown() override
    {
        TbdShutdown();
        RemoveBackup();
        ::DeleteFileW(m_path.c_str());
        DeleteTraceProgramKey(kProgram);
        DeleteTraceProgramKey(kOtherWriter);
    }
    void Start(int nSizeLimit)
    {
        ASSERT_TRUE(TbdInitialize(m_path.c_str(), nSizeLimit, kProgram));
        bClassEnabled[TBCT_INFO] = true;
        nTraceLevelFile = 0;
        nTraceLevelDebug = 0;
    }
    void RemoveBackup()
    {
        ::SetFileAttributesW(m_backup.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(m_backup.c_str());
    }
    void WriteFile(const std::wstring& path, const std::string& bytes, DWORD dwAttributes)
    {
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        DWORD written = 0;
        ::WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
        ::CloseHandle(h);
        ::SetFileAttributesW(path.c_str(), dwAttributes);
    }

    // A second process that starts its own library on this log and writes
    // "<tag> line <n>" for n = 0, 1, ...
    std::unique_ptr<CProgramRun> StartOtherWriter(int nLines, const wchar_t* psTag)
    {
        std::wstring arguments = L" \"" + m_path + L"\" " + std::to_wstring(nLines) + L" " + psTag;
        return std::unique_ptr<CProgramRun>(
            new CProgramRun(TestProgramFolder() + L"\\trace_log_writer.exe", arguments, TestProgramFolder()));
    }

    std::wstring m_path;
    std::wstring m_backup;
};

// Another process may start on the same log while this one writes: it empties
// the file and writes its header, and both go on writing. Every line of both
// must stay whole, at the end of the file as it is when written.
TEST_F(TraceLogFileTest, ASecondProcessOnTheSameLogLeavesEveryLineWhole)
{
    Start(0);
    int nOwn = 0;
    for (; nOwn < 50; ++nOwn)
        TbdPrintMessage(TBCT_INFO, 1, L"A line %d", nOwn);
    const int kOtherLines = 2000;
    std::unique_ptr<CProgramRun> other = StartOtherWriter(kOtherLines, L"B");
    ASSERT_TRUE(other->Started());
    DWORD dwStart = ::GetTickCount();
    while (other->WaitForExit(0) == -1 && ::GetTickCount() - dwStart < kWriterTimeoutMs)
        TbdPrintMessage(TBCT_INFO, 1, L"A line %d", nOwn++);
    ASSERT_EQ(0, other->WaitForExit(kWriterTimeoutMs));
    TbdPrintMessage(TBCT_INFO, 1, L"A line %d", nOwn++);
    TbdShutdown();

    const std::string bytes = ReadFileBytes(m_path);
    EXPECT_EQ(std::string::npos, bytes.find('\0')) << "a gap of NUL bytes";
    const std::regex traceLine(R"((TraceTest|TraceLogWriter) \d\d:\d\d:\d\d\.\d{3} \d+\.\d{6} 0x[0-9a-f]{8} i :   ([AB]) line (\d+))");
    const std::regex headerLine(R"(======= (TraceTest|TraceLogWriter) - .+ =======)");
    const std::regex footerLine(R"(=======|Log Ended .+)");
    std::vector<int> own;
    std::vector<int> others;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
    {
        const std::string line = bytes.substr(start, end - start);
        std::smatch match;
        if (line.empty() || std::regex_match(line, headerLine) || std::regex_match(line, footerLine))
            continue;
        ASSERT_TRUE(std::regex_match(line, match, traceLine)) << "broken line: " << line;
        EXPECT_EQ(match[1].str() == "TraceTest", match[2].str() == "A") << line;
        (match[2].str() == "A" ? own : others).push_back(std::stoi(match[3].str()));
    }
    EXPECT_EQ(bytes.size(), start) << "the file ends in the middle of a line";

    std::vector<int> expectedOthers(kOtherLines);
    for (int i = 0; i < kOtherLines; ++i)
        expectedOthers[i] = i;
    EXPECT_EQ(expectedOthers, others) << "the other writer's lines, each once and in order";
    // Ours from the one that followed the emptying on: none missing, none twice.
    ASSERT_FALSE(own.empty());
    for (size_t i = 0; i < own.size(); ++i)
        ASSERT_EQ(own.back() - (int)(own.size() - 1 - i), own[i]) << "a line of ours is missing or repeated";
    EXPECT_EQ(nOwn - 1, own.back());
    const std::string footerEnd = "\r\n=======\r\nLog Ended ";
    size_t lastFooter = bytes.rfind(footerEnd);
    ASSERT_NE(std::string::npos, lastFooter);
    EXPECT_GT(lastFooter, bytes.rfind("A line ")) << "our footer ends the file";
}

TEST_F(TraceLogFileTest, AnotherWritersBytesCountTowardTheLimit)
{
    const int kLimit = 4000;
    Start(kLimit);
    TbdPrintMessage(TBCT_INFO, 1, L"before the other writer");
    std::unique_ptr<CProgramRun> other = StartOtherWriter(100, L"B");
    ASSERT_EQ(0, other->WaitForExit(kWriterTimeoutMs));
    const std::string full = ReadFileBytes(m_path);
    ASSERT_GE(full.size(), (size_t)kLimit) << "the other writer filled the log";

    TbdPrintMessage(TBCT_INFO, 1, L"after the other writer");

    EXPECT_EQ(full, ReadFileBytes(m_backup));
    std::string restarted = ReadFileBytes(m_path);
    EXPECT_EQ(0u, restarted.find("TraceTest ")) << "the message starts the emptied log";
    EXPECT_NE(std::string::npos, restarted.find("after the other writer"));
    EXPECT_EQ(std::string::npos, restarted.find("B line"));
}

struct BackupCase
{
    const char* name;
    bool bBackupExists;
    DWORD dwBackupAttributes;
};

// Test output names the case.
std::ostream& operator<<(std::ostream& out, const BackupCase& c)
{
    return out << c.name;
}

class TraceBackupTest : public TraceLogFileTest, public ::testing::WithParamInterface<BackupCase>
{
};

TEST_P(TraceBackupTest, FullLogBecomesTheBackupAndStartsOver)
{
    const BackupCase& c = GetParam();
    if (c.bBackupExists)
        WriteFile(m_backup, "an older backup\r\n", c.dwBackupAttributes);
    const int kLimit = 2000;
    Start(kLimit);

    std::string full;
    for (int i = 0; i < 100 && (full = ReadFileBytes(m_path)).size() < (size_t)kLimit; ++i)
        TbdPrintMessage(TBCT_INFO, 1, L"filling line %03d", i);
    ASSERT_GE(full.size(), (size_t)kLimit);
    // The check runs before each line, so the file passes the limit by one line at most.
    EXPECT_LT(full.size(), (size_t)kLimit + 100);

    TbdPrintMessage(TBCT_INFO, 1, L"first line after the limit");

    EXPECT_EQ(full, ReadFileBytes(m_backup)) << c.name;
    // A new copy, not the old file written over: it has the log's attributes.
    DWORD dwAttributes = ::GetFileAttributesW(m_backup.c_str());
    EXPECT_EQ(0u, dwAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) << c.name;
    std::string restarted = ReadFileBytes(m_path);
    EXPECT_EQ(0u, restarted.find("TraceTest ")) << c.name << ": no header, the message comes first";
    EXPECT_NE(std::string::npos, restarted.find("first line after the limit"));
    EXPECT_EQ(std::string::npos, restarted.find("filling line"));
}

INSTANTIATE_TEST_SUITE_P(Cases, TraceBackupTest,
                         ::testing::Values(BackupCase{"no backup yet", false, 0},
                                           BackupCase{"older backup", true, FILE_ATTRIBUTE_NORMAL},
                                           BackupCase{"read-only backup", true, FILE_ATTRIBUTE_READONLY},
                                           BackupCase{"read-only hidden backup", true,
                                                      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}));

TEST_F(TraceLogFileTest, ALoweredLimitTakesEffectAtTheNextMessage)
{
    Start(0);
    TbdPrintMessage(TBCT_INFO, 1, L"under the default limit");
    EXPECT_FALSE(FileExists(m_backup));

    nMaxLogSize = 10;
    TbdPrintMessage(TBCT_INFO, 1, L"over the new limit");
    EXPECT_NE(std::string::npos, ReadFileBytes(m_backup).find("under the default limit"));
    EXPECT_EQ(std::string::npos, ReadFileBytes(m_path).find("under the default limit"));
}

TEST_F(TraceLogFileTest, AMessageThatIsFilteredOutLeavesAFullLogAlone)
{
    Start(0);
    TbdPrintMessage(TBCT_INFO, 1, L"some line");
    nMaxLogSize = 10;
    TbdPrintMessage(TBCT_READ, 3, L"filtered out");
    EXPECT_FALSE(FileExists(m_backup));
}

struct ScrambleCase
{
    const char* name;
    DWORD dwType;  // REG_NONE: value missing under HKEY_CURRENT_USER
    unsigned long long value;
    DWORD cbValue;
    bool bMachineValue;  // "enable encrypt" = 1 under HKEY_LOCAL_MACHINE too
    bool bScrambled;
};

// Test output names the case.
std::ostream& operator<<(std::ostream& out, const ScrambleCase& c)
{
    return out << c.name;
}

class TraceScrambleTest : public TraceLogFileTest, public ::testing::WithParamInterface<ScrambleCase>
{
};

TEST_P(TraceScrambleTest, ScramblesEveryByteOnlyWhenEnabled)
{
    const ScrambleCase& c = GetParam();
    CRegValueGuard user(HKEY_CURRENT_USER, L"Software\\Velmora Inc", L"enable encrypt");
    CRegValueGuard machine(HKEY_LOCAL_MACHINE, L"Software\\Velmora Inc", L"enable encrypt");
    if (c.dwType == REG_NONE)
        user.Delete();
    else
        user.SetBytes(c.dwType, &c.value, c.cbValue);
    if (c.bMachineValue)
        machine.SetDword(1);
    else
        machine.Delete();

    Start(0);
    TbdPrintMessage(TBCT_INFO, 1, L"secret line");
    TbdShutdown();
    std::string bytes = ReadFileBytes(m_path);
    ASSERT_FALSE(bytes.empty());

    std::string text = bytes;
    if (c.bScrambled)
    {
        for (char& ch : text)
            ch = (char)(ch ^ TBD_SCRAMBLE_MASK);
        for (unsigned char ch : bytes)
            ASSERT_GE(ch, 0x80) << c.name << ": an ASCII byte was left readable";
    }
    EXPECT_EQ(0u, text.find("\r\n======= TraceTest -")) << c.name;
    EXPECT_NE(std::string::npos, text.find(" i :   secret line\r\n")) << c.name;
    EXPECT_NE(std::string::npos, text.find("\r\n=======\r\nLog Ended")) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TraceScrambleTest,
    ::testing::Values(ScrambleCase{"no value", REG_NONE, 0, 0, false, false},
                      ScrambleCase{"value 1", REG_DWORD, 1, 4, false, true},
                      ScrambleCase{"value 0", REG_DWORD, 0, 4, false, false},
                      ScrambleCase{"value 2", REG_DWORD, 2, 4, false, false},
                      ScrambleCase{"eight-byte value 1", REG_QWORD, 1, 8, false, false},
                      ScrambleCase{"machine value only", REG_NONE, 0, 0, true, false}));

std::string EscapeForRegex(const std::string& text)
{
    static const std::regex kSpecial(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, kSpecial, R"(\$&)");
}

std::string LongDate()
{
    wchar_t date[128] = L"";
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, nullptr, nullptr, date, 128);
    return AnsiBytes(date);
}

TEST_F(TraceLogFileTest, HeaderAndFooterCarryNameDateAndTime)
{
    Start(0);
    TbdShutdown();
    const std::string stamp = R"(\d\d:\d\d:\d\d\.\d{3} \d+\.\d{6})";
    const std::string date = EscapeForRegex(LongDate());
    std::regex expected("\r\n======= TraceTest - " + date + " " + stamp + " =======\r\n" +
                        "\r\n=======\r\nLog Ended " + date + " " + stamp + "\r\n\r\n");
    std::string bytes = ReadFileBytes(m_path);
    EXPECT_TRUE(std::regex_match(bytes, expected)) << bytes;
}

TEST_F(TraceLogFileTest, FooterWithoutDateAndTime)
{
    Start(0);
    std::string header = ReadFileBytes(m_path);
    OutputDateTimeInHeader = false;
    TbdShutdown();
    EXPECT_EQ(header + "\r\n=======\r\nLog Ended\r\n\r\n", ReadFileBytes(m_path));
}

TEST(TraceOutput, TextGoesToTheFileInTheAnsiCodePage)
{
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    const std::wstring text = L"caf\u00e9 \u00fcber 100%";
    TbdPrintMessage(TBCT_INFO, 1, L"%s", text.c_str());
    std::string bytes = ReadFileBytes(capture.Path());
    EXPECT_NE(std::string::npos, bytes.find(" i :   " + AnsiBytes(text) + "\r\n"));
    EXPECT_EQ(std::string::npos, bytes.find('\0')) << "wide characters reached the file";
}

TEST(TraceOutput, EachEnabledTargetGetsTheWholeLine)
{
    struct
    {
        bool bToFile;
        bool bToDebug;
    } cases[] = {{true, false}, {false, true}, {true, true}, {false, false}};
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    int n = 0;
    for (const auto& c : cases)
    {
        OutputToFile = c.bToFile;
        OutputToDebug = c.bToDebug;
        std::wstring text = L"target probe " + std::to_wstring(++n);
        CDebugOutputCapture debug;
        TbdPrintMessage(TBCT_INFO, 1, L"%s", text.c_str());

        EXPECT_EQ(c.bToFile ? 1 : 0, capture.Count(text)) << "case " << n;
        std::string debugLine;
        for (const std::string& s : debug.Strings())
            if (s.find(AnsiBytes(text)) != std::string::npos)
                debugLine = s;
        if (c.bToDebug)
        {
            EXPECT_EQ(0u, debugLine.find("ToviImgMgr ")) << "case " << n;
            EXPECT_EQ(" i :   " + AnsiBytes(text) + "\r\n", debugLine.substr(debugLine.find(" i :   ")));
        }
        else
        {
            EXPECT_TRUE(debugLine.empty()) << "case " << n;
        }
    }
}

TEST(TraceOutput, LinesFromManyThreadsAreWrittenWhole)
{
    const int kThreads = 4;
    const int kLines = 300;
    CTraceCapture capture(CTraceCapture::ANY_CLASS);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([t]() {
            for (int i = 0; i < kLines; ++i)
            {
                // Lines of different lengths, so that a mixed line can not look whole.
                std::wstring padding((size_t)(i % 40 + t * 7), (wchar_t)(L'a' + t));
                TbdPrintMessage(TBCT_INFO, 1, L"thread %d line %d %s end", t, i, padding.c_str());
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    std::vector<int> counts(kThreads, 0);
    std::wregex pattern(L"thread (\\d) line (\\d+) ([a-z]*) end");
    for (const std::wstring& text : capture.Texts())
    {
        std::wsmatch match;
        ASSERT_TRUE(std::regex_match(text, match, pattern)) << "mixed or broken line";
        int t = std::stoi(match[1].str());
        int i = std::stoi(match[2].str());
        ASSERT_LT(t, kThreads);
        EXPECT_EQ(std::wstring((size_t)(i % 40 + t * 7), (wchar_t)(L'a' + t)), match[3].str());
        ++counts[t];
    }
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(kLines, counts[t]) << "thread " << t;
}
}
