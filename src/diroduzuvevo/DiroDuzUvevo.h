#pragma once
// DiroDuzUvevo: the program's trace library. Every message goes through
// TbdPrintMessage; timed operations hold a CTbdFunctionTrace.
#include <windows.h>

// Trace classes: the first argument of TbdPrintMessage.
enum
{
    TBDCT_NULL = 0,
    TBDCT_ALL = 1,
    TBDCT_ALL_FUNCTIONS = 2,
    TBDCT_ALL_MEMORY = 3,
    TBCT_INFO = 4,
    TBCT_READ = 5,
    TBDCT_LAST = 6,
    TBD_CLASS_COUNT = 7
};

// Level thresholds by name, as the registry spells them.
enum
{
    TBDOL_TRACE = 0,
    TBDOL_INFORMATION = 1,
    TBDOL_ERROR = 2,
    TBDOL_NONE = 3
};

// What start-up hands the library.
struct TbdConfig
{
    int nDefaultLevel;
    BYTE bTraceAllFunctions;
    BYTE bTraceAllMemory;
    BYTE bTraceInfo;
    BYTE bTraceRead;
    DWORD nLogSizeLimit;
    HKEY hRootKey;
    BYTE bLogOwnVersion;
    wchar_t szModuleName[MAX_PATH];
};

// The trace call. In the format "%s" takes a wide string.
void TbdPrintMessage(int nClass, int nLevel, const wchar_t* pszFormat, ...);

bool TbdStartLogging(const TbdConfig* pConfig);
// pszProgramName defaults to the program's own name; nullptr gives "DiroDuzUvevo".
bool TbdInitialize(const wchar_t* pszLogFile, int nLogSizeLimit, const wchar_t* pszProgramName = L"ToviImgMgr");
void TbdShutdown();
void TbdApplyRegistryOverrides();
void TbdReadRegistrySettings(const wchar_t* pszKeyPath);
bool TbdAssertImpl(bool bCondition, const char* pszExpression, int nLine);
#define TbdAssert(expr) TbdAssertImpl((expr), #expr, __LINE__)
bool TbdGetLogFolder(wchar_t* pszFolder /* [MAX_PATH] */);
bool TbdLogModuleVersion(HMODULE hModule);
bool TbdLogLibraryVersion(const wchar_t* pszLibrary);
bool TbdGetExeFolder(wchar_t* pszFolder /* [MAX_PATH] */);
BOOL TbdWriteLogBytes(const void* pBytes, DWORD dwCount);
bool TbdFormatTimeStamp(wchar_t* psBuffer /* [127] */);
void CheckLogFile();

// Times one operation: "+ name" at entry, "- name (Duration ...)" at exit.
class CTbdFunctionTrace
{
public:
    CTbdFunctionTrace(const wchar_t* pszName, LONG* plTotalTime, LONG* plTotalCalls);
    ~CTbdFunctionTrace();
    CTbdFunctionTrace(const CTbdFunctionTrace&) = delete;
    CTbdFunctionTrace& operator=(const CTbdFunctionTrace&) = delete;

private:
    wchar_t m_szName[MAX_PATH];
    DWORD m_dwStartTick;
    LONG* m_plTotalTime;
    LONG* m_plTotalCalls;
};

// Opens a scope trace with the operation's own pair of counters.
#define TBD_FUNCTION_TRACE(name)                                              \
    static LONG s_lTbdTotalTime = 0;                                          \
    static LONG s_lTbdTotalCalls = 0;                                         \
    CTbdFunctionTrace tbdFunctionTrace((name), &s_lTbdTotalTime, &s_lTbdTotalCalls)

// Library state, process-wide. Exposed for the library's own files and for
// tests that need to set enables and thresholds directly.
extern bool btbdInitialized;
extern HANDLE hOutputFile;
extern HANDLE hAlterEvent;
extern const wchar_t* psProgramName;
extern wchar_t szLogFileName[MAX_PATH];
// Name of the alter event of the running start: another process that opens it
// and sets it makes the library read its registry settings again.
extern wchar_t szAlterEventName[MAX_PATH];
extern int nMaxLogSize;
extern int nTraceLevelFile;
extern int nTraceLevelDebug;
extern bool bClassEnabled[TBD_CLASS_COUNT];
extern bool OutputToFile;
extern bool OutputToDebug;
extern bool OutputThreadID;
extern bool OutputTickCount;
extern bool OutputDateTimeInHeader;
extern bool bEncryptLog;
extern LARGE_INTEGER liCounterFrequency;
extern const wchar_t* const psClassTypeNames[TBD_CLASS_COUNT];

// Tests watch the trace calls here: each message that passes the filter, with
// its class, level, format and finished text, on the tracing thread under the
// line lock. Null, the default, watches nothing. Returns the previous one.
typedef void (*TBD_LINE_OBSERVER)(int nClass, int nLevel, const wchar_t* psFormat, const wchar_t* psText);
TBD_LINE_OBSERVER TbdSetLineObserver(TBD_LINE_OBSERVER pfnObserver);
