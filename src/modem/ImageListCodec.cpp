#include "modem/ImageListCodec.h"

#include <cstring>

CImageListReader::CImageListReader(const std::uint8_t* pData, std::size_t cbData)
    : m_pData(pData), m_cbData(pData ? cbData : 0), m_offset(0)
{
}

bool CImageListReader::Fits(std::size_t offset, std::size_t count) const
{
    return offset <= m_cbData && count <= m_cbData - offset;
}

bool CImageListReader::ReadCount(std::uint8_t& count)
{
    if (!Fits(m_offset, 1))
        return false;
    count = m_pData[m_offset++];
    return true;
}

// Reads "build ID length, build ID" at offset into image and moves offset past it.
bool CImageListReader::ReadBuildId(std::size_t& offset, CImageElement& image) const
{
    if (!Fits(offset, 1))
        return false;
    std::uint8_t length = m_pData[offset];
    if (length > BUILD_ID_MAX || !Fits(offset + 1, length))
        return false;
    image.BuildIDLength = length;
    std::memcpy(image.BuildID, m_pData + offset + 1, length);
    offset += 1 + length;
    return true;
}

bool CImageListReader::ReadPreferenceEntry(CImageElement& image)
{
    std::size_t offset = m_offset;
    if (!Fits(offset, 1 + IMAGE_ID_SIZE))
        return false;
    CImageElement entry;
    entry.ImageType = m_pData[offset];
    std::memcpy(entry.ImageID, m_pData + offset + 1, IMAGE_ID_SIZE);
    offset += 1 + IMAGE_ID_SIZE;
    if (!ReadBuildId(offset, entry))
        return false;
    image = entry;
    m_offset = offset;
    return true;
}

bool CImageListReader::ReadListHeader(ImageListInfo& info)
{
    if (!Fits(m_offset, sizeof(ImageListInfo)))
        return false;
    const std::uint8_t* p = m_pData + m_offset;
    info.ImageType = p[0];
    info.MaxImages = p[1];
    info.ExecutingImage = p[2];
    info.ImageIdSize = p[3];
    m_offset += sizeof(ImageListInfo);
    return true;
}

bool CImageListReader::ReadStoredEntry(std::uint8_t imageType, CImageElement& image)
{
    std::size_t offset = m_offset;
    if (!Fits(offset, 2 + IMAGE_ID_SIZE))
        return false;
    CImageElement entry;
    entry.ImageType = imageType;
    entry.StorageIndex = m_pData[offset];
    entry.FailureCount = m_pData[offset + 1];
    std::memcpy(entry.ImageID, m_pData + offset + 2, IMAGE_ID_SIZE);
    offset += 2 + IMAGE_ID_SIZE;
    if (!ReadBuildId(offset, entry))
        return false;
    image = entry;
    m_offset = offset;
    return true;
}

std::size_t ImageRecordSize(const CImageElement& image)
{
    return IMAGE_RECORD_FIXED_SIZE + image.BuildIDLength;
}

std::size_t WriteImageRecord(const CImageElement& image, std::uint8_t* pOut, std::size_t cbOut)
{
    // A build ID length beyond BuildID would send bytes that are not the image's.
    if (image.BuildIDLength > BUILD_ID_MAX || pOut == nullptr || ImageRecordSize(image) > cbOut)
        return 0;
    pOut[0] = image.ImageType;
    std::memcpy(pOut + 1, image.ImageID, IMAGE_ID_SIZE);
    pOut[1 + IMAGE_ID_SIZE] = image.BuildIDLength;
    std::memcpy(pOut + 2 + IMAGE_ID_SIZE, image.BuildID, image.BuildIDLength);
    return ImageRecordSize(image);
}

std::size_t WritePreferenceList(const CImageElement& modemImage, const CImageElement& priImage,
                                std::uint8_t* pOut, std::size_t cbOut)
{
    if (pOut == nullptr || cbOut < 1)
        return 0;
    pOut[0] = 2;
    std::size_t offset = 1;
    std::size_t written = WriteImageRecord(modemImage, pOut + offset, cbOut - offset);
    if (written == 0)
        return 0;
    offset += written;
    written = WriteImageRecord(priImage, pOut + offset, cbOut - offset);
    if (written == 0)
        return 0;
    return offset + written;
}
