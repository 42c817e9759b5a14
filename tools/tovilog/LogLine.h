#pragma once
// One line of a trace log split into the fields that the trace library writes:
//   <program> <hh:mm:ss.mmm>[ <counter seconds>][ 0x<thread>][TC 0x<tick> : ]<tag><text>
// Works on the log's own bytes (the system's ANSI code page); no Windows
// headers, so the fuzzers build it natively.
#include <string>

class CLogLine
{
public:
    // Splits the line (without its "\r\n"); false, leaving the fields empty,
    // when it does not follow the layout.
    bool Parse(const std::string& line);

    std::string m_sProgram;
    std::string m_sTime;     // "hh:mm:ss.mmm"; empty when the stamp was missing
    std::string m_sCounter;  // performance-counter seconds as written; may be empty
    bool m_bHasThread = false;
    unsigned long m_ulThread = 0;
    bool m_bHasTick = false;
    unsigned long m_ulTick = 0;
    char m_cLevel = 0;       // the tag's letter: 't', 'i', 'h', 'E' or '?'
    std::string m_sText;

    // The trace level of the tag: 0..3, -1 for the fallback tag.
    int Level() const;
    // Counter seconds as a number; false when the line has none.
    bool CounterSeconds(double* pdSeconds) const;
    // Milliseconds since midnight from the wall-clock field; -1 without one.
    long TimeOfDayMs() const;
    // Entry or exit line of a timed operation ("+ name", "- name (Duration ...").
    bool IsScopeLine() const;

private:
    void Clear();
};

// Whether the text is the wall-clock stamp "hh:mm:ss.mmm".
bool IsTimeStamp(const std::string& text);
