// Scope timing: entry and exit lines, durations and per-operation totals.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "support/TraceCapture.h"
#include "support/TraceTestSupport.h"

namespace
{
struct ExitLine
{
    std::wstring name;
    int nDuration;
    int nTotal;
    int nCalls;
};

std::vector<ExitLine> ExitLines(const CTraceCapture& capture)
{
    std::vector<ExitLine> lines;
    std::wregex pattern(L"- (.*) \\(Duration = (\\d+)ms - Total time = (\\d+)ms - Total calls = (\\d+)\\)");
    for (const std::wstring& text : capture.TextsAtLevel(2))
    {
        std::wsmatch m;
        if (std::regex_match(text, m, pattern))
            lines.push_back({m[1].str(), std::stoi(m[2].str()), std::stoi(m[3].str()), std::stoi(m[4].str())});
    }
    return lines;
}

void TimedOperation(DWORD dwMilliseconds)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::Execute");
    ::Sleep(dwMilliseconds);
}

void ConcurrentOperation()
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::ConnectDevice");
    ::Sleep(1);
}

void UntracedOperation()
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::DeleteImage");
}

TEST(TraceScope, CountsCallsAndAddsDurations)
{
    CTraceCapture capture;
    TimedOperation(30);
    TimedOperation(10);
    TimedOperation(20);

    EXPECT_EQ(3, capture.Count(L"+ CHiddenAgent::Execute"));
    std::vector<ExitLine> exits = ExitLines(capture);
    ASSERT_EQ(3u, exits.size());
    int sum = 0;
    for (size_t i = 0; i < exits.size(); ++i)
    {
        sum += exits[i].nDuration;
        EXPECT_EQ(L"CHiddenAgent::Execute", exits[i].name);
        EXPECT_EQ((int)i + 1, exits[i].nCalls);
        EXPECT_EQ(sum, exits[i].nTotal) << "total after call " << i + 1;
    }
    EXPECT_GT(exits[0].nDuration, 0) << "the duration is not measured";
}

TEST(TraceScope, CountersStayRightWhenThreadsTimeTheSameOperation)
{
    const int kThreads = 4;
    const int kCalls = 25;
    CTraceCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([]() {
            for (int i = 0; i < kCalls; ++i)
                ConcurrentOperation();
        });
    for (std::thread& thread : threads)
        thread.join();

    std::vector<ExitLine> exits = ExitLines(capture);
    ASSERT_EQ((size_t)(kThreads * kCalls), exits.size());
    int sum = 0;
    int maxCalls = 0;
    int maxTotal = 0;
    for (const ExitLine& exit : exits)
    {
        sum += exit.nDuration;
        maxCalls = std::max(maxCalls, exit.nCalls);
        maxTotal = std::max(maxTotal, exit.nTotal);
    }
    EXPECT_EQ(kThreads * kCalls, maxCalls);
    EXPECT_EQ(sum, maxTotal);
}

TEST(TraceScope, CountsEvenWhileNothingIsTraced)
{
    TbdShutdown();
    UntracedOperation();
    UntracedOperation();
    CTraceCapture capture;
    UntracedOperation();
    std::vector<ExitLine> exits = ExitLines(capture);
    ASSERT_EQ(1u, exits.size());
    EXPECT_EQ(3, exits[0].nCalls);
}

TEST(TraceScope, KeepsAtMost259CharactersOfTheName)
{
    std::wstring name(300, L'n');
    LONG lTotal = 0;
    LONG lCalls = 0;
    CTraceCapture capture;
    {
        CTbdFunctionTrace trace(name.c_str(), &lTotal, &lCalls);
    }
    EXPECT_EQ(1, capture.Count(L"+ " + name.substr(0, 259)));
    std::vector<ExitLine> exits = ExitLines(capture);
    ASSERT_EQ(1u, exits.size());
    EXPECT_EQ(name.substr(0, 259), exits[0].name);
    EXPECT_EQ(1, lCalls);
}
// The capture holds every test that traces to the program's rules, so that a
// message in the wrong class or at the wrong level fails the test expecting it.
TEST(TraceCaptureRules, EachMessageKeepsItsClassAndLevel)
{
    const std::wstring kExit = L"- %s (Duration = %dms - Total time = %dms - Total calls = %d)";
    struct
    {
        CTracedMessage message;
        bool bKeepsRules;
    } cases[] = {
        {{TBDCT_ALL_FUNCTIONS, 2, L"+ %s", L"+ CHiddenAgent::Execute"}, true},
        {{TBDCT_ALL_FUNCTIONS, 2, kExit, L"- CHiddenAgent::Execute (...)"}, true},
        {{TBCT_INFO, 2, L"+ %s", L"+ CHiddenAgent::Execute"}, false},
        {{TBDCT_ALL_FUNCTIONS, 1, kExit, L"- CHiddenAgent::Execute (...)"}, false},
        {{TBCT_INFO, 1, L"Ready", L"Ready"}, true},
        {{TBCT_INFO, 3, L"Failed to find image element", L"Failed to find image element"}, true},
        {{TBCT_INFO, 2, L"Ready", L"Ready"}, false},
        {{TBCT_READ, 1, L"Ready", L"Ready"}, false},
        {{TBDCT_ALL_FUNCTIONS, 1, L"Ready", L"Ready"}, false},
        {{TBDCT_LAST, 1, L"Version: %s", L"Version: 1.0.1312.0"}, true},
        {{TBDCT_LAST, 1, L"Ready", L"Ready"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.bKeepsRules, CTraceCapture::RuleBroken(c.message).empty())
            << AnsiBytes(c.message.text) << " class " << c.message.nClass;

    EXPECT_NONFATAL_FAILURE(
        {
            CTraceCapture capture;
            TbdPrintMessage(TBCT_READ, 1, L"Modem element found:");
        },
        "message not in TBCT_INFO");
}
}
