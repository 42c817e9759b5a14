#pragma once
// The byte-packed image lists exchanged with the modem API library. Every count
// and length is one unsigned byte:
//   preference list:   count, then per entry: image type, image ID (16),
//                      build ID length L, build ID (L)
//   stored-image list: count of lists, then per list: image type, max images,
//                      executing image, entry count, then per entry: storage
//                      index, failure count, image ID (16), L, build ID (L)
//   image record:      image type, image ID (16), L, build ID (L)
// The library's counts are not trusted: the reader never reads past the bytes
// it was given and refuses a build ID longer than BuildID can hold.
// No Windows headers, so the parsers also build natively for fuzzing.
#include <cstddef>
#include <cstdint>

#include "modem/ImageElement.h"

enum
{
    IMAGE_RECORD_FIXED_SIZE = 18,  // image record without its build ID
    STORED_ENTRY_FIXED_SIZE = 19   // stored-image entry without its build ID
};

class CImageListReader
{
public:
    // pData holds cbData valid bytes: the smaller of the library's byte count
    // and the buffer's size.
    CImageListReader(const std::uint8_t* pData, std::size_t cbData);

    // Each Read returns false, and leaves its output alone, when what it reads
    // does not fit in the remaining bytes or is malformed; the position then
    // stays where it was.
    bool ReadCount(std::uint8_t& count);
    bool ReadPreferenceEntry(CImageElement& image);
    bool ReadListHeader(ImageListInfo& info);
    // Fills ImageType from the list's header.
    bool ReadStoredEntry(std::uint8_t imageType, CImageElement& image);

    std::size_t Offset() const { return m_offset; }
    std::size_t Size() const { return m_cbData; }

private:
    bool ReadBuildId(std::size_t& offset, CImageElement& image) const;
    bool Fits(std::size_t offset, std::size_t count) const;

    const std::uint8_t* m_pData;
    std::size_t m_cbData;
    std::size_t m_offset;
};

// Bytes of the image record of one image: 18 + its build ID length.
std::size_t ImageRecordSize(const CImageElement& image);

// Writes the image record of one image (also a preference list's entry) to
// pOut. Returns the bytes written, or 0 when the build ID length exceeds
// BUILD_ID_MAX or the record does not fit in cbOut.
std::size_t WriteImageRecord(const CImageElement& image, std::uint8_t* pOut, std::size_t cbOut);

// Writes a preference list of two entries, the modem image then the PRI image.
// Returns its length, or 0 when an entry cannot be written.
std::size_t WritePreferenceList(const CImageElement& modemImage, const CImageElement& priImage,
                                std::uint8_t* pOut, std::size_t cbOut);
