#include "SummaryJson.h"

#include <nlohmann/json.hpp>

// Keys in the order a reader expects them, not sorted.
using json = nlohmann::ordered_json;

namespace
{
json TextOrNull(const std::string& text, std::string (*toUtf8)(const std::string&))
{
    return text.empty() ? json(nullptr) : json(toUtf8(text));
}
}

std::string SummaryToJson(const CLogSummary& s, const std::string& logName,
                          std::string (*toUtf8)(const std::string&))
{
    json out;
    out["log"] = {{"file", toUtf8(logName)},
                  {"scrambled", s.m_bScrambled},
                  {"header", s.m_bHasHeader},
                  {"cutShort", s.m_bCutShort},
                  {"lines", s.m_nLines},
                  {"unparsedLines", s.m_nUnparsed}};
    out["program"] = TextOrNull(s.m_sProgram, toUtf8);
    out["start"] = {{"date", TextOrNull(s.m_sStartDate, toUtf8)}, {"time", TextOrNull(s.m_sStartTime, toUtf8)}};
    out["commandLine"] = s.m_bHasCommandLine ? json(toUtf8(s.m_sCommandLine)) : json(nullptr);
    out["mode"] = s.m_sMode;
    if (s.m_sMode == "agent")
    {
        json steps = json::array();
        for (const CLogSummary::Step& step : s.m_steps)
        {
            json item = {{"time", TextOrNull(step.sTime, toUtf8)}, {"kind", step.sKind}};
            if (!step.sTarget.empty())
                item["target"] = toUtf8(step.sTarget);
            if (step.bHasResult)
                item["result"] = step.lResult;
            if (!step.sNote.empty())
                item["text"] = toUtf8(step.sNote);
            steps.push_back(item);
        }
        out["agent"] = {{"updateMode", TextOrNull(s.m_sUpdateMode, toUtf8)},
                        {"folder", TextOrNull(s.m_sFolder, toUtf8)},
                        {"decision", TextOrNull(s.m_sDecision, toUtf8)},
                        {"steps", steps}};
    }
    else
        out["agent"] = nullptr;
    json errors = json::array();
    for (const CLogSummary::Error& error : s.m_errors)
        errors.push_back({{"time", TextOrNull(error.sTime, toUtf8)}, {"text", toUtf8(error.sText)}});
    out["errors"] = {{"count", s.m_errors.size()}, {"lines", errors}};
    json scopes = json::array();
    for (const CLogSummary::Scope& scope : s.m_scopes)
        scopes.push_back({{"name", toUtf8(scope.sName)},
                          {"calls", scope.lCalls},
                          {"totalMs", scope.llTotalMs},
                          {"longestMs", scope.lLongestMs},
                          {"notEnded", scope.lOpen}});
    out["timedOperations"] = scopes;
    out["lengthMs"] = s.m_bHasLength ? json(s.m_llLengthMs) : json(nullptr);
    out["footer"] = s.m_bFooter;
    // Bytes that are not UTF-8 after the conversion are replaced, never thrown at.
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}
