// Fuzzes the reading of a stored-image list as the image store walks it: the
// lists' headers, then their entries, stopping at an unsupported type or at
// the first list or entry that does not fit.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modem/ImageListCodec.h"

namespace
{
void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool ReadList(CImageListReader& reader, const std::uint8_t* data, std::size_t size)
{
    std::size_t headerStart = reader.Offset();
    ImageListInfo info;
    if (!reader.ReadListHeader(info))
    {
        Check(reader.Offset() == headerStart);
        return false;
    }
    Check(reader.Offset() == headerStart + 4 && info.ImageType == data[headerStart]);
    if (info.ImageType != IMAGE_TYPE_MODEM && info.ImageType != IMAGE_TYPE_PRI)
        return false;

    for (int i = 0; i < info.ImageIdSize; ++i)
    {
        std::size_t start = reader.Offset();
        CImageElement image;
        if (!reader.ReadStoredEntry(info.ImageType, image))
        {
            Check(reader.Offset() == start);
            return false;
        }
        Check(image.ImageType == info.ImageType && image.BuildIDLength <= BUILD_ID_MAX);
        Check(reader.Offset() == start + STORED_ENTRY_FIXED_SIZE + image.BuildIDLength && reader.Offset() <= size);
        Check(image.StorageIndex == data[start] && image.FailureCount == data[start + 1]);

        // The image record to delete it carries the entry's ID and build ID.
        std::uint8_t record[64];
        std::size_t written = WriteImageRecord(image, record, sizeof(record));
        Check(written == ImageRecordSize(image) && record[0] == info.ImageType);
        Check(std::memcmp(record + 1, data + start + 2, written - 1) == 0);
    }
    return true;
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CImageListReader reader(data, size);
    std::uint8_t listCount = 0;
    if (!reader.ReadCount(listCount))
        return 0;
    for (int list = 0; list < listCount; ++list)
    {
        if (!ReadList(reader, data, size))
            break;
    }
    return 0;
}
