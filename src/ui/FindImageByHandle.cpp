#include "ui/FindImageByHandle.h"

bool FindImageByHandle(const std::list<CImageElement>& images, std::int32_t nHandle, CImageElement& found)
{
    for (const CImageElement& image : images)
    {
        found = image;
        if (image.Handle == nHandle)
            return true;
    }
    return false;
}
