#include "ImageFileCodec.h"

#include <cstring>

namespace
{
const uint8_t kMagic[4] = {'T', 'V', 'I', 'M'};
const uint8_t kFormatVersion = 1;
}

bool CImageFileCodec::Encode(const SimImage& image, const std::string& payload, std::vector<uint8_t>& bytes)
{
    if (image.buildId.size() > kMaxBuildIdLength)
        return false;
    bytes.assign(kHeaderSize, 0);
    std::memcpy(&bytes[0], kMagic, sizeof(kMagic));
    bytes[4] = kFormatVersion;
    bytes[5] = image.type;
    bytes[6] = (uint8_t)image.buildId.size();
    for (int i = 0; i < 4; ++i)
        bytes[8 + i] = (uint8_t)(image.versionId >> (8 * i));
    std::memcpy(&bytes[12], image.imageId, sizeof(image.imageId));
    bytes.insert(bytes.end(), image.buildId.begin(), image.buildId.end());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return true;
}

bool CImageFileCodec::Decode(const uint8_t* data, size_t size, SimImage& image)
{
    if (data == nullptr || size < kHeaderSize || std::memcmp(data, kMagic, sizeof(kMagic)) != 0 ||
        data[4] != kFormatVersion)
        return false;
    size_t length = data[6];
    if (size < kHeaderSize + length)
        return false;
    image.type = data[5];
    image.versionId = 0;
    for (int i = 0; i < 4; ++i)
        image.versionId |= (uint32_t)data[8 + i] << (8 * i);
    std::memcpy(image.imageId, data + 12, sizeof(image.imageId));
    image.buildId.assign(reinterpret_cast<const char*>(data + kHeaderSize), length);
    return true;
}
