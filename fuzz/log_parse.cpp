// Feeds arbitrary bytes to tovilog's reading of a log: recognition (plain or
// scrambled, with or without header), the line parser, the show filters, the
// summary and its JSON. Besides memory errors it checks that a parsed line's
// fields are the line's own bytes in the library's layout, that recognition
// does not depend on scrambling, and that the JSON is always valid.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "LineFilter.h"
#include "LogFile.h"
#include "LogLine.h"
#include "LogSummary.h"
#include "SummaryJson.h"
#include "diroduzuvevo/TbdLineLayout.h"

namespace
{
void Require(bool bCondition)
{
    if (!bCondition)
        abort();
}

std::string Same(const std::string& text)
{
    return text;
}

std::string Scramble(std::string bytes)
{
    if (!bytes.empty())
        TbdScrambleBytes(reinterpret_cast<const unsigned char*>(bytes.data()), reinterpret_cast<unsigned char*>(&bytes[0]),
                         bytes.size());
    return bytes;
}

// A parsed line put back together from its fields is the line itself.
void CheckLine(const std::string& raw)
{
    CLogLine line;
    if (!line.Parse(raw))
    {
        Require(line.m_sText.empty() && line.m_sProgram.empty());
        return;
    }
    Require(!line.m_sProgram.empty() && line.m_sProgram.find(' ') == std::string::npos);
    Require(line.m_sTime.empty() || IsTimeStamp(line.m_sTime));
    Require(line.Level() >= -1 && line.Level() <= 3);
    // The text is the line's end, and everything before it is fields.
    Require(raw.size() >= line.m_sText.size() &&
            raw.compare(raw.size() - line.m_sText.size(), line.m_sText.size(), line.m_sText) == 0);
    Require(raw.compare(0, line.m_sProgram.size() + 1, line.m_sProgram + " ") == 0);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    CLogFile plain, scrambled;
    bool bPlain = plain.Load(bytes);
    bool bScrambled = scrambled.Load(Scramble(bytes));
    // The same log is recognised whichever way it lies on disk.
    Require(bPlain == bScrambled);
    if (bPlain)
    {
        Require(plain.Text() == scrambled.Text());
        Require(plain.HasHeader() == scrambled.HasHeader() && plain.CutShort() == scrambled.CutShort());
    }

    CLineFilter filter;
    filter.SetLevels("E,i");
    filter.SetGrep("a");
    filter.SetNoScopes(true);
    CLogFile any;
    any.Load(bytes);
    for (const std::string& line : bPlain ? plain.Lines() : std::vector<std::string>{bytes.substr(0, 2000)})
    {
        CheckLine(line);
        filter.Passes(line);
    }
    if (bPlain)
    {
        CLogSummary summary;
        summary.Build(plain);
        Require(summary.m_nLines + summary.m_nUnparsed <= plain.Lines().size());
        summary.ToText("fuzz");
        std::string json = SummaryToJson(summary, "fuzz", Same);
        Require(!nlohmann::json::parse(json, nullptr, false).is_discarded());
    }
    return 0;
}
