#include "support/TraceCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "platform/Handles.h"
#include "support/TraceTestSupport.h"

namespace
{
CCriticalSection g_csMessages;
std::vector<CTracedMessage> g_messages;

void KeepMessage(int nClass, int nLevel, const wchar_t* psFormat, const wchar_t* psText)
{
    CLock lock(g_csMessages);
    g_messages.push_back({nClass, nLevel, psFormat ? psFormat : L"", psText ? psText : L""});
}

bool StartsWith(const std::wstring& text, const wchar_t* psPrefix)
{
    return text.compare(0, wcslen(psPrefix), psPrefix) == 0;
}

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

CTraceCapture::CTraceCapture(ERules rules) : m_path(TestTempPath(L"tovi_trace.txt")), m_rules(rules)
{
    {
        CLock lock(g_csMessages);
        g_messages.clear();
    }
    TbdSetLineObserver(KeepMessage);
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
    TbdSetLineObserver(nullptr);
    ::DeleteFileW(m_path.c_str());
    if (m_rules != PROGRAM_RULES)
        return;
    for (const CTracedMessage& message : Messages())
    {
        std::string broken = RuleBroken(message);
        if (!broken.empty())
            ADD_FAILURE() << broken << ": \"" << AnsiBytes(message.text) << "\" (class " << message.nClass << ", level "
                          << message.nLevel << ")";
    }
}

std::string CTraceCapture::RuleBroken(const CTracedMessage& message)
{
    const bool bScope = message.format == L"+ %s" ||
                        message.format == L"- %s (Duration = %dms - Total time = %dms - Total calls = %d)";
    if (bScope)
        return message.nClass == TBDCT_ALL_FUNCTIONS && message.nLevel == 2 ? "" : "scope line not in TBDCT_ALL_FUNCTIONS at level 2";
    // The library's own version, check and refusal lines.
    if (message.nClass == TBDCT_LAST && (StartsWith(message.format, L"TBD : ") || StartsWith(message.format, L"Version: ")))
        return "";
    if (message.nClass != TBCT_INFO)
        return "message not in TBCT_INFO";
    if (message.nLevel != 0 && message.nLevel != 1 && message.nLevel != 3)
        return "message not at level 0, 1 or 3";
    return "";
}

std::vector<CTracedMessage> CTraceCapture::Messages() const
{
    CLock lock(g_csMessages);
    return g_messages;
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
