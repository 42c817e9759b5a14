#pragma once
// The program's view of the firmware images on the modem: connects to it,
// reads its preferred and stored images, sets a new preference and deletes
// stored images, all through CToviApiWrapper's table.
#include <windows.h>

#include <list>

#include "modem/ImageElement.h"

class CImageListReader;

enum
{
    IMAGE_LIST_BUFFER_SIZE = 2560,  // bytes offered to GetImagesPreference and GetStoredImages
    QCWWAN_NO_DEVICE = 6            // QCWWANConnect's answer while no modem is present
};

class CFwImageStore
{
public:
    CFwImageStore();
    ~CFwImageStore();
    CFwImageStore(const CFwImageStore&) = delete;
    CFwImageStore& operator=(const CFwImageStore&) = delete;

    // 0 when connected; retries a missing device up to 10 times, 500 ms apart.
    ULONG ConnectDevice();
    ULONG DisconnectDevice();
    // Refills m_lstSelectedImages with the modem's preference.
    bool LoadSelectedImages();
    // Refills m_lstModemImages and m_lstPriImages with the stored images.
    bool LoadDeviceImages();
    // Makes the pair the modem's preference and resets the modem.
    bool SetImagePref(CImageElement modemImage, CImageElement priImage);
    // Deletes one stored image; the lists are not changed.
    bool DeleteImage(CImageElement image);
    // Deletes every image of both stored lists, PRI images first; always true.
    bool DeleteAllImages();

    // Seven lines at level 1 describing one image.
    static void TraceImageElement(const CImageElement& image);
    // 32 upper-case hex digits, terminated: pszHex holds IMAGE_ID_HEX_SIZE characters.
    static void ImageIdToHex(const BYTE* pbImageId, wchar_t* pszHex);
    // The build ID in the ANSI code page as wide text, terminated, at most 32
    // characters: pszText holds BUILD_ID_TEXT_SIZE characters.
    static void BuildIdToText(const CImageElement& image, wchar_t* pszText);

    std::list<CImageElement> m_lstSelectedImages;
    std::list<CImageElement> m_lstModemImages;
    std::list<CImageElement> m_lstPriImages;
    ImageListInfo m_ImageListInfo[2];  // headers of the last LoadDeviceImages, by image type
    BOOL m_bInitialized;               // set by the owner after a complete load
    bool m_bConnectedToDevice;

private:
    bool ReadStoredList(CImageListReader& reader);
};
