#pragma once
// A trace log's bytes, told apart from other files and unscrambled. A log
// starts with its header line ("\r\n======= <program> -"); one that the size
// limit emptied starts with a trace line instead (program name, blank, time
// stamp). Either can be scrambled with the trace library's mask. No Windows
// headers: the fuzzers build it natively.
#include <string>
#include <vector>

class CLogFile
{
public:
    enum Kind
    {
        NOT_A_LOG,
        EMPTY,
        LOG
    };

    // Takes a file's bytes; false when they are not a log (Kind() says why).
    bool Load(const std::string& bytes);

    Kind GetKind() const { return m_kind; }
    bool Scrambled() const { return m_bScrambled; }
    // The log starts with its header; false for a log emptied at the size limit.
    bool HasHeader() const { return m_bHasHeader; }
    // The file ends inside its header or inside a line, as a copy cut short does.
    bool CutShort() const { return m_bCutShort; }
    // The plain text of the log.
    const std::string& Text() const { return m_sText; }
    // The text split at "\r\n" (a lone "\n" too); the last line when the text
    // does not end with a line break is kept as it is.
    std::vector<std::string> Lines() const;

private:
    static bool LooksLikeLog(const std::string& text, bool* pbHeader, bool* pbCutShort);

    Kind m_kind = NOT_A_LOG;
    bool m_bScrambled = false;
    bool m_bHasHeader = false;
    bool m_bCutShort = false;
    std::string m_sText;
};

// The header's opening, as the trace library writes it.
extern const char TOVILOG_HEADER_START[];
