#include "SimLibrary.h"

#include <vector>

FARPROC CSimLibrary::Proc(const char* name) const
{
    return m_module ? ::GetProcAddress(m_module.get(), name) : nullptr;
}

bool CSimLibrary::Load(const std::wstring& path)
{
    m_module.reset(::LoadLibraryW(path.c_str()));
    if (!m_module)
        return false;
    bool all = Bind(pfnSimCreateModem, "SimCreateModem");
    all = Bind(pfnSimCreateEmptyModem, "SimCreateEmptyModem") && all;
    all = Bind(pfnSimStoreFolder, "SimStoreFolder") && all;
    all = Bind(pfnSimSetFault, "SimSetFault") && all;
    all = Bind(pfnSimSetRawList, "SimSetRawList") && all;
    all = Bind(pfnSimClearFaults, "SimClearFaults") && all;
    all = Bind(pfnSimOverrideFirmwareInfo, "SimOverrideFirmwareInfo") && all;
    all = Bind(pfnSimSetResetDelay, "SimSetResetDelay") && all;
    all = Bind(pfnSimSimulateRemoval, "SimSimulateRemoval") && all;
    all = Bind(pfnSimGetJournal, "SimGetJournal") && all;
    all = Bind(pfnSimClearJournal, "SimClearJournal") && all;
    all = Bind(pfnSimDescribe, "SimDescribe") && all;
    all = Bind(pfnQCWWANConnect, "QCWWANConnect") && all;
    all = Bind(pfnQCWWANDisconnect, "QCWWANDisconnect") && all;
    all = Bind(pfnGetImagesPreference, "GetImagesPreference") && all;
    all = Bind(pfnGetStoredImages, "GetStoredImages") && all;
    all = Bind(pfnSetImagesPreference, "SetImagesPreference") && all;
    all = Bind(pfnResetDevice, "ResetDevice") && all;
    all = Bind(pfnDeleteStoredImage, "DeleteStoredImage") && all;
    all = Bind(pfnGetImageStoreW, "GetImageStoreW") && all;
    all = Bind(pfnGetImageIDs, "GetImageIDs") && all;
    all = Bind(pfnSetPortAutomaticTracking, "SetPortAutomaticTracking") && all;
    all = Bind(pfnUpgradeFirmware3k, "UpgradeFirmware3k") && all;
    m_bLoaded = all;
    return all;
}

std::wstring CSimLibrary::ReadText(decltype(&SimDescribe) pfn, ULONG* pResult) const
{
    ULONG result = ERROR_PROC_NOT_FOUND;
    std::wstring text;
    // The text may grow between the two calls; try again with the new size.
    for (int attempt = 0; pfn && attempt < 5; ++attempt)
    {
        ULONG needed = 0;
        result = pfn(nullptr, 0, &needed);
        if (result != ERROR_INSUFFICIENT_BUFFER || needed == 0)
            break;
        std::vector<wchar_t> buffer(needed + 256);
        result = pfn(&buffer[0], (ULONG)buffer.size(), &needed);
        if (result == 0)
        {
            text = &buffer[0];
            break;
        }
    }
    if (pResult)
        *pResult = result;
    return text;
}
