#pragma once
#include <cstdint>
#include <list>

#include "modem/ImageElement.h"

// Copies the image with this Handle into 'found'; false when the list has none.
bool FindImageByHandle(const std::list<CImageElement>& images, std::int32_t nHandle, CImageElement& found);
