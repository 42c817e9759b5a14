// Feeds arbitrary bytes to the firmware identity decoders: the first four
// bytes as a PRI version ID, the rest as UTF-16 build ID text and as a narrow
// revision text. Besides memory errors it checks the decoders' promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/FirmwareVersion.h"

namespace
{
void Require(bool bCondition)
{
    if (!bCondition)
        abort();
}

void CheckVersionId(uint32_t ulId)
{
    int32_t nTech = 7, nCarrier = 7, nRegion = 7, nGps = 7;
    const bool bOk = ParseUQCNVersion(ulId, &nTech, &nCarrier, &nRegion, &nGps);
    const uint32_t nTechBits = (ulId >> 24) & 0x3;
    Require(bOk == (nTechBits == 1 || nTechBits == 2));
    if (!bOk)
    {
        Require(nTech == -1 && nCarrier == -1 && nRegion == -1 && nGps == -1);
        return;
    }
    Require(nTech == static_cast<int32_t>(nTechBits) - 1);
    Require(nGps >= 0 && nGps <= 3);
    Require((nCarrier == -1) == (nRegion == -1));
}

void CheckBuildId(const std::wstring& buildId)
{
    int32_t nTech = 7, nCarrier = 7, nRegion = 7;
    if (ParseAMSSVersion(buildId.c_str(), &nTech, &nCarrier, &nRegion))
        Require((nTech == 0 || nTech == 1) && nCarrier > 0 && nRegion >= 0 && nRegion <= 5);
    else
        Require(nTech == 7 && nCarrier == 7 && nRegion == 7);
    (void)GetVersionNumber(buildId.c_str());
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 4)
        return 0;
    uint32_t ulId = 0;
    memcpy(&ulId, pData, sizeof(ulId));
    CheckVersionId(ulId);

    // UTF-16 code units, as the modem API delivers build IDs, cut at a null.
    std::wstring buildId;
    for (size_t i = 4; i + 1 < nSize; i += 2)
    {
        const wchar_t c = static_cast<wchar_t>(pData[i] | (pData[i + 1] << 8));
        if (c == L'\0')
            break;
        buildId.push_back(c);
    }
    CheckBuildId(buildId);

    std::string revision(reinterpret_cast<const char*>(pData + 4), nSize - 4);
    (void)ParseRevisionNumber(revision.c_str());
    return 0;
}
