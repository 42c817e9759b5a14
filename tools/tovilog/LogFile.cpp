#include "LogFile.h"

#include "LogLine.h"
#include "diroduzuvevo/TbdLineLayout.h"

const char TOVILOG_HEADER_START[] = "\r\n======= ";

namespace
{
// As much of a log's start as the checks below look at.
const size_t kProbeBytes = 1100;

std::string Unscramble(const std::string& bytes)
{
    std::string text(bytes.size(), '\0');
    if (!bytes.empty())
        TbdScrambleBytes(reinterpret_cast<const unsigned char*>(bytes.data()),
                         reinterpret_cast<unsigned char*>(&text[0]), bytes.size());
    return text;
}

// As the line parser has it: printable ASCII.
bool IsProgramNameChar(char c)
{
    return c > ' ' && c < 0x7f;
}
}

bool CLogFile::LooksLikeLog(const std::string& text, bool* pbHeader, bool* pbCutShort)
{
    const std::string start(TOVILOG_HEADER_START);
    const std::string probe = text.substr(0, kProbeBytes);
    *pbHeader = false;
    *pbCutShort = false;
    if (probe.size() < start.size())
    {
        // A copy cut inside the header's opening.
        if (start.compare(0, probe.size(), probe) != 0)
            return false;
        *pbHeader = true;
        *pbCutShort = true;
        return true;
    }
    if (probe.compare(0, start.size(), start) == 0)
    {
        size_t end = probe.find("\r\n", start.size());
        std::string rest = probe.substr(start.size(), end == std::string::npos ? std::string::npos : end - start.size());
        size_t name = 0;
        while (name < rest.size() && IsProgramNameChar(rest[name]))
            ++name;
        // "<program> -" must follow, unless the file ends before it does.
        bool bComplete = end != std::string::npos;
        if (name == 0 && !rest.empty())
            return false;
        if (bComplete && rest.compare(name, 2, " -") != 0)
            return false;
        *pbHeader = true;
        *pbCutShort = !bComplete;
        return true;
    }
    // Emptied at the size limit: the first line is a trace line.
    size_t end = probe.find("\r\n");
    std::string first = probe.substr(0, end);
    CLogLine line;
    if (line.Parse(first) && !line.m_sTime.empty())
        return true;
    // A first line cut short still shows its program name and its time stamp.
    size_t blank = first.find(' ');
    if (end == std::string::npos && blank != std::string::npos && blank > 0 && first.size() >= blank + 13 &&
        IsTimeStamp(first.substr(blank + 1, 12)))
    {
        for (size_t i = 0; i < blank; ++i)
        {
            if (!IsProgramNameChar(first[i]))
                return false;
        }
        *pbCutShort = true;
        return true;
    }
    return false;
}

bool CLogFile::Load(const std::string& bytes)
{
    *this = CLogFile();
    if (bytes.empty())
    {
        m_kind = EMPTY;
        return false;
    }
    bool bHeader = false, bCutShort = false;
    std::string text;
    if (LooksLikeLog(bytes, &bHeader, &bCutShort))
        text = bytes;
    else
    {
        text = Unscramble(bytes);
        if (!LooksLikeLog(text, &bHeader, &bCutShort))
            return false;
        m_bScrambled = true;
    }
    m_kind = LOG;
    m_bHasHeader = bHeader;
    // Every line, the header's and the footer's included, ends with "\r\n".
    m_bCutShort = bCutShort || text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0;
    m_sText.swap(text);
    return true;
}

std::vector<std::string> CLogFile::Lines() const
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < m_sText.size())
    {
        size_t end = m_sText.find('\n', start);
        if (end == std::string::npos)
        {
            lines.push_back(m_sText.substr(start));
            break;
        }
        size_t length = end - start;
        if (length > 0 && m_sText[end - 1] == '\r')
            --length;
        lines.push_back(m_sText.substr(start, length));
        start = end + 1;
    }
    return lines;
}
