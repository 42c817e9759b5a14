// tovilog's parsing: the line layout split into fields, logs told apart from
// other files (plain, scrambled, emptied at the size limit, cut short), trace
// formats matched with their values, and the summary's reading of a run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LineFilter.h"
#include "LogFile.h"
#include "LogLine.h"
#include "LogSummary.h"
#include "diroduzuvevo/TbdLineLayout.h"

namespace
{
std::string Scramble(std::string text)
{
    TbdScrambleBytes(reinterpret_cast<const unsigned char*>(text.data()), reinterpret_cast<unsigned char*>(&text[0]),
                     text.size());
    return text;
}

struct LineCase
{
    const char* line;
    bool bParses;
    const char* time;
    const char* counter;
    long thread;  // -1: none
    long tick;    // -1: none
    char level;
    const char* text;
};

TEST(TovilogLine, FieldsOfTheLayoutsTheLibraryWrites)
{
    const LineCase cases[] = {
        {"ToviImgMgr 14:03:07.412 5321.123456 0x0000002c i :   Started", true, "14:03:07.412", "5321.123456", 0x2c, -1,
         'i', "Started"},
        {"ToviImgMgr 14:03:07.412 5321.123456 0x0000002c h : + CHiddenAgent::Execute", true, "14:03:07.412",
         "5321.123456", 0x2c, -1, 'h', "+ CHiddenAgent::Execute"},
        {"ToviImgMgr 14:03:07.412 5321.123456 0x0000002c E :   ", true, "14:03:07.412", "5321.123456", 0x2c, -1, 'E',
         ""},
        // Thread ID and tick count both on; then tick count alone, right after the stamp.
        {"ToviImgMgr 14:03:07.412 5321.123456 0x0000002cTC 0x00abcdef :  t :   x : y", true, "14:03:07.412",
         "5321.123456", 0x2c, 0xabcdef, 't', "x : y"},
        {"ToviImgMgr 14:03:07.412 5321.123456TC 0x00abcdef :  ? : odd level", true, "14:03:07.412", "5321.123456", -1,
         0xabcdef, '?', "odd level"},
        // No counter, no stamp at all.
        {"DiroDuzUvevo 14:03:07.412 0x00000001 i :   no counter", true, "14:03:07.412", "", 1, -1, 'i', "no counter"},
        {"ToviImgMgr  0x00000001 i :   no stamp", true, "", "", 1, -1, 'i', "no stamp"},
        // Not the layout: the header, a text with a colon, a short tag.
        {"======= ToviImgMgr - Thursday 14:03:07.412 5321.123456 =======", false, "", "", -1, -1, 0, ""},
        {"Hello world i :   text", false, "", "", -1, -1, 0, ""},
        {"ToviImgMgr 14:03:07.412 5321.123456 0x0000002c i : short tag", false, "", "", -1, -1, 0, ""},
        {"", false, "", "", -1, -1, 0, ""},
    };
    for (const LineCase& c : cases)
    {
        SCOPED_TRACE(c.line);
        CLogLine line;
        ASSERT_EQ(c.bParses, line.Parse(c.line));
        if (!c.bParses)
        {
            EXPECT_EQ("", line.m_sText);
            continue;
        }
        EXPECT_EQ(c.time, line.m_sTime);
        EXPECT_EQ(c.counter, line.m_sCounter);
        EXPECT_EQ(c.thread >= 0, line.m_bHasThread);
        if (c.thread >= 0)
        {
            EXPECT_EQ((unsigned long)c.thread, line.m_ulThread);
        }
        EXPECT_EQ(c.tick >= 0, line.m_bHasTick);
        if (c.tick >= 0)
        {
            EXPECT_EQ((unsigned long)c.tick, line.m_ulTick);
        }
        EXPECT_EQ(c.level, line.m_cLevel);
        EXPECT_EQ(c.text, line.m_sText);
    }
}

const char kHeader[] = "\r\n======= ToviImgMgr - Thursday, December 10, 2026 13:23:22.359 499.469570 =======\r\n";
const char kLine[] = "ToviImgMgr 13:23:22.415 499.526016 0x00000128 i :   Command line options: -FWUPDATE AUTO\r\n";
const char kFooter[] = "\r\n=======\r\nLog Ended Thursday, December 10, 2026 13:23:22.535 499.646053\r\n\r\n";

struct FileCase
{
    const char* name;
    std::string bytes;
    bool bLog;
    bool bScrambled;
    bool bHeader;
    bool bCutShort;
};

TEST(TovilogFile, LogsToldApartFromOtherFiles)
{
    const std::string whole = std::string(kHeader) + kLine + kFooter;
    const std::string emptied = std::string(kLine) + kFooter;
    const FileCase cases[] = {
        {"plain", whole, true, false, true, false},
        {"scrambled", Scramble(whole), true, true, true, false},
        {"emptied at the limit", emptied, true, false, false, false},
        {"emptied and scrambled", Scramble(emptied), true, true, false, false},
        {"cut inside a line", whole.substr(0, whole.size() - 30), true, false, true, true},
        {"cut inside the header", Scramble(whole.substr(0, 5)), true, true, true, true},
        {"cut inside the first line of an emptied log", Scramble(emptied.substr(0, 30)), true, true, false, true},
        {"text", "Hello\r\nworld\r\n", false, false, false, false},
        {"header without program", "\r\n=======  - x =======\r\n", false, false, false, false},
        {"empty", "", false, false, false, false},
        {"scrambled text", Scramble("Hello\r\nworld\r\n"), false, false, false, false},
    };
    for (const FileCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        CLogFile log;
        ASSERT_EQ(c.bLog, log.Load(c.bytes));
        if (!c.bLog)
        {
            EXPECT_EQ("", log.Text());
            continue;
        }
        EXPECT_EQ(c.bScrambled, log.Scrambled());
        EXPECT_EQ(c.bHeader, log.HasHeader());
        EXPECT_EQ(c.bCutShort, log.CutShort());
        EXPECT_EQ(c.bScrambled ? Scramble(c.bytes) : c.bytes, log.Text());
    }
}

TEST(TovilogFormat, ValuesOfTraceFormats)
{
    std::vector<std::string> v;
    ASSERT_TRUE(MatchTraceFormat("UpgradeFirmware3k failed: 112 for C:\\a for b\\3",
                                 "UpgradeFirmware3k failed: %i for %s", &v));
    EXPECT_EQ((std::vector<std::string>{"112", "C:\\a for b\\3"}), v);
    EXPECT_FALSE(MatchTraceFormat("UpgradeFirmware3k failed: 112 for ", "UpgradeFirmware3k failed: %i", &v));
    ASSERT_TRUE(MatchTraceFormat("- A (B) (Duration = 5ms - Total time = 9ms - Total calls = 2)",
                                 "- %s (Duration = %dms - Total time = %dms - Total calls = %d)", &v));
    EXPECT_EQ((std::vector<std::string>{"A (B)", "5", "9", "2"}), v);
    EXPECT_TRUE(MatchTraceFormat("Command line options: ", "Command line options: %s", &v));
    EXPECT_EQ(std::vector<std::string>{""}, v);
    EXPECT_FALSE(MatchTraceFormat("GPS error: x", "GPS error: %i", &v));
    EXPECT_TRUE(MatchTraceFormat("GPS error: -5", "GPS error: %i", &v));
}

CLogSummary SummaryOf(const std::string& body, bool bFooter)
{
    std::string text = std::string(kHeader) + body + (bFooter ? kFooter : "");
    CLogFile log;
    EXPECT_TRUE(log.Load(text));
    CLogSummary summary;
    summary.Build(log);
    return summary;
}

std::string Line(const char* level, const std::string& text, const char* time = "13:23:22.500")
{
    return std::string("ToviImgMgr ") + time + " 499.600000 0x00000128 " + level + text + "\r\n";
}

TEST(TovilogSummary, OperationsErrorsScopesAndAnUnfinishedRun)
{
    const char* I = "i :   ";
    const char* E = "E :   ";
    const char* H = "h : ";
    std::string body = Line(I, "Command line options: -DOWNLOADALL -DEFAULTIMAGE 5 -GPSAUTO 1") +
                       Line(H, "+ CHiddenAgent::Execute") + Line(I, "Down load all image.") +
                       Line(H, "+ CHiddenAgent::DownloadAllImages") + Line(I, "Number of folders found: 2") +
                       Line(I, "Updating: C:\\store\\0") + Line(E, "UpgradeFirmware3k failed: 112 for C:\\store\\0") +
                       Line(I, "Updating: C:\\store\\1") + Line(I, "UpgradeFirmware3k succeed for C:\\store\\1") +
                       Line(H, "- CHiddenAgent::DownloadAllImages (Duration = 60000ms - Total time = 60000ms - Total calls = 1)") +
                       Line(I, "Set Image preference to: C:\\store\\5") + Line(E, "SetImagesPreference Failed with 87.") +
                       Line(E, "SetDownloadedDefaultImage failed: 87") + Line(I, "Sleep 30s before EnableGpsAuto") +
                       Line(E, "SetPortAutomaticTracking error: 6") + "ToviImgMgr 13:23:2";
    CLogSummary summary = SummaryOf(body, false);

    EXPECT_EQ("agent", summary.m_sMode);
    EXPECT_EQ("5", summary.m_sFolder);
    EXPECT_EQ("Down load all image.", summary.m_sDecision);
    std::vector<std::string> steps;
    for (const CLogSummary::Step& step : summary.m_steps)
        steps.push_back(step.sKind + " " + step.sTarget + (step.bHasResult ? " = " + std::to_string(step.lResult) : "") +
                        (step.sNote.empty() ? "" : " : " + step.sNote));
    EXPECT_EQ((std::vector<std::string>{"decision  : Down load all image.", "download-all 2 folders",
                                        "upgrade C:\\store\\0 = 112", "upgrade C:\\store\\1 = 0",
                                        "preference C:\\store\\5 = 87", "default-image  = 87",
                                        "note  : Sleep 30s before EnableGpsAuto", "gps 1 = 6"}),
              steps);
    EXPECT_EQ(4u, summary.m_errors.size());
    ASSERT_EQ(2u, summary.m_scopes.size());
    EXPECT_EQ("CHiddenAgent::DownloadAllImages", summary.m_scopes[0].sName);
    EXPECT_EQ(60000, summary.m_scopes[0].llTotalMs);
    EXPECT_EQ(0, summary.m_scopes[0].lOpen);
    EXPECT_EQ("CHiddenAgent::Execute", summary.m_scopes[1].sName);
    EXPECT_EQ(1, summary.m_scopes[1].lOpen) << "entered, never left";
    EXPECT_FALSE(summary.m_bFooter);
    EXPECT_TRUE(summary.m_bCutShort);
    EXPECT_EQ(1u, summary.m_nUnparsed) << "the cut last line is counted, not dropped";
    EXPECT_EQ(130, summary.m_llLengthMs) << "from the header's counter to the last line's";
}

TEST(TovilogSummary, ModesAndEarlyStops)
{
    struct
    {
        std::string body;
        const char* mode;
        const char* decision;
    } const cases[] = {
        {Line("i :   ", "Command line options: ") +
             Line("i :   ", "No command line options specified, application won't do anything"),
         "version box", ""},
        {Line("i :   ", "Command line options: -SHOWMETHEGUI -FWUPDATE FORCE") +
             Line("i :   ", "-SHOWMETHEGUI specified, running in UI mode"),
         "window", ""},
        {Line("i :   ", "Command line options: -GPSAUTO 1") +
             Line("E :   ", "None of -FWUPDATE, -AUTOUPDATE, or -DOWNLOADALL is provided."),
         "agent", "None of -FWUPDATE, -AUTOUPDATE, or -DOWNLOADALL is provided."},
        {Line("i :   ", "Apply TBD logging registry over-rides"), "unknown", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.body);
        CLogSummary summary = SummaryOf(c.body, true);
        EXPECT_EQ(c.mode, summary.m_sMode);
        EXPECT_EQ(c.decision, summary.m_sDecision);
        EXPECT_TRUE(summary.m_bFooter);
        EXPECT_EQ("Thursday, December 10, 2026", summary.m_sStartDate);
        EXPECT_EQ("13:23:22.359", summary.m_sStartTime);
        EXPECT_EQ(176, summary.m_llLengthMs) << "from the header's counter to the footer's";
    }
}

TEST(TovilogSummary, DamagedCountersGiveNoLength)
{
    CLogSummary summary = SummaryOf(Line("i :   ", "Command line options: -FWUPDATE AUTO", "13:23:22.400") +
                                        "ToviImgMgr 13:23:22.500 99999999999999999999999999999999.000000 0x00000128 "
                                        "h : - X (Duration = 99999999999999999999ms - Total time = 1ms - Total calls = 1)\r\n",
                                    false);
    EXPECT_FALSE(summary.m_bHasLength);
    ASSERT_EQ(1u, summary.m_scopes.size());
    EXPECT_GT(summary.m_scopes[0].lLongestMs, 0) << "a duration too large for a number saturates";
}

TEST(TovilogShow, FiltersLookAtFieldsAndKeepLinesThatDoNotParse)
{
    CLineFilter errorsOfThread;
    ASSERT_TRUE(errorsOfThread.SetLevels("E,h"));
    ASSERT_TRUE(errorsOfThread.SetThread("128"));
    errorsOfThread.SetNoScopes(true);
    EXPECT_TRUE(errorsOfThread.Passes("ToviImgMgr 13:23:22.415 499.526016 0x00000128 E :   failed"));
    EXPECT_FALSE(errorsOfThread.Passes("ToviImgMgr 13:23:22.415 499.526016 0x00000129 E :   failed"));
    EXPECT_FALSE(errorsOfThread.Passes("ToviImgMgr 13:23:22.415 499.526016 0x00000128 i :   E :   in the text"));
    EXPECT_FALSE(errorsOfThread.Passes("ToviImgMgr 13:23:22.415 499.526016 0x00000128 h : + CHiddenAgent::Execute"));
    EXPECT_TRUE(errorsOfThread.Passes("ToviImgMgr 13:23:22.415 499.526016 0x00000128 h : other level 2 text"));
    EXPECT_TRUE(errorsOfThread.Passes("a line that is not in the layout"));

    CLineFilter grep;
    grep.SetGrep("0x00000128");
    EXPECT_FALSE(grep.Passes("ToviImgMgr 13:23:22.415 499.526016 0x00000128 i :   text")) << "the text only";
    EXPECT_TRUE(grep.Passes("raw 0x00000128"));

    CLineFilter bad;
    EXPECT_FALSE(bad.SetLevels("E,x"));
    EXPECT_FALSE(bad.SetLevels(""));
    EXPECT_FALSE(bad.SetThread("0xzz"));
    EXPECT_FALSE(bad.SetThread("123456789"));
}
}  // namespace
