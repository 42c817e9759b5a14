#include "LineFilter.h"

#include <stdlib.h>

bool CLineFilter::SetLevels(const std::string& list)
{
    std::string levels;
    size_t start = 0;
    while (start <= list.size())
    {
        size_t comma = list.find(',', start);
        std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item == "e")
            item = "E";
        if (item.size() != 1 || std::string("tihE?").find(item[0]) == std::string::npos)
            return false;
        levels += item;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    m_sLevels = levels;
    return true;
}

bool CLineFilter::SetThread(const std::string& id)
{
    std::string digits = id;
    if (digits.compare(0, 2, "0x") == 0 || digits.compare(0, 2, "0X") == 0)
        digits.erase(0, 2);
    if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    m_ulThread = strtoul(digits.c_str(), nullptr, 16);
    m_bThread = true;
    return true;
}

bool CLineFilter::Passes(const std::string& rawLine) const
{
    CLogLine line;
    if (!line.Parse(rawLine))
        return m_sGrep.empty() || rawLine.find(m_sGrep) != std::string::npos;
    if (!m_sLevels.empty() && m_sLevels.find(line.m_cLevel) == std::string::npos)
        return false;
    if (m_bThread && (!line.m_bHasThread || line.m_ulThread != m_ulThread))
        return false;
    if (m_bNoScopes && line.IsScopeLine())
        return false;
    return m_sGrep.empty() || line.m_sText.find(m_sGrep) != std::string::npos;
}
