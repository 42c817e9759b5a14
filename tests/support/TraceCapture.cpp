#include "support/TraceCapture.h"

#include <windows.h>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "support/TraceTestSupport.h"

namespace
{
const wchar_t* const kTags[] = {L" t :   ", L" i :   ", L" h : ", L" E :   "};

std::wstring Widen(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    int n = ::MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

// Splits a line into its level and its text; level -1 for lines without a tag
// (header, footer, empty lines).
int SplitLine(const std::wstring& line, std::wstring* text)
{
    // The tag follows the thread ID field " 0x%08x".
    size_t pos = line.find(L" 0x");
    if (pos == std::wstring::npos)
        return -1;
    pos += 3 + 8;
    for (int level = 0; level < 4; ++level)
    {
        if (line.compare(pos, wcslen(kTags[level]), kTags[level]) == 0)
        {
            *text = line.substr(pos + wcslen(kTags[level]));
            return level;
        }
    }
    return -1;
}
}

CTraceCapture::CTraceCapture() : m_path(TestTempPath(L"tovi_trace.txt"))
{
    TbdShutdown();
    TbdInitialize(m_path.c_str(), 0);
    for (int c = 0; c < TBD_CLASS_COUNT; ++c)
        bClassEnabled[c] = true;
    nTraceLevelFile = 0;
    nTraceLevelDebug = 0;
}

CTraceCapture::~CTraceCapture()
{
    TbdShutdown();
    ::DeleteFileW(m_path.c_str());
}

std::vector<std::wstring> CTraceCapture::Lines() const
{
    std::vector<std::wstring> lines;
    std::wstring all = Widen(ReadFileBytes(m_path));
    size_t start = 0;
    while (start < all.size())
    {
        size_t end = all.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = all.size();
        lines.push_back(all.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::wstring> CTraceCapture::Texts() const
{
    std::vector<std::wstring> texts;
    for (const std::wstring& line : Lines())
    {
        std::wstring text;
        if (SplitLine(line, &text) >= 0)
            texts.push_back(text);
    }
    return texts;
}

std::vector<std::wstring> CTraceCapture::TextsAtLevel(int level) const
{
    std::vector<std::wstring> texts;
    for (const std::wstring& line : Lines())
    {
        std::wstring text;
        if (SplitLine(line, &text) == level)
            texts.push_back(text);
    }
    return texts;
}

int CTraceCapture::Count(const std::wstring& text) const
{
    int n = 0;
    for (const std::wstring& t : Texts())
        n += (t == text) ? 1 : 0;
    return n;
}

int CTraceCapture::IndexOf(const std::wstring& text, int from) const
{
    std::vector<std::wstring> texts = Texts();
    for (size_t i = from < 0 ? 0 : (size_t)from; i < texts.size(); ++i)
        if (texts[i] == text)
            return (int)i;
    return -1;
}
