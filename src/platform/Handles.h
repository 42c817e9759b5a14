#pragma once
// One small owner per kind of handle. Each closes what it holds when it goes
// out of scope, cannot be copied, and can hand its handle over with release().
#include <windows.h>

template <typename T, typename Traits>
class CUniqueHandle
{
public:
    CUniqueHandle() : m_h(Traits::Invalid()) {}
    explicit CUniqueHandle(T h) : m_h(h) {}
    ~CUniqueHandle() { reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    T get() const { return m_h; }
    bool valid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }
    T* put() { reset(); return &m_h; }
    T release() { T h = m_h; m_h = Traits::Invalid(); return h; }
    void reset(T h = Traits::Invalid())
    {
        if (m_h != Traits::Invalid())
            Traits::Close(m_h);
        m_h = h;
    }

private:
    T m_h;
};

struct CNullHandleTraits
{
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct CFileHandleTraits
{
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct CFindHandleTraits
{
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct CRegKeyTraits
{
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};
struct CModuleTraits
{
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};

using CHandle = CUniqueHandle<HANDLE, CNullHandleTraits>;      // events, threads, mutexes
using CFileHandle = CUniqueHandle<HANDLE, CFileHandleTraits>;  // CreateFile results
using CFindHandle = CUniqueHandle<HANDLE, CFindHandleTraits>;  // FindFirstFile results
using CRegKey = CUniqueHandle<HKEY, CRegKeyTraits>;
using CModule = CUniqueHandle<HMODULE, CModuleTraits>;

// A critical section that lives as long as its owner.
class CCriticalSection
{
public:
    CCriticalSection() { ::InitializeCriticalSection(&m_cs); }
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;
    void Enter() { ::EnterCriticalSection(&m_cs); }
    void Leave() { ::LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
};

// Holds a critical section for one scope.
class CLock
{
public:
    explicit CLock(CCriticalSection& cs) : m_cs(cs) { m_cs.Enter(); }
    ~CLock() { m_cs.Leave(); }
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

private:
    CCriticalSection& m_cs;
};

// The same for a raw CRITICAL_SECTION whose lifetime someone else manages.
class CRawLock
{
public:
    explicit CRawLock(CRITICAL_SECTION& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
    ~CRawLock() { ::LeaveCriticalSection(&m_cs); }
    CRawLock(const CRawLock&) = delete;
    CRawLock& operator=(const CRawLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};
