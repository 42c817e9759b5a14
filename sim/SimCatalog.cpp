#include "SimCatalog.h"

#include <cctype>
#include <cstdio>

namespace
{
struct CarrierCode
{
    uint32_t code;
    uint32_t carrierId;
    uint32_t region;
};

// The carrier codes of the host's decoding table.
const CarrierCode kCarrierCodes[] = {
    {0, 2, 0},    {1, 101, 0},  {2, 102, 0},  {3, 201, 0},  {4, 202, 2},   {5, 203, 2},
    {9, 1, 5},    {11, 204, 2}, {12, 205, 2}, {13, 216, 3}, {14, 206, 2},  {18, 109, 4},
    {19, 117, 3}, {20, 118, 5}, {22, 224, 1}, {23, 3, 5},   {24, 2, 5},    {25, 225, 1},
};

struct ModemToken
{
    const char* token;
    uint32_t technology;
    uint32_t carrierId;
    uint32_t region;
};

// In the order the host searches them; the first token found decides.
const ModemToken kModemTokens[] = {
    {"STAUFH", 0, 2, 5},   {"STSUFH", 0, 2, 5},   {"STAUVH", 0, 101, 0}, {"STSUVH", 0, 101, 0},
    {"STAUSH", 0, 102, 0}, {"STSUSH", 0, 102, 0}, {"STSUCH", 0, 117, 3}, {"STSUOH", 0, 118, 5},
    {"STAUXN", 1, 3, 5},   {"STSUXN", 1, 3, 5},   {"STAUFN", 1, 2, 5},   {"STSUFN", 1, 2, 5},
    {"STAUGN", 1, 1, 5},   {"STSUGN", 1, 1, 5},
};

// One row per sample folder. Where the host's carrier code table has a code
// whose carrier maps to the folder, that code; folders 10 to 14 have carriers
// (107, 103, 104, 105, 176) without a host code, so they use the modem-only
// code of the same number. Folders 5 and 15 are reached by no carrier; they get
// carriers that map to the default folder (117 and 216). The modem image token
// is the carrier's own where the token table has one (101, 102, 117, 118, 1),
// otherwise the technology's common image: STSUGN (technology 1) or STAUVH
// (technology 0).
const SimFolderPlan kFolders[] = {
    {0, 1, 202, 2, 4, "STSUGN"},    {1, 0, 101, 0, 1, "STAUVH"},    {2, 1, 201, 0, 3, "STSUGN"},
    {3, 0, 102, 0, 2, "STAUSH"},    {4, 1, 203, 2, 5, "STSUGN"},    {5, 0, 117, 3, 19, "STSUCH"},
    {6, 1, 1, 5, 9, "STSUGN"},      {7, 1, 205, 2, 12, "STSUGN"},   {8, 1, 206, 2, 14, "STSUGN"},
    {9, 1, 204, 2, 11, "STSUGN"},   {10, 0, 107, 0, 107, "STAUVH"}, {11, 0, 103, 0, 103, "STAUVH"},
    {12, 0, 104, 0, 104, "STAUVH"}, {13, 0, 105, 0, 105, "STAUVH"}, {14, 0, 176, 0, 176, "STAUVH"},
    {15, 1, 216, 3, 13, "STSUGN"},  {16, 0, 118, 5, 20, "STSUOH"},
};

// Bit 7 set, bit 8 clear: GPS capability 3 for every sample carrier.
const uint32_t kSampleGpsBits = 0x80;

uint64_t Fnv1a(uint64_t hash, const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i)
    {
        hash ^= data[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}
}

bool CSimCatalog::DecodePriVersionId(uint32_t versionId, SimIdentity& identity)
{
    uint32_t techBits = (versionId >> 24) & 3;
    if (techBits != 1 && techBits != 2)
        return false;
    identity.technology = techBits - 1;
    uint32_t code = (versionId >> 16) & 0xFF;
    identity.carrierId = code;
    identity.region = 0;
    for (const CarrierCode& row : kCarrierCodes)
    {
        if (row.code == code)
        {
            identity.carrierId = row.carrierId;
            identity.region = row.region;
            break;
        }
    }
    if (versionId & 0x100)
        identity.gps = 0;
    else if (identity.carrierId == 3)
        identity.gps = 1;
    else if (versionId & 0x80)
        identity.gps = 3;
    else
        identity.gps = 2;
    return true;
}

bool CSimCatalog::DecodeModemBuildId(const std::string& buildId, SimIdentity& identity)
{
    std::string upper(buildId);
    for (char& c : upper)
        c = (char)std::toupper((unsigned char)c);
    for (const ModemToken& row : kModemTokens)
    {
        if (upper.find(row.token) != std::string::npos)
        {
            identity.technology = row.technology;
            identity.carrierId = row.carrierId;
            identity.region = row.region;
            identity.gps = 0;
            return true;
        }
    }
    return false;
}

uint32_t CSimCatalog::VersionNumber(const std::string& buildId)
{
    size_t dash = buildId.rfind('-');
    size_t pos = dash == std::string::npos ? 0 : dash + 1;
    uint32_t value = 0;
    while (pos < buildId.size() && std::isdigit((unsigned char)buildId[pos]))
        value = value * 10 + (uint32_t)(buildId[pos++] - '0');
    return value;
}

bool CSimCatalog::FolderPlan(int folder, SimFolderPlan& plan)
{
    if (folder < 0 || folder >= (int)(sizeof(kFolders) / sizeof(kFolders[0])))
        return false;
    plan = kFolders[folder];
    return true;
}

uint32_t CSimCatalog::PriVersionId(const SimFolderPlan& plan, uint32_t priVersion)
{
    return ((plan.technology + 1) << 24) | (plan.carrierCode << 16) | kSampleGpsBits | (priVersion & 0x7F);
}

std::string CSimCatalog::ModemBuildId(const SimFolderPlan& plan, uint32_t modemVersion)
{
    char text[40];
    snprintf(text, sizeof(text), "AMSS-%s-F%02d-%u", plan.modemToken, plan.folder, modemVersion);
    return text;
}

std::string CSimCatalog::PriBuildId(const SimFolderPlan& plan, uint32_t priVersion)
{
    char text[40];
    snprintf(text, sizeof(text), "UQCN-C%03u-F%02d-%u", plan.carrierId, plan.folder, priVersion);
    return text;
}

std::string CSimCatalog::PriFileName(const SimFolderPlan& plan)
{
    char text[24];
    snprintf(text, sizeof(text), "UQCN_%03u.mbn", plan.carrierId);
    return text;
}

void CSimCatalog::ImageId(uint8_t type, const std::string& buildId, uint8_t imageId[16])
{
    const uint8_t* text = reinterpret_cast<const uint8_t*>(buildId.data());
    uint64_t first = Fnv1a(0xCBF29CE484222325ull ^ type, text, buildId.size());
    uint64_t second = Fnv1a(first ^ 0x5A5A5A5A5A5A5A5Aull, text, buildId.size());
    for (int i = 0; i < 8; ++i)
    {
        imageId[i] = (uint8_t)(first >> (56 - 8 * i));
        imageId[8 + i] = (uint8_t)(second >> (56 - 8 * i));
    }
}
