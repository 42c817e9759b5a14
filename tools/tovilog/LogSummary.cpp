#include "LogSummary.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "LogLine.h"

namespace
{
const char kHeaderStart[] = "======= ";
const char kHeaderEnd[] = " =======";
const char kFooterRule[] = "=======";
const char kFooterStart[] = "Log Ended";

// The decision rows of the agent, and the early stops that end a run before one.
struct DecisionRow
{
    const char* pszText;
    const char* pszMode;
};
const DecisionRow kDecisionRows[] = {
    {"-FWUPDATE OFF. Modem is reset as desired firmware exists", "OFF"},
    {"-FWUPDATE OFF. Desired firmware doesn't exists on the modem", "OFF"},
    {"-FWUPDATE AUTO. Host FW is newer, but no FW update as FW is already on the modem.", "AUTO"},
    {"-FWUPDATE AUTO. Host FW is newer, FW will be updated.", "AUTO"},
    {"-FWUPDATE AUTO. Firmware will not be updated as the host firmware is not newer", "AUTO"},
    {"-FWUPDATE FORCE. Firmware will be updated", "FORCE"},
    {"Down load all image.", ""},
    {"No switches were given on the command line", ""},
    {"None of -FWUPDATE, -AUTOUPDATE, or -DOWNLOADALL is provided.", ""},
    {"No carrier index specified with -DEFAULTIMAGE option.", ""},
};

// Traces that tell how the run went without being an operation of their own.
const char* const kNotes[] = {
    "All images have been deleted from the modem. We need to force the image download.",
    "-SHOWMETHEGUI specified, running in UI mode",
    "Firmware existed",
    "Firmware does not exist",
    "Sleep 2s before EnableGpsAuto",
    "Sleep 30s before EnableGpsAuto",
    "Failed to initialize HiddenAgent",
    "Failed to initialize ImageStore",
    "Failed to load ToviApi",
    "Failed to delete all images.",
    "FwImageStore is un-initialized",
    // The download phase begins and ends with the status subscription.
    "QDL status change callback registered",
    "Failed to register QDL status change callback",
};

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool EndsWith(const std::string& text, const char* suffix)
{
    size_t n = std::char_traits<char>::length(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool MatchFrom(const std::string& text, size_t ti, const char* fmt, std::vector<std::string>* pValues)
{
    while (*fmt)
    {
        if (fmt[0] == '%' && (fmt[1] == 'd' || fmt[1] == 'i'))
        {
            size_t start = ti;
            if (ti < text.size() && text[ti] == '-')
                ++ti;
            size_t digits = ti;
            while (ti < text.size() && IsDigit(text[ti]))
                ++ti;
            if (ti == digits)
                return false;
            size_t mark = pValues->size();
            pValues->push_back(text.substr(start, ti - start));
            if (MatchFrom(text, ti, fmt + 2, pValues))
                return true;
            pValues->resize(mark);
            return false;
        }
        if (fmt[0] == '%' && fmt[1] == 's')
        {
            const char* rest = fmt + 2;
            size_t mark = pValues->size();
            // The longest value first; a literal after it narrows the places to try.
            for (size_t end = text.size() + 1; end-- > ti;)
            {
                if (*rest && *rest != '%' && (end >= text.size() || text[end] != *rest))
                    continue;
                if (!*rest && end != text.size())
                    continue;
                pValues->push_back(text.substr(ti, end - ti));
                if (MatchFrom(text, end, rest, pValues))
                    return true;
                pValues->resize(mark);
            }
            return false;
        }
        if (ti >= text.size() || text[ti] != *fmt)
            return false;
        ++ti;
        ++fmt;
    }
    return ti == text.size();
}

// "<long date> <hh:mm:ss.mmm> <counter>": the parts that are there.
void SplitDateAndStamp(std::string text, std::string* pDate, std::string* pTime, std::string* pCounter)
{
    size_t blank = text.rfind(' ');
    if (blank != std::string::npos && text.find('.', blank) != std::string::npos &&
        !IsTimeStamp(text.substr(blank + 1)) && IsDigit(text[text.size() - 1]))
    {
        *pCounter = text.substr(blank + 1);
        text.erase(blank);
    }
    blank = text.rfind(' ');
    std::string last = blank == std::string::npos ? text : text.substr(blank + 1);
    if (IsTimeStamp(last))
    {
        *pTime = last;
        text.erase(blank == std::string::npos ? 0 : blank);
    }
    *pDate = text;
}

std::vector<std::string> Tokens(const std::string& text)
{
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < text.size())
    {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t')
            ++i;
        if (i > start)
            tokens.push_back(text.substr(start, i - start));
    }
    return tokens;
}

// The value that follows a switch on the command line, when there is one.
std::string SwitchValue(const std::vector<std::string>& tokens, const char* pszSwitch)
{
    for (size_t i = 0; i + 1 < tokens.size(); ++i)
    {
        if (tokens[i] == pszSwitch && tokens[i + 1][0] != '-')
            return tokens[i + 1];
    }
    return std::string();
}

bool CounterOf(const std::string& text, double* pdSeconds)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    *pdSeconds = strtod(text.c_str(), &end);
    return end && *end == '\0';
}

// A decimal number as the log writes it; out of range saturates.
long ToLong(const std::string& text)
{
    return strtol(text.c_str(), nullptr, 10);
}

std::string Number(long long value)
{
    char sz[32];
    snprintf(sz, sizeof(sz), "%lld", value);
    return sz;
}

std::string Pad(const std::string& text, size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string PadLeft(const std::string& text, size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}
}

bool MatchTraceFormat(const std::string& text, const char* pszFormat, std::vector<std::string>* pValues)
{
    pValues->clear();
    return MatchFrom(text, 0, pszFormat, pValues);
}

CLogSummary::Step& CLogSummary::AddStep(const std::string& time, const char* pszKind, const std::string& target)
{
    Step step;
    step.sTime = time;
    step.sKind = pszKind;
    step.sTarget = target;
    m_steps.push_back(step);
    return m_steps.back();
}

CLogSummary::Step* CLogSummary::PendingStep(const char* pszKind)
{
    for (size_t i = m_steps.size(); i-- > 0;)
    {
        Step& step = m_steps[i];
        if (step.sKind == pszKind)
            return (!step.bHasResult && step.sNote.empty()) ? &step : nullptr;
    }
    return nullptr;
}

void CLogSummary::ReadHeader(const std::string& line)
{
    std::string inner = line.substr(sizeof(kHeaderStart) - 1);
    inner.erase(inner.size() - (sizeof(kHeaderEnd) - 1));
    size_t dash = inner.find(" -");
    if (dash == std::string::npos)
        return;
    m_sProgram = inner.substr(0, dash);
    std::string rest = inner.substr(dash + 2);
    if (!rest.empty() && rest[0] == ' ')
        rest.erase(0, 1);
    std::string counter;
    SplitDateAndStamp(rest, &m_sStartDate, &m_sStartTime, &counter);
    double seconds = 0;
    if (CounterOf(counter, &seconds))
        m_dStartCounter = seconds, m_bHasStartCounter = true;
}

void CLogSummary::ReadFooter(const std::string& line)
{
    m_bFooter = true;
    std::string rest = line.substr(sizeof(kFooterStart) - 1);
    if (!rest.empty() && rest[0] == ' ')
        rest.erase(0, 1);
    std::string date, counter;
    SplitDateAndStamp(rest, &date, &m_sEndTime, &counter);
    double seconds = 0;
    if (CounterOf(counter, &seconds))
        m_dEndCounter = seconds, m_bHasEndCounter = true;
}

void CLogSummary::ReadScope(const std::string& text)
{
    std::vector<std::string> values;
    bool bExit = MatchTraceFormat(text, "- %s (Duration = %dms - Total time = %dms - Total calls = %d)", &values);
    if (!bExit && !MatchTraceFormat(text, "+ %s", &values))
        return;
    auto found = m_scopeIndex.find(values[0]);
    if (found == m_scopeIndex.end())
    {
        found = m_scopeIndex.emplace(values[0], m_scopes.size()).first;
        m_scopes.push_back(Scope());
        m_scopes.back().sName = values[0];
    }
    Scope& scope = m_scopes[found->second];
    if (!bExit)
    {
        ++scope.lOpen;
        return;
    }
    long lDuration = ToLong(values[1]);
    ++scope.lCalls;
    scope.llTotalMs += lDuration;
    scope.lLongestMs = std::max(scope.lLongestMs, lDuration);
    if (scope.lOpen > 0)
        --scope.lOpen;
}

void CLogSummary::ReadTrace(const std::string& time, const std::string& text)
{
    std::vector<std::string> v;
    if (!m_bHasCommandLine && MatchTraceFormat(text, "Command line options: %s", &v))
    {
        m_bHasCommandLine = true;
        m_sCommandLine = v[0];
        return;
    }
    for (const DecisionRow& row : kDecisionRows)
    {
        if (text == row.pszText)
        {
            if (m_sDecision.empty())
            {
                m_sDecision = text;
                m_sUpdateMode = row.pszMode;
            }
            AddStep(time, "decision", "").sNote = text;
            return;
        }
    }
    for (const char* pszNote : kNotes)
    {
        if (text == pszNote)
        {
            AddStep(time, "note", "").sNote = text;
            return;
        }
    }
    if (MatchTraceFormat(text, "MapCarrierToFolder - CarrierID: %i, Folder: %i", &v))
        m_sRunningFolder = v[1];
    else if (MatchTraceFormat(text, "Updating to: %s", &v) || MatchTraceFormat(text, "Updating: %s", &v))
        AddStep(time, "upgrade", v[0]);
    else if (MatchTraceFormat(text, "UpgradeFirmware3k succeed for %s", &v) ||
             MatchTraceFormat(text, "UpgradeFirmware3k failed: %i for %s", &v) ||
             MatchTraceFormat(text, "UpgradeFirmware3k failed: %i", &v))
    {
        bool bFailed = StartsWith(text, "UpgradeFirmware3k failed");
        Step* pStep = PendingStep("upgrade");
        if (!pStep)
            pStep = &AddStep(time, "upgrade", "");
        if (!bFailed)
            pStep->sTarget = v[0];
        else if (v.size() > 1)
            pStep->sTarget = v[1];
        pStep->bHasResult = true;
        pStep->lResult = bFailed ? ToLong(v[0]) : 0;
    }
    else if (MatchTraceFormat(text, "Set Image preference to: %s", &v))
        AddStep(time, "preference", v[0]);
    else if (text == "GetImageIDs Failed.")
    {
        Step* pStep = PendingStep("preference");
        (pStep ? *pStep : AddStep(time, "preference", "")).sNote = text;
    }
    else if (MatchTraceFormat(text, "SetImagesPreference Failed with %d.", &v) ||
             MatchTraceFormat(text, "SetImagesPreference returned: %d", &v))
    {
        Step* pStep = PendingStep("preference");
        if (!pStep)
            pStep = &AddStep(time, "preference", "");
        pStep->bHasResult = true;
        pStep->lResult = ToLong(v[0]);
    }
    else if (text == "Resetting device")
    {
        // The agent resets only after the preference was taken.
        if (Step* pStep = PendingStep("preference"))
            pStep->bHasResult = true, pStep->lResult = 0;
        AddStep(time, "reset", "");
    }
    else if (MatchTraceFormat(text, "DeleteStoredImage returned: %d", &v))
    {
        Step& step = AddStep(time, "deletion", "");
        step.bHasResult = true;
        step.lResult = ToLong(v[0]);
    }
    else if (text == "Failed to delete pri image ..." || text == "Failed to delete app image ...")
        AddStep(time, "deletion", text.find("pri") != std::string::npos ? "PRI image" : "modem image").sNote = text;
    else if (MatchTraceFormat(text, "SetPortAutomaticTracking succeeded with %s", &v))
    {
        Step& step = AddStep(time, "gps", v[0]);
        step.bHasResult = true;
    }
    else if (MatchTraceFormat(text, "SetPortAutomaticTracking error: %i", &v))
    {
        Step& step = AddStep(time, "gps", SwitchValue(Tokens(m_sCommandLine), "-GPSAUTO"));
        step.bHasResult = true;
        step.lResult = ToLong(v[0]);
    }
    else if (MatchTraceFormat(text, "Can't find device, sleep and try again: %i", &v))
    {
        Step* pStep = PendingStep("connect");
        if (!pStep)
            pStep = &AddStep(time, "connect", "");
        pStep->sTarget = Number((long long)ToLong(v[0]) + 1) + " tries";
    }
    else if (MatchTraceFormat(text, "QCWWANConnect error: %i", &v))
    {
        // The agent repeats the store's report of the same failed connection.
        const Step* pLast = m_steps.empty() ? nullptr : &m_steps.back();
        if (pLast && pLast->sKind == "connect" && pLast->bHasResult && pLast->lResult == ToLong(v[0]))
            return;
        Step* pStep = PendingStep("connect");
        if (!pStep)
            pStep = &AddStep(time, "connect", "");
        pStep->bHasResult = true;
        pStep->lResult = ToLong(v[0]);
    }
    else if (MatchTraceFormat(text, "Number of folders found: %d", &v))
        AddStep(time, "download-all", v[0] + " folders");
    else if (MatchTraceFormat(text, "DownloadAllImages failed: %i", &v))
    {
        Step* pStep = PendingStep("download-all");
        if (!pStep)
            pStep = &AddStep(time, "download-all", "");
        pStep->bHasResult = true;
        pStep->lResult = ToLong(v[0]);
    }
    else if (MatchTraceFormat(text, "SetDownloadedDefaultImage failed: %i", &v) ||
             MatchTraceFormat(text, "GetFirmwareInfo failed: %i", &v))
    {
        Step& step = AddStep(time, StartsWith(text, "Set") ? "default-image" : "firmware-info", "");
        step.bHasResult = true;
        step.lResult = ToLong(v[0]);
    }
}

void CLogSummary::FinishMode()
{
    std::vector<std::string> tokens = Tokens(m_sCommandLine);
    if (!m_bHasCommandLine)
        m_sMode = "unknown";
    else if (tokens.empty())
        m_sMode = "version box";
    else if (std::find(tokens.begin(), tokens.end(), "-SHOWMETHEGUI") != tokens.end())
        m_sMode = "window";
    else
        m_sMode = "agent";
    m_sFolder = SwitchValue(tokens, "-DEFAULTIMAGE");
    if (m_sFolder.empty())
        m_sFolder = m_sRunningFolder;
}

void CLogSummary::Build(const CLogFile& log)
{
    *this = CLogSummary();
    m_bScrambled = log.Scrambled();
    m_bHasHeader = log.HasHeader();
    m_bCutShort = log.CutShort();

    bool bFirstCounter = false;
    double dFirst = 0, dLast = 0;
    bool bSeenContent = false;
    std::vector<std::string> lines = log.Lines();
    for (size_t i = 0; i < lines.size(); ++i)
    {
        const std::string& line = lines[i];
        if (line.empty())
            continue;
        bool bFirst = !bSeenContent;
        bSeenContent = true;
        if (bFirst && m_bHasHeader && StartsWith(line, kHeaderStart) && EndsWith(line, kHeaderEnd) &&
            line.size() >= sizeof(kHeaderStart) + sizeof(kHeaderEnd) - 2)
        {
            ReadHeader(line);
            continue;
        }
        if (line == kFooterRule && i + 1 < lines.size() && StartsWith(lines[i + 1], kFooterStart))
            continue;
        if (StartsWith(line, kFooterStart) && i > 0 && lines[i - 1] == kFooterRule)
        {
            ReadFooter(line);
            continue;
        }
        CLogLine parsed;
        if (!parsed.Parse(line))
        {
            ++m_nUnparsed;
            continue;
        }
        ++m_nLines;
        if (m_sProgram.empty())
            m_sProgram = parsed.m_sProgram;
        if (m_sStartTime.empty())
            m_sStartTime = parsed.m_sTime;
        double dSeconds = 0;
        if (parsed.CounterSeconds(&dSeconds))
        {
            if (!bFirstCounter)
                dFirst = dSeconds, bFirstCounter = true;
            dLast = dSeconds;
        }
        if (parsed.m_cLevel == 'E')
            m_errors.push_back({parsed.m_sTime, parsed.m_sText});
        if (parsed.IsScopeLine())
            ReadScope(parsed.m_sText);
        else
            ReadTrace(parsed.m_sTime, parsed.m_sText);
    }
    FinishMode();

    double dStart = m_bHasStartCounter ? m_dStartCounter : dFirst;
    double dEnd = m_bHasEndCounter ? m_dEndCounter : dLast;
    // Counters of a damaged log can be any size; a length beyond a year is none.
    const double kLongestRunSeconds = 366.0 * 24 * 3600;
    if ((m_bHasStartCounter || bFirstCounter) && (m_bHasEndCounter || bFirstCounter) && dEnd >= dStart &&
        dEnd - dStart <= kLongestRunSeconds)
    {
        m_bHasLength = true;
        m_llLengthMs = (long long)((dEnd - dStart) * 1000.0 + 0.5);
    }
    std::stable_sort(m_scopes.begin(), m_scopes.end(),
                     [](const Scope& a, const Scope& b) { return a.llTotalMs > b.llTotalMs; });
    m_scopeIndex.clear();
}

std::string CLogSummary::ToText(const std::string& sLogName) const
{
    std::string out;
    auto add = [&out](const char* label, const std::string& value) {
        out += Pad(label, 12) + value + "\n";
    };
    std::string kind = m_bScrambled ? "scrambled" : "plain";
    if (!m_bHasHeader)
        kind += ", no header (emptied at the size limit)";
    if (m_bCutShort)
        kind += ", cut short";
    add("Log:", sLogName + " (" + kind + ")");
    add("Program:", m_sProgram.empty() ? "?" : m_sProgram);
    std::string start = m_sStartDate.empty() ? m_sStartTime : m_sStartDate + " " + m_sStartTime;
    add("Started:", start.empty() ? "?" : start);
    add("Command:", m_bHasCommandLine ? m_sCommandLine : "(not in the log)");
    add("Mode:", m_sMode);
    if (m_sMode == "agent")
    {
        add("Update:", m_sUpdateMode.empty() ? "(no -FWUPDATE row)" : m_sUpdateMode);
        add("Folder:", m_sFolder.empty() ? "(none)" : m_sFolder);
        add("Decision:", m_sDecision.empty() ? "(none traced)" : m_sDecision);
    }
    if (!m_steps.empty())
    {
        out += "Steps:\n";
        for (const Step& step : m_steps)
        {
            std::string line = "  " + Pad(step.sTime, 13) + Pad(step.sKind, 14);
            std::string what = step.sKind == "decision" || step.sKind == "note" ? step.sNote : step.sTarget;
            if (step.sKind != "decision" && step.sKind != "note")
            {
                if (step.bHasResult)
                    what += std::string(what.empty() ? "" : " ") + "-> " +
                            (step.lResult == 0 ? std::string("0 (ok)") : Number(step.lResult) + " (failed)");
                else if (!step.sNote.empty())
                    what += std::string(what.empty() ? "" : " ") + "-> " + step.sNote;
                else if (step.sKind != "reset" && step.sKind != "download-all")
                    what += std::string(what.empty() ? "" : " ") + "-> no result in the log";
            }
            out += line + what + "\n";
        }
    }
    add("Errors:", Number((long long)m_errors.size()));
    for (const Error& error : m_errors)
        out += "  " + Pad(error.sTime, 13) + error.sText + "\n";
    if (!m_scopes.empty())
    {
        size_t width = 9;
        for (const Scope& scope : m_scopes)
            width = std::max(width, scope.sName.size());
        out += "Timed operations:\n";
        out += "  " + Pad("operation", width) + "  calls  total ms  longest ms\n";
        for (const Scope& scope : m_scopes)
        {
            out += "  " + Pad(scope.sName, width) + PadLeft(Number(scope.lCalls), 7) +
                   PadLeft(Number(scope.llTotalMs), 10) + PadLeft(Number(scope.lLongestMs), 12);
            if (scope.lOpen > 0)
                out += "  (" + Number(scope.lOpen) + " not ended)";
            out += "\n";
        }
    }
    add("Length:", m_bHasLength ? Number(m_llLengthMs) + " ms" : "?");
    add("Footer:", m_bFooter ? "yes (the run ended normally)" : "missing (the run did not end normally)");
    if (m_nUnparsed > 0)
        add("Unparsed:", Number((long long)m_nUnparsed) + " line(s) not in the trace layout");
    return out;
}
