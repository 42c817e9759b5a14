#include "LogLine.h"

#include <stdlib.h>

namespace
{
bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHexDigit(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool StartsWith(const std::string& text, size_t pos, const char* prefix)
{
    return text.compare(pos, std::char_traits<char>::length(prefix), prefix) == 0;
}

// "0x" and eight hexadecimal digits at pos.
bool ReadHex32(const std::string& text, size_t pos, unsigned long* pulValue)
{
    if (!StartsWith(text, pos, "0x") || text.size() < pos + 10)
        return false;
    for (size_t i = pos + 2; i < pos + 10; ++i)
    {
        if (!IsHexDigit(text[i]))
            return false;
    }
    *pulValue = strtoul(text.substr(pos + 2, 8).c_str(), nullptr, 16);
    return true;
}

// " <digits>.<six digits>" at pos; its length, or 0.
size_t CounterLength(const std::string& text, size_t pos)
{
    if (pos >= text.size() || text[pos] != ' ')
        return 0;
    size_t i = pos + 1;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (digits == 0 || i >= text.size() || text[i] != '.')
        return 0;
    ++i;
    size_t decimals = 0;
    while (i < text.size() && IsDigit(text[i]) && decimals < 6)
        ++i, ++decimals;
    return decimals == 6 ? i - pos : 0;
}

// The tag at pos: " X : " and, for the levels with the long tag, two more blanks.
size_t TagLength(const std::string& text, size_t pos, char* pcLevel)
{
    if (text.size() < pos + 5 || text[pos] != ' ' || text.compare(pos + 2, 3, " : ") != 0)
        return 0;
    char c = text[pos + 1];
    if (c == 'h' || c == '?')
    {
        *pcLevel = c;
        return 5;
    }
    if ((c == 't' || c == 'i' || c == 'E') && text.compare(pos + 5, 2, "  ") == 0)
    {
        *pcLevel = c;
        return 7;
    }
    return 0;
}
}

bool IsTimeStamp(const std::string& text)
{
    static const char kPattern[] = "dd:dd:dd.ddd";
    if (text.size() != sizeof(kPattern) - 1)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (kPattern[i] == 'd' ? !IsDigit(text[i]) : text[i] != kPattern[i])
            return false;
    }
    return true;
}

void CLogLine::Clear()
{
    *this = CLogLine();
}

bool CLogLine::Parse(const std::string& line)
{
    Clear();
    size_t blank = line.find(' ');
    if (blank == std::string::npos || blank == 0)
        return false;
    // Program names are plain ASCII words. Scrambled text never is, so a
    // scrambled log can never pass for a plain one.
    for (size_t i = 0; i < blank; ++i)
    {
        if (line[i] <= ' ' || line[i] >= 0x7f)
            return false;
    }
    CLogLine parsed;
    parsed.m_sProgram = line.substr(0, blank);
    size_t pos = blank + 1;

    // The stamp can be missing when the clock could not be read.
    if (IsTimeStamp(line.substr(pos, 12)))
    {
        parsed.m_sTime = line.substr(pos, 12);
        pos += 12;
        size_t counter = CounterLength(line, pos);
        if (counter > 0)
        {
            parsed.m_sCounter = line.substr(pos + 1, counter - 1);
            pos += counter;
        }
    }
    if (StartsWith(line, pos, " 0x") && ReadHex32(line, pos + 1, &parsed.m_ulThread))
    {
        parsed.m_bHasThread = true;
        pos += 11;
    }
    if (StartsWith(line, pos, "TC ") && ReadHex32(line, pos + 3, &parsed.m_ulTick) &&
        StartsWith(line, pos + 13, " : "))
    {
        parsed.m_bHasTick = true;
        pos += 16;
    }
    size_t tag = TagLength(line, pos, &parsed.m_cLevel);
    if (tag == 0)
        return false;
    // A line whose stamp is missing must still carry some field before the
    // tag; otherwise any text with a blank and a colon would pass for a line.
    if (parsed.m_sTime.empty() && !parsed.m_bHasThread && !parsed.m_bHasTick)
        return false;
    parsed.m_sText = line.substr(pos + tag);
    *this = parsed;
    return true;
}

int CLogLine::Level() const
{
    switch (m_cLevel)
    {
    case 't': return 0;
    case 'i': return 1;
    case 'h': return 2;
    case 'E': return 3;
    default: return -1;
    }
}

bool CLogLine::CounterSeconds(double* pdSeconds) const
{
    if (m_sCounter.empty())
        return false;
    *pdSeconds = strtod(m_sCounter.c_str(), nullptr);
    return true;
}

long CLogLine::TimeOfDayMs() const
{
    if (!IsTimeStamp(m_sTime))
        return -1;
    long h = atol(m_sTime.substr(0, 2).c_str());
    long m = atol(m_sTime.substr(3, 2).c_str());
    long s = atol(m_sTime.substr(6, 2).c_str());
    long ms = atol(m_sTime.substr(9, 3).c_str());
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

bool CLogLine::IsScopeLine() const
{
    return m_cLevel == 'h' && (StartsWith(m_sText, 0, "+ ") || StartsWith(m_sText, 0, "- "));
}
