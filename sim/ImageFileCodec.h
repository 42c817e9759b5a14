#pragma once
// The layout of a host image file ("AMSS.mbn", "UQCN*.mbn") of the simulated
// modem; integers little endian:
//   0  4 bytes  magic "TVIM"
//   4  1 byte   format version, 1
//   5  1 byte   image type (0 modem image, 1 PRI image)
//   6  1 byte   build ID length L
//   7  1 byte   reserved, 0
//   8  4 bytes  32-bit version ID
//  12 16 bytes  image ID
//  28  L bytes  build ID (ANSI text, not terminated)
//  28+L ...     payload, ignored by readers
// No Windows headers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SimImage.h"

class CImageFileCodec
{
public:
    static const size_t kHeaderSize = 28;
    static const size_t kMaxBuildIdLength = 255;

    // False when the build ID is longer than 255 bytes.
    static bool Encode(const SimImage& image, const std::string& payload, std::vector<uint8_t>& bytes);
    // False when the bytes are too short, lack the magic or have another format version.
    static bool Decode(const uint8_t* data, size_t size, SimImage& image);
};
