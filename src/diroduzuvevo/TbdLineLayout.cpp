#include "diroduzuvevo/TbdLineLayout.h"

namespace
{
const wchar_t* const kLevelTags[] = {L" t :   ", L" i :   ", L" h : ", L" E :   "};
const wchar_t* const kUnknownLevelTag = L" ? : ";
const wchar_t* const kLevelNames[] = {L"TBDOL_TRACE", L"TBDOL_INFORMATION", L"TBDOL_ERROR", L"TBDOL_NONE"};

wchar_t FoldAscii(wchar_t ch)
{
    return (ch >= L'a' && ch <= L'z') ? (wchar_t)(ch - L'a' + L'A') : ch;
}

bool EqualsIgnoringCase(const wchar_t* psLeft, const wchar_t* psRight)
{
    for (; *psLeft && *psRight; ++psLeft, ++psRight)
    {
        if (FoldAscii(*psLeft) != FoldAscii(*psRight))
            return false;
    }
    return *psLeft == *psRight;
}
}

CTbdLineBuffer::CTbdLineBuffer(wchar_t* psBuffer, size_t nCapacity)
    : m_psBuffer(psBuffer), m_nCapacity(nCapacity), m_nLength(0)
{
    if (m_nCapacity > 0)
        m_psBuffer[0] = L'\0';
}

void CTbdLineBuffer::AppendChar(wchar_t ch)
{
    // One place is always kept for the terminator.
    if (m_nLength + 1 >= m_nCapacity)
        return;
    m_psBuffer[m_nLength++] = ch;
    m_psBuffer[m_nLength] = L'\0';
}

void CTbdLineBuffer::Append(const wchar_t* psText)
{
    if (!psText)
        return;
    for (; *psText && m_nLength + 1 < m_nCapacity; ++psText)
        m_psBuffer[m_nLength++] = *psText;
    if (m_nCapacity > 0)
        m_psBuffer[m_nLength] = L'\0';
}

void CTbdLineBuffer::AppendHex32(uint32_t dwValue)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4)
        AppendChar(kDigits[(dwValue >> shift) & 0xF]);
}

const wchar_t* TbdLevelTag(int nLevel)
{
    if (nLevel < 0 || nLevel >= (int)(sizeof(kLevelTags) / sizeof(kLevelTags[0])))
        return kUnknownLevelTag;
    return kLevelTags[nLevel];
}

size_t TbdBuildLine(const TbdLineFields& fields, wchar_t* psLine)
{
    CTbdLineBuffer line(psLine, TBD_LINE_CHARS);
    line.Append(fields.psProgramName);
    line.Append(L" ");
    line.Append(fields.psTimeStamp);
    if (fields.bThreadId)
    {
        line.Append(L" 0x");
        line.AppendHex32(fields.dwThreadId);
    }
    if (fields.bTickCount)
    {
        line.Append(L"TC 0x");
        line.AppendHex32(fields.dwTickCount);
        line.Append(L" : ");
    }
    line.Append(TbdLevelTag(fields.nLevel));
    line.Append(fields.psText);
    line.Append(L"\r\n");
    return line.Length();
}

bool TbdFormattedTextFits(long nResult)
{
    return nResult >= 0 && nResult <= TBD_TEXT_CHARS - 1;
}

bool TbdParseLevelName(const wchar_t* psName, int* pnLevel)
{
    if (!psName || !*psName)
        return false;
    for (int level = 0; level < (int)(sizeof(kLevelNames) / sizeof(kLevelNames[0])); ++level)
    {
        if (EqualsIgnoringCase(psName, kLevelNames[level]))
        {
            *pnLevel = level;
            return true;
        }
    }
    return false;
}

void TbdScrambleBytes(const unsigned char* pSource, unsigned char* pTarget, size_t nCount)
{
    for (size_t i = 0; i < nCount; ++i)
        pTarget[i] = (unsigned char)(pSource[i] ^ TBD_SCRAMBLE_MASK);
}
