#pragma once
// The codes the simulated modem answers with. They are the numbers of the
// platform's error codes of the same meaning, so that a trace of one reads
// naturally; no Windows headers here.
#include <cstdint>

namespace SimError
{
const uint32_t kNone = 0;
const uint32_t kOutOfMemory = 8;         // ERROR_NOT_ENOUGH_MEMORY: the library could not do its work
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
const uint32_t kTimeout = 1460;          // ERROR_TIMEOUT: the state file stayed locked
const uint32_t kNotConnected = 2250;     // ERROR_NOT_CONNECTED: a device call without QCWWANConnect

// What a code means, in words for people ("" for a code the simulator never gives).
inline const char* Meaning(uint32_t code)
{
    switch (code)
    {
    case kNone: return "done";
    case kFileNotFound: return "an image file is missing";
    case kPathNotFound: return "the folder or the image store is missing";
    case kNoDevice: return "no modem, or the modem is away after a reset";
    case kOutOfMemory: return "out of memory";
    case kBadFormat: return "not an image file, or not one modem and one PRI image";
    case kInvalidParameter: return "invalid parameter";
    case kStoreFull: return "the store is full and no image can be evicted";
    case kInsufficientBuffer: return "the answer does not fit the buffer";
    case kImageInUse: return "the image is running or preferred";
    case kNotFound: return "no such stored image";
    case kStateCorrupt: return "the state file is unreadable";
    case kTimeout: return "the state file stayed locked";
    case kNotConnected: return "this process has no connection: QCWWANConnect first";
    default: return "";
    }
}
}
