#pragma once
// One firmware image as the modem reports it, and the header of one list of
// stored images. Plain values without Windows types, so that the list parsers
// also build natively.
#include <cstdint>

// Image type codes, one byte on the wire.
enum : std::uint8_t
{
    IMAGE_TYPE_MODEM = 0,  // AMSS.mbn, the "app" image of some messages
    IMAGE_TYPE_PRI = 1     // UQCN*.mbn, the carrier configuration
};

enum
{
    IMAGE_ID_SIZE = 16,       // bytes of an image ID
    BUILD_ID_MAX = 32,        // most bytes a build ID may have
    BUILD_ID_TEXT_SIZE = 33,  // wide characters for a build ID's text, terminator included
    IMAGE_ID_HEX_SIZE = 33    // wide characters for an image ID in hex, terminator included
};

class CImageElement
{
public:
    std::uint8_t ImageType = 0xFF;
    std::uint8_t StorageIndex = 0xFF;  // stored images only
    std::uint8_t FailureCount = 0xFF;  // stored images only
    std::uint8_t ImageID[IMAGE_ID_SIZE] = {};
    std::uint8_t BuildIDLength = 0xFF;      // bytes used in BuildID
    std::uint8_t BuildID[BUILD_ID_MAX] = {};  // ANSI code page, not terminated
    std::int32_t Handle = 0;                // serial given when read from the modem
};

// The last Handle given to an entry read from the modem; process-wide, read and
// written on the main thread only.
extern std::int32_t g_nLastImageHandle;

// The four header bytes of one list of stored images.
struct ImageListInfo
{
    std::uint8_t ImageType;
    std::uint8_t MaxImages;       // room for images of this type on the modem
    std::uint8_t ExecutingImage;  // which stored image of this type runs
    std::uint8_t ImageIdSize;     // number of entries after the header
};
