#pragma once
// The filters of "tovilog show": they look at a line's fields, so a text that
// merely contains "0x0000002c" or " E :" does not pass for that thread or
// level. A line that does not parse has no fields: only --grep looks at it.
#include <string>

#include "LogLine.h"

class CLineFilter
{
public:
    // "E,i,h,t" (and "?" for the fallback tag); false for anything else.
    bool SetLevels(const std::string& list);
    // A thread ID in hexadecimal, with or without "0x"; false when it is not one.
    bool SetThread(const std::string& id);
    void SetGrep(const std::string& text) { m_sGrep = text; }
    void SetNoScopes(bool bNoScopes) { m_bNoScopes = bNoScopes; }

    // Whether "tovilog show" prints the raw line.
    bool Passes(const std::string& rawLine) const;

private:
    std::string m_sLevels;  // tag letters; empty = all
    bool m_bThread = false;
    unsigned long m_ulThread = 0;
    std::string m_sGrep;
    bool m_bNoScopes = false;
};
