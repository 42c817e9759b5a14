#pragma once
// The trace line's layout, kept free of Windows headers so that it also builds
// natively for the fuzzers. Everything here works on fixed buffers and never
// writes past their ends.
#include <stddef.h>
#include <stdint.h>

enum
{
    TBD_LINE_CHARS = 1024,  // a line and its terminator
    TBD_TEXT_CHARS = 1024,  // the formatted text and its terminator
    TBD_STAMP_CHARS = 127,  // the time stamp and its terminator
    TBD_LEVEL_NAME_CHARS = 32
};

// Appends pieces to a fixed wide buffer, each only as far as it still fits;
// the buffer always stays terminated.
class CTbdLineBuffer
{
public:
    CTbdLineBuffer(wchar_t* psBuffer, size_t nCapacity);

    void Append(const wchar_t* psText);
    // Eight lowercase hexadecimal digits.
    void AppendHex32(uint32_t dwValue);
    size_t Length() const { return m_nLength; }

private:
    void AppendChar(wchar_t ch);

    wchar_t* m_psBuffer;
    size_t m_nCapacity;
    size_t m_nLength;
};

// The pieces of one line, in the order they are written.
struct TbdLineFields
{
    const wchar_t* psProgramName;
    const wchar_t* psTimeStamp;  // null when no usable stamp was made
    bool bThreadId;
    uint32_t dwThreadId;
    bool bTickCount;
    uint32_t dwTickCount;
    int nLevel;
    const wchar_t* psText;       // null counts as empty
};

// The tag that a level puts into the line; unknown levels get the fallback tag.
const wchar_t* TbdLevelTag(int nLevel);

// Builds the line into psLine[TBD_LINE_CHARS]; returns its length (at most
// TBD_LINE_CHARS - 1). A line too long for the buffer loses its end.
size_t TbdBuildLine(const TbdLineFields& fields, wchar_t* psLine);

// Whether a wide printf result (count of characters, negative on overflow)
// fits a buffer of TBD_TEXT_CHARS with its terminator.
bool TbdFormattedTextFits(long nResult);

// Level names as the registry spells them, matched without regard to case.
// Returns false, leaving *pnLevel alone, for anything else.
bool TbdParseLevelName(const wchar_t* psName, int* pnLevel);

// Scrambling of the log file's bytes. The mask has its high bit set, so every
// ASCII byte of the text turns into a non-ASCII byte: a scrambled log shows no
// readable fragments and no line breaks, and no text byte turns into a zero.
// Applying it twice restores the bytes. It must never change: files written by
// earlier runs are read back with it.
const unsigned char TBD_SCRAMBLE_MASK = 0xB5;
void TbdScrambleBytes(const unsigned char* pSource, unsigned char* pTarget, size_t nCount);
