#pragma once
// The codes the simulated modem answers with. They are the numbers of the
// platform's error codes of the same meaning, so that a trace of one reads
// naturally; no Windows headers here.
#include <cstdint>

namespace SimError
{
const uint32_t kNone = 0;
const uint32_t kFileNotFound = 2;        // ERROR_FILE_NOT_FOUND: an image file is missing
const uint32_t kPathNotFound = 3;        // ERROR_PATH_NOT_FOUND: folder or store root missing
const uint32_t kNoDevice = 6;            // no modem: absent, or away after a reset
const uint32_t kBadFormat = 11;          // ERROR_BAD_FORMAT: not an image file, or unusable identity
const uint32_t kInvalidParameter = 87;   // ERROR_INVALID_PARAMETER: null pointer, malformed list
const uint32_t kStoreFull = 112;         // ERROR_DISK_FULL: no image can be evicted
const uint32_t kInsufficientBuffer = 122;// ERROR_INSUFFICIENT_BUFFER: the answer does not fit
const uint32_t kImageInUse = 170;        // ERROR_BUSY: the image runs or is preferred
const uint32_t kNotFound = 1168;         // ERROR_NOT_FOUND: no such stored image
const uint32_t kStateCorrupt = 1392;     // ERROR_FILE_CORRUPT: the state file is unreadable
}
