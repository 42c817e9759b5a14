// Fuzzes the reading of a preference list as the modem API returns it, and
// checks that every entry read writes back to the very bytes it came from.
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

bool SameImage(const CImageElement& a, const CImageElement& b)
{
    return a.ImageType == b.ImageType && std::memcmp(a.ImageID, b.ImageID, IMAGE_ID_SIZE) == 0 &&
           a.BuildIDLength == b.BuildIDLength && std::memcmp(a.BuildID, b.BuildID, a.BuildIDLength) == 0;
}
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CImageListReader reader(data, size);
    std::uint8_t count = 0;
    if (!reader.ReadCount(count))
        return 0;

    CImageElement previous;
    for (int i = 0; i < count; ++i)
    {
        std::size_t start = reader.Offset();
        CImageElement image;
        if (!reader.ReadPreferenceEntry(image))
        {
            Check(reader.Offset() == start);
            break;
        }
        Check(image.BuildIDLength <= BUILD_ID_MAX);
        Check(reader.Offset() == start + ImageRecordSize(image) && reader.Offset() <= size);

        std::uint8_t record[64];
        std::size_t written = WriteImageRecord(image, record, sizeof(record));
        Check(written == ImageRecordSize(image));
        Check(std::memcmp(record, data + start, written) == 0);

        // A two-entry list written from consecutive entries reads back the same.
        if (i > 0)
        {
            std::uint8_t list[1 + 2 * 50];
            std::size_t cbList = WritePreferenceList(previous, image, list, sizeof(list));
            Check(cbList == 1 + ImageRecordSize(previous) + ImageRecordSize(image));
            CImageListReader again(list, cbList);
            std::uint8_t two = 0;
            CImageElement first, second;
            Check(again.ReadCount(two) && two == 2);
            Check(again.ReadPreferenceEntry(first) && again.ReadPreferenceEntry(second));
            Check(SameImage(first, previous) && SameImage(second, image) && again.Offset() == cbList);
        }
        previous = image;
    }
    return 0;
}
