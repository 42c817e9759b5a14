#pragma once
// One run's story, read from its trace log: when it started, what it was
// asked to do, what the agent decided and did with which result, the errors,
// the timed operations and whether the run ended normally. No Windows
// headers: the fuzzers build it natively.
#include <map>
#include <string>
#include <vector>

#include "LogFile.h"

class CLogSummary
{
public:
    // One decision or operation of the agent, in the order of the log.
    struct Step
    {
        std::string sTime;
        std::string sKind;      // "decision", "upgrade", "preference", "deletion", "gps", "connect", ...
        std::string sTarget;    // folder, image or value the operation worked on
        bool bHasResult = false;
        long lResult = 0;       // 0 = success, else the code the log gives
        std::string sNote;      // the trace's own text for decisions and failures without a code
    };

    struct Error
    {
        std::string sTime;
        std::string sText;
    };

    struct Scope
    {
        std::string sName;
        long lCalls = 0;
        long long llTotalMs = 0;
        long lLongestMs = 0;
        long lOpen = 0;         // entries without an exit line
    };

    void Build(const CLogFile& log);

    std::string m_sProgram;
    bool m_bScrambled = false;
    bool m_bHasHeader = false;
    bool m_bCutShort = false;
    std::string m_sStartDate;   // the header's long date; empty without a header
    std::string m_sStartTime;   // the header's time, else the first line's
    bool m_bHasCommandLine = false;
    std::string m_sCommandLine;
    std::string m_sMode;        // "version box", "window", "agent" or "unknown"
    std::string m_sUpdateMode;  // "AUTO", "FORCE", "OFF" or empty
    std::string m_sFolder;      // the -DEFAULTIMAGE folder or the folder of the running carrier
    std::string m_sDecision;    // the decision row's trace, or the early stop's
    std::vector<Step> m_steps;
    std::vector<Error> m_errors;
    std::vector<Scope> m_scopes;  // longest total first
    bool m_bHasLength = false;
    long long m_llLengthMs = 0;
    bool m_bFooter = false;
    std::string m_sEndTime;
    size_t m_nLines = 0;
    size_t m_nUnparsed = 0;

    // The summary as text lines for people.
    std::string ToText(const std::string& sLogName) const;

private:
    void ReadHeader(const std::string& line);
    void ReadFooter(const std::string& line);
    void ReadTrace(const std::string& time, const std::string& text);
    void ReadScope(const std::string& text);
    void FinishMode();
    Step* PendingStep(const char* pszKind);
    Step& AddStep(const std::string& time, const char* pszKind, const std::string& target);

    std::map<std::string, size_t> m_scopeIndex;
    std::string m_sRunningFolder;
    bool m_bHasStartCounter = false;
    double m_dStartCounter = 0;
    bool m_bHasEndCounter = false;
    double m_dEndCounter = 0;
};

// Matches a text against a trace format with "%s", "%d" and "%i" in it;
// the values in order. "%s" takes as much as lets the rest match.
bool MatchTraceFormat(const std::string& text, const char* pszFormat, std::vector<std::string>* pValues);
