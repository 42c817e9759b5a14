// CHiddenAgent: the host image folder of the carrier the modem runs.
#include "agent/HiddenAgent.h"

#include <stdio.h>

#include "agent/CarrierFolder.h"
#include "diroduzuvevo/DiroDuzUvevo.h"
#include "modem/ToviApiWrapper.h"

// Runs over the connection that Initialize left open.
bool CHiddenAgent::GetCarrierIndex(std::wstring& csCarrierIndex)
{
    TBD_FUNCTION_TRACE(L"CHiddenAgent::GetCarrierIndex");
    ULONG ulFirmwareId = 0, ulTechnology = 0, ulCarrier = 0, ulRegion = 0, ulGps = 0;
    if (CToviApiWrapper::m_pfnGetFirmwareInfo(&ulFirmwareId, &ulTechnology, &ulCarrier, &ulRegion, &ulGps) != 0)
        return false;
    TbdPrintMessage(TBCT_INFO, 1, L"Tech: %i, nCarrier: %i, nGps: %i", ulTechnology, ulCarrier, ulGps);

    wchar_t szFolder[16] = {};
    _snwprintf(szFolder, 15, L"%d", MapCarrierToFolder(ulCarrier));
    csCarrierIndex = szFolder;
    return true;
}
