#pragma once
// One image's identity as the simulated modem keeps it: what a host image file
// holds and what a stored, preferred or running image is. No Windows headers.
#include <cstdint>
#include <cstring>
#include <string>

struct SimImage
{
    uint8_t type = 0xFF;
    uint8_t imageId[16] = {};
    uint32_t versionId = 0;
    std::string buildId;  // ANSI bytes, not terminated

    // The modem tells images apart by type, image ID and build ID.
    bool SameAs(const SimImage& other) const
    {
        return type == other.type && std::memcmp(imageId, other.imageId, sizeof(imageId)) == 0 &&
               buildId == other.buildId;
    }
};
