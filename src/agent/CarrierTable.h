#pragma once
// Which host image folder holds the images for a carrier the modem reports.
// Free of Windows headers; MapCarrierToFolder adds the trace.
#include <cstdint>

// Folder number of the carrier ID: -1 where no folder exists, the default
// folder 6 for every carrier not listed.
int32_t FolderForCarrier(uint32_t nCarrierId);
