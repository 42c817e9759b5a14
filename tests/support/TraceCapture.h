#pragma once
// Sends the trace library's output to a fresh file of the test's own for the
// life of the object, with every class enabled at threshold 0, and reads it back.
// It also keeps each message's class, level and format as traced, and fails
// the test that made a program message in another class or level than the
// program's rules give: scope lines in TBDCT_ALL_FUNCTIONS at level 2, the
// program's own in TBCT_INFO at level 0, 1 or 3.
#include <string>
#include <vector>

struct CTracedMessage
{
    int nClass;
    int nLevel;
    std::wstring format;
    std::wstring text;
};

class CTraceCapture
{
public:
    enum ERules
    {
        PROGRAM_RULES,  // every message must follow the program's class and level rules
        ANY_CLASS       // for tests of the trace library itself
    };
    explicit CTraceCapture(ERules rules = PROGRAM_RULES);
    ~CTraceCapture();
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    // The text of every line written so far, after its level tag.
    std::vector<std::wstring> Texts() const;
    // The raw lines, prefix and tag included.
    std::vector<std::wstring> Lines() const;
    // Lines whose text equals the given one exactly.
    int Count(const std::wstring& text) const;
    bool Contains(const std::wstring& text) const { return Count(text) > 0; }
    // Index of the first text equal to the given one at or after 'from', or -1.
    int IndexOf(const std::wstring& text, int from = 0) const;
    // Texts of lines whose tag is that of the given level (0..3).
    std::vector<std::wstring> TextsAtLevel(int level) const;
    // Every message that passed the filter, in the order traced.
    std::vector<CTracedMessage> Messages() const;
    // Where a message breaks the program's rules: empty when it keeps them.
    static std::string RuleBroken(const CTracedMessage& message);
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
    ERules m_rules;
};
