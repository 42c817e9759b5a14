#include "agent/CarrierTable.h"

namespace
{
struct CarrierFolder
{
    uint32_t nCarrierId;
    int32_t nFolder;
};

const CarrierFolder kCarrierFolders[] = {
    {2, -1},   {3, -1},   {101, 1},  {102, 3},  {103, 11}, {104, 12}, {105, 13}, {107, 10}, {118, 16},
    {176, 14}, {201, 2},  {202, 0},  {203, 4},  {204, 9},  {205, 7},  {206, 8},  {212, 10},
};

const int32_t kDefaultFolder = 6;
}

int32_t FolderForCarrier(uint32_t nCarrierId)
{
    for (const CarrierFolder& entry : kCarrierFolders)
    {
        if (entry.nCarrierId == nCarrierId)
            return entry.nFolder;
    }
    return kDefaultFolder;
}
