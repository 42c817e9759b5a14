// The trace call: filter, text, line, and the two output targets.
#include <stdarg.h>
#include <stdio.h>

#include <atomic>

#include "diroduzuvevo/TbdInternal.h"
#include "diroduzuvevo/TbdLineLayout.h"
#include "platform/Handles.h"

namespace
{
std::atomic<TBD_LINE_OBSERVER> pfnLineObserver(nullptr);

bool PassesFilter(int nClass, int nLevel)
{
    if (nClass == TBDCT_LAST)
        return true;
    if (nClass < 0 || nClass >= TBD_CLASS_COUNT || !bClassEnabled[nClass])
        return false;
    // Either threshold lets the whole line through, to every enabled target.
    return nLevel >= nTraceLevelFile || nLevel >= nTraceLevelDebug;
}

// A text that does not fit is dropped whole rather than cut, so that a
// truncated message is never mistaken for a complete one.
void FormatText(wchar_t* psText, const wchar_t* psFormat, va_list args)
{
    psText[0] = L'\0';
    if (!psFormat)
        return;
    int nResult = _vsnwprintf(psText, TBD_TEXT_CHARS, psFormat, args);
    if (!TbdFormattedTextFits(nResult))
        psText[0] = L'\0';
    psText[TBD_TEXT_CHARS - 1] = L'\0';
}

void WriteLineToFile(const wchar_t* psLine, size_t nLength)
{
    // No code page needs more than four bytes for one UTF-16 unit, so a whole
    // line always fits and no allocation is needed per line.
    char bytes[TBD_LINE_CHARS * 4];
    int nBytes = ::WideCharToMultiByte(CP_ACP, 0, psLine, (int)nLength, bytes, (int)sizeof(bytes), nullptr, nullptr);
    if (nBytes <= 0)
        return;
    TbdWriteLogBytes(bytes, (DWORD)nBytes);
}
}

bool TbdFormatTimeStamp(wchar_t* psBuffer)
{
    if (!TbdAssert(psBuffer != NULL))
        return false;

    SYSTEMTIME time;
    ::GetLocalTime(&time);
    int nLength = _snwprintf(psBuffer, TBD_STAMP_CHARS, L"%02d:%02d:%02d.%03d", time.wHour, time.wMinute,
                             time.wSecond, time.wMilliseconds);
    if (nLength < 0 || nLength >= TBD_STAMP_CHARS)
    {
        psBuffer[0] = L'\0';
        return false;
    }

    LARGE_INTEGER counter;
    if (!::QueryPerformanceCounter(&counter) || liCounterFrequency.QuadPart == 0)
        return true;
    int nRemaining = TBD_STAMP_CHARS - nLength;
    if (nRemaining < 16)
        return true;

    double seconds = (double)counter.QuadPart / (double)liCounterFrequency.QuadPart;
    int nAdded = _snwprintf(psBuffer + nLength, nRemaining, L" %.6f", seconds);
    if (nAdded < 0 || nAdded >= nRemaining)
    {
        psBuffer[nLength] = L'\0';
        return false;
    }
    return true;
}

void TbdPrintMessage(int nClass, int nLevel, const wchar_t* psFormat, ...)
{
    if (!btbdInitialized)
        return;
    TbdPollAlterEvent();

    CRawLock lineLock(csTbdLine);
    if (!PassesFilter(nClass, nLevel))
        return;
    CheckLogFile();

    wchar_t szText[TBD_TEXT_CHARS];
    va_list args;
    va_start(args, psFormat);
    FormatText(szText, psFormat, args);
    va_end(args);

    wchar_t szStamp[TBD_STAMP_CHARS];
    TbdLineFields fields = {};
    fields.psProgramName = psProgramName;
    fields.psTimeStamp = TbdFormatTimeStamp(szStamp) ? szStamp : nullptr;
    fields.bThreadId = OutputThreadID;
    fields.dwThreadId = ::GetCurrentThreadId();
    fields.bTickCount = OutputTickCount;
    fields.dwTickCount = ::GetTickCount();
    fields.nLevel = nLevel;
    fields.psText = szText;

    wchar_t szLine[TBD_LINE_CHARS];
    size_t nLength = TbdBuildLine(fields, szLine);

    if (OutputToFile && hOutputFile != INVALID_HANDLE_VALUE)
        WriteLineToFile(szLine, nLength);
    if (OutputToDebug)
        ::OutputDebugStringW(szLine);
    if (TBD_LINE_OBSERVER pfnObserver = pfnLineObserver.load())
        pfnObserver(nClass, nLevel, psFormat, szText);
}

TBD_LINE_OBSERVER TbdSetLineObserver(TBD_LINE_OBSERVER pfnObserver)
{
    return pfnLineObserver.exchange(pfnObserver);
}
