#include "modem/ImageElement.h"

std::int32_t g_nLastImageHandle = 0;
