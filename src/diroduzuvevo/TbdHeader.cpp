// The lines that open and close a log file.
#include "diroduzuvevo/TbdInternal.h"
#include "diroduzuvevo/TbdLineLayout.h"

namespace
{
// " <long date> <time stamp>", each part only when it can be made.
std::wstring DateAndTime()
{
    std::wstring text;
    wchar_t szDate[128] = L"";
    if (::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_LONGDATE, nullptr, nullptr, szDate, 128) > 0)
        text += std::wstring(L" ") + szDate;
    wchar_t szStamp[TBD_STAMP_CHARS] = L"";
    if (TbdFormatTimeStamp(szStamp))
        text += std::wstring(L" ") + szStamp;
    return text;
}

void WriteText(const std::wstring& text)
{
    std::string bytes = TbdToAnsi(text.c_str(), text.size());
    if (!bytes.empty())
        TbdWriteLogBytes(bytes.data(), (DWORD)bytes.size());
}
}

void TbdWriteHeader()
{
    if (hOutputFile == INVALID_HANDLE_VALUE)
        return;
    std::wstring header = L"\r\n=======";
    header += L" ";
    header += psProgramName;
    header += L" -";
    if (OutputDateTimeInHeader)
        header += DateAndTime();
    header += L" =======\r\n";
    WriteText(header);
}

void TbdWriteFooter()
{
    if (hOutputFile == INVALID_HANDLE_VALUE)
        return;
    std::wstring footer = L"\r\n=======\r\nLog Ended";
    if (OutputDateTimeInHeader)
        footer += DateAndTime();
    footer += L"\r\n\r\n";
    WriteText(footer);
}
