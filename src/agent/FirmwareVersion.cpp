#include "agent/FirmwareVersion.h"

#include <cstddef>
#include <string>

namespace
{
struct BuildIdToken
{
    const wchar_t* pszToken;
    int32_t nTechnology;
    int32_t nCarrier;
    int32_t nRegion;
};

// Searched in this order; the first token present decides.
const BuildIdToken kBuildIdTokens[] = {
    {L"STAUFH", 0, 2, 5},   {L"STSUFH", 0, 2, 5},   {L"STAUVH", 0, 101, 0}, {L"STSUVH", 0, 101, 0},
    {L"STAUSH", 0, 102, 0}, {L"STSUSH", 0, 102, 0}, {L"STSUCH", 0, 117, 3}, {L"STSUOH", 0, 118, 5},
    {L"STAUXN", 1, 3, 5},   {L"STSUXN", 1, 3, 5},   {L"STAUFN", 1, 2, 5},   {L"STSUFN", 1, 2, 5},
    {L"STAUGN", 1, 1, 5},   {L"STSUGN", 1, 1, 5},
};

struct CarrierCode
{
    uint32_t nCode;
    int32_t nCarrier;
    int32_t nRegion;
};

const CarrierCode kCarrierCodes[] = {
    {0, 2, 0},    {1, 101, 0},  {2, 102, 0},  {3, 201, 0},  {4, 202, 2},  {5, 203, 2},
    {9, 1, 5},    {11, 204, 2}, {12, 205, 2}, {13, 216, 3}, {14, 206, 2}, {18, 109, 4},
    {19, 117, 3}, {20, 118, 5}, {22, 224, 1}, {23, 3, 5},   {24, 2, 5},   {25, 225, 1},
};

// Build IDs are ASCII; only ASCII letters change case, as in the C locale.
wchar_t UpperAscii(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
}

bool ParseAMSSVersion(const wchar_t* pszBuildId, int32_t* pnTechnology, int32_t* pnCarrier, int32_t* pnRegion)
{
    if (pszBuildId == nullptr || *pszBuildId == L'\0')
        return false;

    std::wstring upper(pszBuildId);
    for (wchar_t& c : upper)
        c = UpperAscii(c);

    for (const BuildIdToken& token : kBuildIdTokens)
    {
        if (upper.find(token.pszToken) != std::wstring::npos)
        {
            *pnTechnology = token.nTechnology;
            *pnCarrier = token.nCarrier;
            *pnRegion = token.nRegion;
            return true;
        }
    }
    return false;
}

bool ParseUQCNVersion(uint32_t ulVersionId, int32_t* pnTechnology, int32_t* pnCarrier, int32_t* pnRegion,
                      int32_t* pnGps)
{
    *pnTechnology = -1;
    *pnCarrier = -1;
    *pnRegion = -1;
    *pnGps = -1;

    switch ((ulVersionId >> 24) & 0x3)
    {
    case 1:
        *pnTechnology = 0;
        break;
    case 2:
        *pnTechnology = 1;
        break;
    default:
        return false;
    }

    const uint32_t nCode = (ulVersionId >> 16) & 0xFF;
    for (const CarrierCode& entry : kCarrierCodes)
    {
        if (entry.nCode == nCode)
        {
            *pnCarrier = entry.nCarrier;
            *pnRegion = entry.nRegion;
            break;
        }
    }

    if (ulVersionId & 0x100)
        *pnGps = 0;
    else if (*pnCarrier == 3)
        *pnGps = 1;
    else if (ulVersionId & 0x80)
        *pnGps = 3;
    else
        *pnGps = 2;
    return true;
}

int32_t GetVersionNumber(const wchar_t* pszBuildId)
{
    if (pszBuildId == nullptr)
        return 0;

    const wchar_t* p = pszBuildId;
    for (const wchar_t* q = pszBuildId; *q != L'\0'; ++q)
    {
        if (*q == L'-')
            p = q + 1;
    }

    while (IsBlank(*p))
        ++p;
    bool bNegative = false;
    if (*p == L'+' || *p == L'-')
        bNegative = (*p++ == L'-');

    // Accumulate as a magnitude and saturate, so that no build ID can overflow.
    const int64_t nLimit = bNegative ? 2147483648LL : 2147483647LL;
    int64_t nValue = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p)
    {
        nValue = nValue * 10 + (*p - L'0');
        if (nValue > nLimit)
            nValue = nLimit;
    }
    return static_cast<int32_t>(bNegative ? -nValue : nValue);
}

uint32_t ParseRevisionNumber(const char* pszRevision)
{
    if (pszRevision == nullptr)
        return 0;

    const char* p = pszRevision;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && HexDigitValue(p[2]) >= 0)
        p += 2;

    uint64_t nValue = 0;
    for (int digit; (digit = HexDigitValue(*p)) >= 0; ++p)
    {
        nValue = nValue * 16 + static_cast<uint64_t>(digit);
        if (nValue > 0xFFFFFFFFull)
            return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(nValue);
}
