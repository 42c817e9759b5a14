// Feeds arbitrary pieces to the trace line layout: a flags byte, then UTF-16
// pieces (program name, time stamp, text, level name) split at zero units.
// Besides memory errors it checks that a line never outgrows its buffer, stays
// terminated, keeps its pieces in order and ends whole when it fits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "diroduzuvevo/TbdLineLayout.h"

namespace
{
void Require(bool bCondition)
{
    if (!bCondition)
        abort();
}

std::vector<std::wstring> Pieces(const uint8_t* data, size_t size)
{
    std::vector<std::wstring> pieces(4);
    size_t piece = 0;
    for (size_t i = 0; i + 1 < size && piece < pieces.size(); i += 2)
    {
        wchar_t ch = (wchar_t)(data[i] | (data[i + 1] << 8));
        if (ch == 0)
            ++piece;
        else
            pieces[piece] += ch;
    }
    return pieces;
}

void CheckLine(uint8_t flags, const std::vector<std::wstring>& pieces)
{
    TbdLineFields fields = {};
    fields.psProgramName = pieces[0].c_str();
    fields.psTimeStamp = (flags & 1) ? pieces[1].c_str() : nullptr;
    fields.bThreadId = (flags & 2) != 0;
    fields.dwThreadId = 0x12345678u * flags;
    fields.bTickCount = (flags & 4) != 0;
    fields.dwTickCount = 0x9abcdef0u ^ flags;
    fields.nLevel = (int)(flags >> 4) - 4;
    fields.psText = (flags & 8) ? pieces[2].c_str() : nullptr;

    std::vector<wchar_t> line(TBD_LINE_CHARS);
    size_t nLength = TbdBuildLine(fields, line.data());
    Require(nLength <= TBD_LINE_CHARS - 1);
    Require(line[nLength] == L'\0');

    std::wstring expected = pieces[0] + L" ";
    if (flags & 1)
        expected += pieces[1];
    const wchar_t kHex[] = L"0123456789abcdef";
    if (fields.bThreadId)
    {
        expected += L" 0x";
        for (int shift = 28; shift >= 0; shift -= 4)
            expected += kHex[(fields.dwThreadId >> shift) & 0xF];
    }
    if (fields.bTickCount)
    {
        expected += L"TC 0x";
        for (int shift = 28; shift >= 0; shift -= 4)
            expected += kHex[(fields.dwTickCount >> shift) & 0xF];
        expected += L" : ";
    }
    expected += TbdLevelTag(fields.nLevel);
    if (flags & 8)
        expected += pieces[2];
    expected += L"\r\n";
    // The line is the whole layout cut at the buffer's end.
    Require(std::wstring(line.data(), nLength) == expected.substr(0, TBD_LINE_CHARS - 1));
}

void CheckSmallBuffer(uint8_t capacity, const std::wstring& text)
{
    std::vector<wchar_t> buffer(capacity);
    CTbdLineBuffer line(buffer.data(), buffer.size());
    line.Append(text.c_str());
    line.AppendHex32(0xdeadbeef);
    line.Append(text.c_str());
    Require(capacity == 0 || (line.Length() < capacity && buffer[line.Length()] == L'\0'));
}

void CheckLevelName(const std::wstring& name)
{
    int nLevel = 99;
    bool bKnown = TbdParseLevelName(name.c_str(), &nLevel);
    Require(bKnown ? (nLevel >= 0 && nLevel <= 3) : nLevel == 99);
}

void CheckScramble(const uint8_t* data, size_t size)
{
    std::vector<unsigned char> once(size), twice(size);
    TbdScrambleBytes(data, once.data(), size);
    TbdScrambleBytes(once.data(), twice.data(), size);
    Require(size == 0 || memcmp(data, twice.data(), size) == 0);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    std::vector<std::wstring> pieces = Pieces(data + 2, size - 2);
    CheckLine(data[0], pieces);
    CheckSmallBuffer(data[1], pieces[2]);
    CheckLevelName(pieces[3]);
    CheckScramble(data, size);
    return 0;
}
