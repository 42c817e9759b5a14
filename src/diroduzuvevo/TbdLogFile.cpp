// The log file: writing, scrambling, the size limit and its backup copy.
#include <memory>
#include <new>
#include <string>

#include "diroduzuvevo/TbdInternal.h"
#include "diroduzuvevo/TbdLineLayout.h"
#include "platform/Handles.h"

namespace
{
// Bytes the library wrote into the log since it was created or emptied. The
// library is the only writer of its log, so this stands in for asking the
// file its size before every line (under Wine that costs as much as the
// write itself); the file is asked only once this count reaches the limit.
LONGLONG llLogBytes = 0;

// Lines are at most this long once converted; they are scrambled on the stack.
const DWORD kStackScrambleBytes = TBD_LINE_CHARS * 4;

BOOL WritePlain(const void* pBytes, DWORD dwCount, DWORD* pdwWritten)
{
    return ::WriteFile(hOutputFile, pBytes, dwCount, pdwWritten, nullptr);
}

BOOL WriteScrambled(const void* pBytes, DWORD dwCount, DWORD* pdwWritten)
{
    unsigned char stackCopy[kStackScrambleBytes];
    unsigned char* pCopy = stackCopy;
    std::unique_ptr<unsigned char[]> heapCopy;
    if (dwCount > kStackScrambleBytes)
    {
        heapCopy.reset(new (std::nothrow) unsigned char[dwCount]);
        if (!heapCopy)
            return WritePlain(pBytes, 0, pdwWritten);
        pCopy = heapCopy.get();
    }
    TbdScrambleBytes(static_cast<const unsigned char*>(pBytes), pCopy, dwCount);
    return WritePlain(pCopy, dwCount, pdwWritten);
}

void ClearReadOnly(const wchar_t* psPath)
{
    DWORD dwAttributes = ::GetFileAttributesW(psPath);
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_READONLY))
        return;
    dwAttributes &= ~FILE_ATTRIBUTE_READONLY;
    ::SetFileAttributesW(psPath, dwAttributes ? dwAttributes : FILE_ATTRIBUTE_NORMAL);
}

// Keeps the full log as the backup and empties the live file. Each step is
// tried even when an earlier one failed: a missing backup must not stop the
// log from being emptied.
void StartOverWithBackup()
{
    std::wstring backup = std::wstring(szLogFileName) + L"_BACKUP";
    ClearReadOnly(backup.c_str());
    ::DeleteFileW(backup.c_str());
    ::CopyFileW(szLogFileName, backup.c_str(), FALSE);
    ::SetFilePointer(hOutputFile, 0, nullptr, FILE_BEGIN);
    ::SetEndOfFile(hOutputFile);
    llLogBytes = 0;
}
}

bool TbdOpenLogFile(const wchar_t* psFullPath)
{
    hOutputFile = ::CreateFileW(psFullPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    llLogBytes = 0;
    return hOutputFile != INVALID_HANDLE_VALUE;
}

void TbdCloseLogFile()
{
    if (hOutputFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hOutputFile);
    hOutputFile = INVALID_HANDLE_VALUE;
    llLogBytes = 0;
}

BOOL TbdWriteLogBytes(const void* pBytes, DWORD dwCount)
{
    if (!pBytes && dwCount > 0)
        return FALSE;
    // Every write goes at the handle's own position, which only this library
    // moves: it stays at the end of the file except while the file is emptied.
    DWORD dwWritten = 0;
    BOOL bResult = bEncryptLog ? WriteScrambled(pBytes, dwCount, &dwWritten) : WritePlain(pBytes, dwCount, &dwWritten);
    llLogBytes += dwWritten;
    return bResult;
}

void CheckLogFile()
{
    CRawLock fileLock(csTbdFile);
    if (hOutputFile == INVALID_HANDLE_VALUE || llLogBytes < nMaxLogSize)
        return;
    // The whole 64-bit size: a log of 2 GB or more must still count as full.
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(hOutputFile, &size))
        return;
    llLogBytes = size.QuadPart;
    if (size.QuadPart < nMaxLogSize)
        return;
    StartOverWithBackup();
}
