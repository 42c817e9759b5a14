// The command-line switch table and the argument splitting under it: what a
// command line turns into, switch by switch, and how quotes and backslashes
// group and escape.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/CommandLineArgs.h"
#include "app/SwitchTable.h"

namespace
{
typedef std::vector<std::wstring> Texts;

struct SplitCase
{
    const char* pszWhat;
    const wchar_t* pszCommandLine;
    Texts arguments;  // program name first
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.pszWhat;
}

class CommandLineSplitTest : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(CommandLineSplitTest, GivesTheRuntimesArguments)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(c.arguments, SplitCommandLine(c.pszCommandLine));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CommandLineSplitTest,
    ::testing::Values(
        SplitCase{"Empty", L"", {L""}},
        SplitCase{"NameOnly", L"prog", {L"prog"}},
        SplitCase{"BlanksAndTabsSeparate", L"prog  \t a\t\tb  ", {L"prog", L"a", L"b"}},
        SplitCase{"QuotedNameWithBlanks", L"\"C:\\Program Files\\T\\ToviImgMgr.exe\" -X",
                  {L"C:\\Program Files\\T\\ToviImgMgr.exe", L"-X"}},
        SplitCase{"NameKeepsBackslashBeforeQuote", L"C:\\dir\\\"x y\" -A", {L"C:\\dir\\x y", L"-A"}},
        SplitCase{"NameQuotesOnlyGroup", L"\"prog name\"x -A", {L"prog namex", L"-A"}},
        SplitCase{"QuotesGroupAndGo", L"prog \"a b\" c", {L"prog", L"a b", L"c"}},
        SplitCase{"QuotedPartInsideArgument", L"prog a\"b c\"d", {L"prog", L"ab cd"}},
        SplitCase{"EmptyQuotesGiveEmptyArgument", L"prog \"\" x", {L"prog", L"", L"x"}},
        SplitCase{"UnclosedQuoteRunsToEnd", L"prog \"a b  ", {L"prog", L"a b  "}},
        SplitCase{"BackslashesNotBeforeQuoteArePlain", L"prog \\\\server\\share a\\\\b", {L"prog", L"\\\\server\\share", L"a\\\\b"}},
        SplitCase{"TrailingBackslash", L"prog a\\", {L"prog", L"a\\"}},
        SplitCase{"OddBackslashesGiveLiteralQuote", L"prog a\\\\\\\"b c", {L"prog", L"a\\\"b", L"c"}},
        SplitCase{"OneBackslashGivesQuote", L"prog \\\"a", {L"prog", L"\"a"}},
        SplitCase{"EvenBackslashesThenQuoteGroups", L"prog a\\\\\\\\\"b c\"", {L"prog", L"a\\\\b c"}},
        SplitCase{"QuotedValueEndingInBackslash", L"prog -DEFAULTIMAGE \"C:\\store dir\\\\\" x",
                  {L"prog", L"-DEFAULTIMAGE", L"C:\\store dir\\", L"x"}},
        SplitCase{"EscapedQuoteInsideQuotes", L"prog \"a\\\"b\" c", {L"prog", L"a\"b", L"c"}},
        SplitCase{"DoubledQuoteInsideQuotesKeepsGrouping", L"prog \"a\"\"b c\" d", {L"prog", L"a\"b c", L"d"}},
        SplitCase{"FourQuotesGiveOneQuote", L"prog \"\"\"\"", {L"prog", L"\""}},
        SplitCase{"DoubledQuoteOutsideQuotesIsEmpty", L"prog a\"\"b", {L"prog", L"ab"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.pszWhat); });

TEST(CommandLineSplit, NullLineGivesEmptyName)
{
    EXPECT_EQ(Texts{L""}, SplitCommandLine(nullptr));
}

struct TableCase
{
    const char* pszWhat;
    const wchar_t* pszCommandLine;
    int nCount;
    std::vector<std::pair<std::wstring, Texts>> entries;
    Texts absent;
};

void PrintTo(const TableCase& c, std::ostream* os)
{
    *os << c.pszWhat;
}

class SwitchTableTest : public ::testing::TestWithParam<TableCase>
{
};

TEST_P(SwitchTableTest, HoldsEachSwitchWithItsTexts)
{
    const TableCase& c = GetParam();
    CSwitchTable table;

    EXPECT_EQ(c.nCount, table.Parse(c.pszCommandLine));

    EXPECT_EQ(c.nCount, table.GetCount());
    for (const auto& entry : c.entries)
    {
        SCOPED_TRACE(::testing::PrintToString(entry.first));
        EXPECT_TRUE(table.HasSwitch(entry.first));
        EXPECT_EQ(entry.second, table.GetSwitchValues(entry.first));
        EXPECT_EQ(entry.second.front(), table.GetSwitchValue(entry.first));
    }
    for (const std::wstring& name : c.absent)
    {
        SCOPED_TRACE(::testing::PrintToString(name));
        EXPECT_FALSE(table.HasSwitch(name));
        EXPECT_TRUE(table.GetSwitchValues(name).empty());
        int nThrown = -1;
        try
        {
            table.GetSwitchValue(name);
        }
        catch (int n)
        {
            nThrown = n;
        }
        EXPECT_EQ(0, nThrown) << "an absent switch throws the integer 0";
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SwitchTableTest,
    ::testing::Values(
        TableCase{"TwoSwitchesWithValues", L"p -FWUPDATE AUTO -DEFAULTIMAGE 3", 2,
                  {{L"-FWUPDATE", {L"AUTO"}}, {L"-DEFAULTIMAGE", {L"3"}}}, {L"-GPSAUTO"}},
        TableCase{"SwitchBeforeSwitchGetsEmptyText", L"p -DOWNLOADALL -FWUPDATE FORCE", 2,
                  {{L"-DOWNLOADALL", {L""}}, {L"-FWUPDATE", {L"FORCE"}}}, {}},
        TableCase{"LastSwitchGetsEmptyText", L"p -FWUPDATE AUTO -GPSAUTO", 2,
                  {{L"-FWUPDATE", {L"AUTO"}}, {L"-GPSAUTO", {L""}}}, {}},
        TableCase{"CaseSensitive", L"p -fwupdate AUTO", 1, {{L"-fwupdate", {L"AUTO"}}},
                  {L"-FWUPDATE", L"-FwUpdate"}},
        TableCase{"FurtherWordsAppended", L"p -FWUPDATE AUTO extra words", 1,
                  {{L"-FWUPDATE", {L"AUTO", L"extra", L"words"}}}, {}},
        TableCase{"FirstOccurrenceWins", L"p -FWUPDATE OFF -FWUPDATE FORCE", 1, {{L"-FWUPDATE", {L"OFF"}}}, {}},
        TableCase{"WordsAfterRepeatJoinFirst", L"p -FWUPDATE OFF -FWUPDATE FORCE X", 1,
                  {{L"-FWUPDATE", {L"OFF", L"X"}}}, {}},
        TableCase{"WordsFollowTheLastSwitchNamed", L"p -A x -B y -A z w", 2,
                  {{L"-A", {L"x", L"w"}}, {L"-B", {L"y"}}}, {}},
        TableCase{"WordsBeforeFirstSwitchDropped", L"p word -GPSAUTO", 1, {{L"-GPSAUTO", {L""}}}, {L"word"}},
        TableCase{"PlainWordOnly", L"p word", 0, {}, {L"word"}},
        TableCase{"LoneMinus", L"p -", 0, {}, {L"-"}},
        TableCase{"MinusDigitIsPlain", L"p -5", 0, {}, {L"-5"}},
        TableCase{"MinusDigitsLettersIsPlain", L"p -12abc /X", 0, {}, {L"-12abc", L"/X"}},
        TableCase{"NegativeNumberIsValue", L"p -DEFAULTIMAGE -1 -AUTOUPDATE", 2,
                  {{L"-DEFAULTIMAGE", {L"-1"}}, {L"-AUTOUPDATE", {L""}}}, {}},
        TableCase{"MinusDigitsLettersIsValue", L"p -DEFAULTIMAGE -12abc", 1, {{L"-DEFAULTIMAGE", {L"-12abc"}}}, {}},
        TableCase{"QuotedSwitchWithBlankIsOneName", L"p \"-FWUPDATE AUTO\"", 1, {{L"-FWUPDATE AUTO", {L""}}},
                  {L"-FWUPDATE"}},
        TableCase{"QuotedValueWithBlanks", L"p -DEFAULTIMAGE \"my folder\" -FWUPDATE FORCE", 2,
                  {{L"-DEFAULTIMAGE", {L"my folder"}}, {L"-FWUPDATE", {L"FORCE"}}}, {}},
        TableCase{"ExplicitEmptyValue", L"p -FWUPDATE \"\" x", 1, {{L"-FWUPDATE", {L"", L"x"}}}, {}},
        TableCase{"DoubleMinusIsDistinct", L"p --FWUPDATE FORCE -FWUPDATE OFF", 2,
                  {{L"--FWUPDATE", {L"FORCE"}}, {L"-FWUPDATE", {L"OFF"}}}, {}},
        TableCase{"NoArguments", L"p", 0, {}, {L""}},
        TableCase{"EmptyLine", L"", 0, {}, {L"-FWUPDATE"}}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.pszWhat); });

TEST(SwitchTable, ParseStartsFromAnEmptyTable)
{
    CSwitchTable table;
    ASSERT_EQ(1, table.Parse(L"p -A 1"));

    EXPECT_EQ(1, table.Parse(L"p -B 2"));

    EXPECT_FALSE(table.HasSwitch(L"-A"));
    EXPECT_EQ(L"2", table.GetSwitchValue(L"-B"));
}

TEST(SwitchTable, EmptyTableThrowsZero)
{
    CSwitchTable table;
    EXPECT_THROW(table.GetSwitchValue(L"-FWUPDATE"), int);
}

TEST(SwitchTable, ProcessCommandLineIsParsedLikeItsText)
{
    CSwitchTable process, text;

    int nCount = process.Parse();

    EXPECT_EQ(text.Parse(::GetCommandLineW()), nCount);
    const std::vector<std::wstring> arguments = SplitCommandLine(::GetCommandLineW());
    for (size_t i = 1; i < arguments.size(); ++i)
    {
        EXPECT_EQ(text.GetSwitchValues(arguments[i]), process.GetSwitchValues(arguments[i]));
    }
}
}  // namespace
