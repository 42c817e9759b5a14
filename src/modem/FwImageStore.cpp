#include "modem/FwImageStore.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>

#include "diroduzuvevo/DiroDuzUvevo.h"
#include "modem/ImageListCodec.h"
#include "modem/ToviApiWrapper.h"
#include "platform/Pause.h"

namespace
{
const int kMaxConnectRetries = 10;
const DWORD kConnectRetryPauseMs = 500;
const size_t kPreferenceBufferSize = 256;
const size_t kRecordBufferSize = 64;
const BYTE kModemStorageIndex = 0xFF;

// Buffers for the library are allocated per call without throwing: a failed
// allocation is a traced failure like any other.
std::unique_ptr<BYTE[]> AllocateBuffer(size_t cbSize)
{
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[cbSize]());
}

// The library says how many bytes it wrote; the list is never read past that
// count nor past the buffer.
size_t ValidListBytes(ULONG cbReturned)
{
    return std::min<size_t>(cbReturned, IMAGE_LIST_BUFFER_SIZE);
}

bool MalformedList(const CImageListReader& reader)
{
    TbdPrintMessage(TBCT_INFO, 3, L"Malformed image list at byte %d of %d", (int)reader.Offset(),
                    (int)reader.Size());
    return false;
}

int ResultLevel(ULONG result)
{
    return result == 0 ? 1 : 3;
}

// An element whose build ID length exceeds BuildID cannot be sent: its record
// would carry bytes that are not the image's.
bool HasValidBuildId(const CImageElement& image)
{
    if (image.BuildIDLength <= BUILD_ID_MAX)
        return true;
    TbdPrintMessage(TBCT_INFO, 3, L"Invalid build ID length: %d", image.BuildIDLength);
    return false;
}
}

CFwImageStore::CFwImageStore() : m_ImageListInfo(), m_bInitialized(0), m_bConnectedToDevice(false)
{
}

CFwImageStore::~CFwImageStore()
{
    m_lstSelectedImages.clear();
    m_lstModemImages.clear();
    m_lstPriImages.clear();
}

ULONG CFwImageStore::ConnectDevice()
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::ConnectDevice");
    if (m_bConnectedToDevice)
    {
        TbdPrintMessage(TBCT_INFO, 1, L"CFwImageStore already connected to device, return successful");
        return 0;
    }

    ULONG result = CToviApiWrapper::m_pfnQCWWANConnect();
    for (int retry = 1; result == QCWWAN_NO_DEVICE && retry <= kMaxConnectRetries; ++retry)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Can't find device, sleep and try again: %i", retry);
        ToviPause(kConnectRetryPauseMs);
        result = CToviApiWrapper::m_pfnQCWWANConnect();
    }

    if (result != 0)
        TbdPrintMessage(TBCT_INFO, 3, L"QCWWANConnect error: %i", (int)result);
    else
        m_bConnectedToDevice = true;
    return result;
}

ULONG CFwImageStore::DisconnectDevice()
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::DisconnectDevice");
    ULONG result = CToviApiWrapper::m_pfnQCWWANDisconnect();
    if (result != 0)
        TbdPrintMessage(TBCT_INFO, 3,
                        L"CFwImageStore failed to connect to the device, m_bConnectedToDevice remains true");
    else
        m_bConnectedToDevice = false;
    return result;
}

bool CFwImageStore::LoadSelectedImages()
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::LoadSelectedImages");
    m_lstSelectedImages.clear();

    std::unique_ptr<BYTE[]> buffer = AllocateBuffer(IMAGE_LIST_BUFFER_SIZE);
    if (!buffer)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to allocate memory: %d", (int)::GetLastError());
        return false;
    }

    ULONG cbList = IMAGE_LIST_BUFFER_SIZE;
    ULONG result = CToviApiWrapper::m_pfnGetImagesPreference(&cbList, buffer.get());
    if (result != 0)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"GetImagesPreference failed: %d", (int)result);
        return false;
    }

    CImageListReader reader(buffer.get(), ValidListBytes(cbList));
    BYTE count = 0;
    if (!reader.ReadCount(count))
        return MalformedList(reader);
    TbdPrintMessage(TBCT_INFO, 1, L"ImageListSize (BYTES): %d, ListSize (elements): %d", (int)cbList, count);

    for (int i = 0; i < count; ++i)
    {
        TbdPrintMessage(TBCT_INFO, 1, L"***** %d *****", i);
        CImageElement image;
        if (!reader.ReadPreferenceEntry(image))
            return MalformedList(reader);
        image.Handle = ++g_nLastImageHandle;
        m_lstSelectedImages.push_back(image);
        TraceImageElement(image);
    }
    return true;
}

bool CFwImageStore::LoadDeviceImages()
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::LoadDeviceImages");
    m_lstModemImages.clear();
    m_lstPriImages.clear();

    std::unique_ptr<BYTE[]> buffer = AllocateBuffer(IMAGE_LIST_BUFFER_SIZE);
    if (!buffer)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to allocate memory: %d", (int)::GetLastError());
        return false;
    }

    ULONG cbList = IMAGE_LIST_BUFFER_SIZE;
    ULONG result = CToviApiWrapper::m_pfnGetStoredImages(&cbList, buffer.get());
    if (result != 0)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"GetStoredImages returned error: %d", (int)result);
        return false;
    }

    CImageListReader reader(buffer.get(), ValidListBytes(cbList));
    BYTE listCount = 0;
    if (!reader.ReadCount(listCount))
        return MalformedList(reader);
    TbdPrintMessage(TBCT_INFO, 1, L"ImageListSize (BYTES): %d, ListSize (elements): %d", (int)cbList,
                    listCount);

    for (int list = 0; list < listCount; ++list)
    {
        if (!ReadStoredList(reader))
            return false;
    }
    return true;
}

// Reads one list of stored images: its header, then its entries into the list
// of its type. A second list of a type appends and replaces the type's header.
bool CFwImageStore::ReadStoredList(CImageListReader& reader)
{
    ImageListInfo info;
    if (!reader.ReadListHeader(info))
        return MalformedList(reader);
    if (info.ImageType != IMAGE_TYPE_MODEM && info.ImageType != IMAGE_TYPE_PRI)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Unsupported image type: %d", info.ImageType);
        return false;
    }

    m_ImageListInfo[info.ImageType] = info;
    TbdPrintMessage(TBCT_INFO, 1, L"ImageType: %d, MaxImages: %d, ExecutingImage: %d, ImageIdSize: %d",
                    info.ImageType, info.MaxImages, info.ExecutingImage, info.ImageIdSize);

    std::list<CImageElement>& images = info.ImageType == IMAGE_TYPE_MODEM ? m_lstModemImages : m_lstPriImages;
    for (int i = 0; i < info.ImageIdSize; ++i)
    {
        TbdPrintMessage(TBCT_INFO, 1, L"***** %d *****", i);
        CImageElement image;
        if (!reader.ReadStoredEntry(info.ImageType, image))
            return MalformedList(reader);
        image.Handle = ++g_nLastImageHandle;
        images.push_back(image);
        TraceImageElement(image);
    }
    return true;
}

bool CFwImageStore::SetImagePref(CImageElement modemImage, CImageElement priImage)
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::SetImagePref");
    std::unique_ptr<BYTE[]> list = AllocateBuffer(kPreferenceBufferSize);
    std::unique_ptr<BYTE[]> answer = AllocateBuffer(kPreferenceBufferSize);
    if (!list || !answer)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to allocate memory");
        return false;
    }
    if (!HasValidBuildId(modemImage) || !HasValidBuildId(priImage))
        return false;

    size_t cbList = WritePreferenceList(modemImage, priImage, list.get(), kPreferenceBufferSize);
    // The answer (images still to download) is not needed here.
    ULONG cbAnswer = 2;
    ULONG result = CToviApiWrapper::m_pfnSetImagesPreference((ULONG)cbList, list.get(), 0, kModemStorageIndex,
                                                              &cbAnswer, answer.get());
    TbdPrintMessage(TBCT_INFO, ResultLevel(result), L"SetImagesPreference returned: %d", (int)result);
    if (result != 0)
        return false;

    TbdPrintMessage(TBCT_INFO, 1, L"Resetting device");
    CToviApiWrapper::m_pfnResetDevice();
    return true;
}

bool CFwImageStore::DeleteImage(CImageElement image)
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::DeleteImage");
    std::unique_ptr<BYTE[]> record = AllocateBuffer(kRecordBufferSize);
    if (!record)
    {
        TbdPrintMessage(TBCT_INFO, 3, L"Failed to allocate memory");
        return false;
    }
    if (!HasValidBuildId(image))
        return false;

    size_t cbRecord = WriteImageRecord(image, record.get(), kRecordBufferSize);
    ULONG result = CToviApiWrapper::m_pfnDeleteStoredImage((ULONG)cbRecord, record.get());
    TbdPrintMessage(TBCT_INFO, ResultLevel(result), L"DeleteStoredImage returned: %d", (int)result);
    return result == 0;
}

bool CFwImageStore::DeleteAllImages()
{
    TBD_FUNCTION_TRACE(L"CFwImageStore::DeleteAllImages");
    // PRI images go first; one failure does not stop the others.
    for (const CImageElement& image : m_lstPriImages)
    {
        if (!DeleteImage(image))
        {
            TbdPrintMessage(TBCT_INFO, 3, L"Failed to delete pri image ...");
            TraceImageElement(image);
        }
    }
    for (const CImageElement& image : m_lstModemImages)
    {
        if (!DeleteImage(image))
        {
            TbdPrintMessage(TBCT_INFO, 3, L"Failed to delete app image ...");
            TraceImageElement(image);
        }
    }
    return true;
}

void CFwImageStore::TraceImageElement(const CImageElement& image)
{
    wchar_t szImageId[IMAGE_ID_HEX_SIZE];
    ImageIdToHex(image.ImageID, szImageId);
    wchar_t szBuildId[BUILD_ID_TEXT_SIZE];
    BuildIdToText(image, szBuildId);

    TbdPrintMessage(TBCT_INFO, 1, L"  Handle: %d", (int)image.Handle);
    TbdPrintMessage(TBCT_INFO, 1, L"  ImageType: %d", image.ImageType);
    TbdPrintMessage(TBCT_INFO, 1, L"  StorageIndex: %d", image.StorageIndex);
    TbdPrintMessage(TBCT_INFO, 1, L"  FailureCount: %d", image.FailureCount);
    TbdPrintMessage(TBCT_INFO, 1, L"  ImageID: %s", szImageId);
    TbdPrintMessage(TBCT_INFO, 1, L"  BuildIDLength: %d", image.BuildIDLength);
    TbdPrintMessage(TBCT_INFO, 1, L"  BuildID: %s", szBuildId);
}

void CFwImageStore::ImageIdToHex(const BYTE* pbImageId, wchar_t* pszHex)
{
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    for (int i = 0; i < IMAGE_ID_SIZE; ++i)
    {
        pszHex[2 * i] = kDigits[pbImageId[i] >> 4];
        pszHex[2 * i + 1] = kDigits[pbImageId[i] & 0x0F];
    }
    pszHex[2 * IMAGE_ID_SIZE] = L'\0';
}

// A full 32-byte build ID fills all 32 characters; the 33rd stays the terminator.
void CFwImageStore::BuildIdToText(const CImageElement& image, wchar_t* pszText)
{
    wmemset(pszText, L'\0', BUILD_ID_TEXT_SIZE);
    int cbBuildId = std::min<int>(image.BuildIDLength, BUILD_ID_MAX);
    if (cbBuildId > 0)
        ::MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(image.BuildID), cbBuildId, pszText,
                              BUILD_ID_TEXT_SIZE - 1);
}
