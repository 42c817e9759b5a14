#pragma once
// Sends the trace library's output to a fresh file of the test's own for the
// life of the object, with every class enabled at threshold 0, and reads it back.
#include <string>
#include <vector>

class CTraceCapture
{
public:
    CTraceCapture();
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
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};
