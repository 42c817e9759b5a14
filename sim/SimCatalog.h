#pragma once
// What the simulated modem knows about carriers: how it reads an identity out
// of a PRI version ID or a modem image build ID, and which identity the
// sample store gives each host folder. No Windows headers: bytes and text in,
// values out.
#include <cstdint>
#include <string>

struct SimIdentity
{
    uint32_t technology = 0;
    uint32_t carrierId = 0;
    uint32_t region = 0;
    uint32_t gps = 0;
};

// The plan of one sample folder.
struct SimFolderPlan
{
    int folder = -1;
    uint32_t technology = 0;
    uint32_t carrierId = 0;
    uint32_t region = 0;
    uint32_t carrierCode = 0;   // bits 16-23 of the PRI version ID
    const char* modemToken = "";
};

class CSimCatalog
{
public:
    // Reads technology, carrier and region from bits 24-25 and 16-23 and the
    // GPS capability from bits 7-8. The modem knows more carriers than the
    // host's table: a carrier code that is not in that table stands for the
    // carrier ID of the same number, region 0. False for technology bits 0 or 3.
    static bool DecodePriVersionId(uint32_t versionId, SimIdentity& identity);
    // The first token of the token table found in the upper-cased build ID
    // gives technology, carrier and region (GPS 0). False without a token.
    static bool DecodeModemBuildId(const std::string& buildId, SimIdentity& identity);
    // The number after the last "-" (or at the start without one); 0 without digits.
    static uint32_t VersionNumber(const std::string& buildId);

    // Folders 0 to 16; false for any other number.
    static bool FolderPlan(int folder, SimFolderPlan& plan);
    static uint32_t PriVersionId(const SimFolderPlan& plan, uint32_t priVersion);
    static std::string ModemBuildId(const SimFolderPlan& plan, uint32_t modemVersion);
    static std::string PriBuildId(const SimFolderPlan& plan, uint32_t priVersion);
    static std::string PriFileName(const SimFolderPlan& plan);

    // 16 bytes derived from type and build ID (two FNV-1a passes).
    static void ImageId(uint8_t type, const std::string& buildId, uint8_t imageId[16]);
};
