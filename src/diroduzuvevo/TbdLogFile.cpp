// The log file: writing, scrambling, the size limit and its backup copy.
#include <memory>
#include <new>
#include <string>

#include "diroduzuvevo/TbdInternal.h"
#include "diroduzuvevo/TbdLineLayout.h"
#include "platform/Handles.h"

namespace
{
// Lines are at most this long once converted; they are scrambled on the stack.
const DWORD kStackScrambleBytes = TBD_LINE_CHARS * 4;

// Another process may write the same log: a second run of the program, or a
// window open while an agent run starts and empties the file. So nothing is
// written at an offset of our own. Each write asks the system to put it at
// the file's end as it is then, and the writers of a log take turns through
// a lock on one byte far past any end, so that also a file system that
// appends by looking up the end first never lets two lines meet.
const DWORD kTurnOffsetLow = 0;
const DWORD kTurnOffsetHigh = 0x7FFFFFFF;
// A writer that holds its turn this long is hung; the line goes anyway.
const DWORD kTurnWaitMs = 200;

class CLogWriterTurn
{
public:
    CLogWriterTurn()
    {
        DWORD dwStart = ::GetTickCount();
        while (!TryLock() && ::GetTickCount() - dwStart < kTurnWaitMs)
            ::Sleep(0);
    }
    ~CLogWriterTurn()
    {
        if (!m_bHeld)
            return;
        OVERLAPPED range = Range();
        ::UnlockFileEx(hOutputFile, 0, 1, 0, &range);
    }
    CLogWriterTurn(const CLogWriterTurn&) = delete;
    CLogWriterTurn& operator=(const CLogWriterTurn&) = delete;

private:
    static OVERLAPPED Range()
    {
        OVERLAPPED range = {};
        range.Offset = kTurnOffsetLow;
        range.OffsetHigh = kTurnOffsetHigh;
        return range;
    }
    bool TryLock()
    {
        OVERLAPPED range = Range();
        m_bHeld = ::LockFileEx(hOutputFile, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range) != 0;
        return m_bHeld;
    }

    bool m_bHeld = false;
};

BOOL WritePlain(const void* pBytes, DWORD dwCount, DWORD* pdwWritten)
{
    // Both offsets all ones: the write goes at the end of the file, in the
    // same call that writes it.
    OVERLAPPED atEnd = {};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    return ::WriteFile(hOutputFile, pBytes, dwCount, pdwWritten, &atEnd);
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
    // In turn, so that no other writer's line falls between the copy and the cut.
    CLogWriterTurn turn;
    std::wstring backup = std::wstring(szLogFileName) + L"_BACKUP";
    ClearReadOnly(backup.c_str());
    ::DeleteFileW(backup.c_str());
    ::CopyFileW(szLogFileName, backup.c_str(), FALSE);
    ::SetFilePointer(hOutputFile, 0, nullptr, FILE_BEGIN);
    ::SetEndOfFile(hOutputFile);
}
}

bool TbdOpenLogFile(const wchar_t* psFullPath)
{
    hOutputFile = ::CreateFileW(psFullPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    return hOutputFile != INVALID_HANDLE_VALUE;
}

void TbdCloseLogFile()
{
    if (hOutputFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(hOutputFile);
    hOutputFile = INVALID_HANDLE_VALUE;
}

BOOL TbdWriteLogBytes(const void* pBytes, DWORD dwCount)
{
    if (!pBytes && dwCount > 0)
        return FALSE;
    CLogWriterTurn turn;
    DWORD dwWritten = 0;
    return bEncryptLog ? WriteScrambled(pBytes, dwCount, &dwWritten) : WritePlain(pBytes, dwCount, &dwWritten);
}

void CheckLogFile()
{
    CRawLock fileLock(csTbdFile);
    if (hOutputFile == INVALID_HANDLE_VALUE)
        return;
    // The file's own size, so that what other writers added counts too; the
    // whole 64-bit size, so that a log of 2 GB or more still counts as full.
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(hOutputFile, &size) || size.QuadPart < nMaxLogSize)
        return;
    StartOverWithBackup();
}
