#pragma once
// Host image files of the simulated modem, and a generator for a sample host
// image store: folders "0" to "16", each with "AMSS.mbn" and one "UQCN_*.mbn"
// whose identities decode to the carrier that the folder stands for.
//
// Image file layout (all integers little endian), see sim/README.md:
//   0  4 bytes  magic "TVIM"
//   4  1 byte   format version, 1
//   5  1 byte   image type (0 modem image, 1 PRI image)
//   6  1 byte   build ID length L
//   7  1 byte   reserved, 0
//   8  4 bytes  32-bit version ID
//  12 16 bytes  image ID
//  28  L bytes  build ID (ANSI text, not terminated)
//  28+L ...     payload, ignored by readers
#include <windows.h>

#include <string>
#include <vector>

struct SampleStoreOptions
{
    // The number after the last "-" of every modem image build ID.
    ULONG modemVersion = 1575;
    // The number after the last "-" of every PRI build ID; its low 7 bits are
    // also bits 0-6 of the PRI version ID.
    ULONG priVersion = 3;
    // Folders to write; empty means all of 0 to 16. Other content of the root
    // is left alone, so a second call can give single folders other versions.
    std::vector<int> folders;
};

// One host image file's identity.
struct SampleImage
{
    BYTE type = 0xFF;
    BYTE imageId[16] = {};
    ULONG versionId = 0;
    std::string buildId;   // ANSI bytes
    std::wstring fileName; // "AMSS.mbn" or "UQCN_<carrier>.mbn"
};

// What the generator puts into one folder, and what the simulated modem
// reports through GetFirmwareInfo while that folder's images run.
struct SampleFolder
{
    int folder = -1;
    ULONG technology = 0;
    ULONG carrierId = 0;
    ULONG region = 0;
    ULONG gps = 0;
    SampleImage modem;
    SampleImage pri;
};

// The identities of folder 0..16 for these versions (folder -1 for others).
SampleFolder DescribeSampleFolder(int folder, ULONG modemVersion, ULONG priVersion);

// Writes the folders of the options under root (created when missing).
bool WriteSampleStore(const std::wstring& root, const SampleStoreOptions& options);

// The generator's image ID: derived from type and build ID, so an image built
// twice has the same ID.
void MakeSampleImageId(BYTE type, const std::string& buildId, BYTE imageId[16]);

// Writes one image file in the layout above (build ID up to 255 bytes); tests
// use it to make odd folders. Overwrites an existing file.
bool WriteImageFile(const std::wstring& path, BYTE type, const BYTE imageId[16], ULONG versionId,
                    const std::string& buildId);
// Writes any bytes as a file (for malformed image files).
bool WriteRawFile(const std::wstring& path, const std::vector<BYTE>& bytes);
// Reads an image file; false when it is missing, too short or not of this layout.
bool ReadImageFile(const std::wstring& path, SampleImage& image);
