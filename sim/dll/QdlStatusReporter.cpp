#include "QdlStatusReporter.h"

#include "QdlStatus.h"
#include "platform/Handles.h"

void CQdlStatusReporter::Report(DWORD status)
{
    CRegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, TOVISIM_QDL_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                          nullptr, key.put(), nullptr) == ERROR_SUCCESS)
    {
        ::RegSetValueExW(key.get(), TOVISIM_QDL_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&status),
                         sizeof(status));
    }
    CHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, TOVISIM_QDL_EVENT));
    if (event)
        ::SetEvent(event.get());
}
