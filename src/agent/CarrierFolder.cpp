#include "agent/CarrierFolder.h"

#include "agent/CarrierTable.h"
#include "diroduzuvevo/DiroDuzUvevo.h"

int MapCarrierToFolder(ULONG ulCarrierId)
{
    const int nFolder = FolderForCarrier(ulCarrierId);
    TbdPrintMessage(TBCT_INFO, 1, L"MapCarrierToFolder - CarrierID: %i, Folder: %i", ulCarrierId, nFolder);
    return nFolder;
}
