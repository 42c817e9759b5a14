#pragma once
// A simulated modem for one test: binds the control entry points of
// ToviApi.dll at run time (tests never import the library), points the
// library at a state file of this object's own (TOVISIM_STATE) and writes a
// sample host image store into a temporary folder. The destructor restores
// the variable and the download service's "Status" value (which upgrades
// write) and removes the files.
//
//   CSimModem sim;                       // store written, no modem yet
//   ASSERT_EQ(0u, sim.Create(L"6"));     // modem running folder 6's images
//   sim.SetFault("QCWWANConnect", 6, 3); // three answers of 6, then normal
//   (device calls need the calling process's own QCWWANConnect first, as on a modem)
//   ... run the code under test ...
//   EXPECT_EQ(L"QCWWANConnect() = 6", sim.Journal()[0]);
#include <windows.h>

#include <string>
#include <vector>

#include "SampleStore.h"
#include "SimControl.h"

// One image the modem stores, as the state file says.
struct SimStoredImage
{
    BYTE type = 0xFF;
    BYTE slot = 0xFF;
    BYTE failureCount = 0;
    BYTE imageId[16] = {};
    ULONG versionId = 0;
    std::string buildId;
};

class CSimModem
{
public:
    // Writes the sample store with these options (default: all folders,
    // modem version 1575, PRI version 3). No modem exists until Create.
    CSimModem();
    explicit CSimModem(const SampleStoreOptions& options);
    ~CSimModem();
    CSimModem(const CSimModem&) = delete;
    CSimModem& operator=(const CSimModem&) = delete;

    // False when ToviApi.dll or one of its control entry points is missing.
    bool Loaded() const { return m_bLoaded; }
    HMODULE Module() const { return m_hModule; }
    // Any entry point of the library (modem API or control), or nullptr.
    FARPROC Proc(const char* name) const;

    const std::wstring& StoreRoot() const { return m_storeRoot; }   // no trailing backslash
    const std::wstring& StatePath() const { return m_statePath; }
    std::wstring FolderPath(const std::wstring& folder) const;      // root + "\" + folder
    std::wstring FolderPath(int folder) const;
    // A fresh empty folder under the temporary folder (removed with it).
    std::wstring MakeTempFolder(const std::wstring& name);
    // Rewrites folders of the sample store (for other versions).
    bool WriteStore(const SampleStoreOptions& options);

    // Control entry points (results as the library gives them: 0 = done).
    ULONG Create(const std::wstring& runningFolder = L"6", ULONG maxImagesPerType = 8);
    ULONG CreateEmpty(ULONG maxImagesPerType = 8);
    ULONG StoreFolder(const std::wstring& folder);  // a folder name under the root, or a full path
    ULONG SetFault(const char* entryPoint, ULONG code, ULONG count = 1);
    ULONG SetRawList(const char* entryPoint, const std::vector<BYTE>& bytes, ULONG count = 1);
    ULONG ClearFaults();
    ULONG OverrideFirmwareInfo(ULONG technology, ULONG carrier, ULONG region, ULONG gps);
    ULONG SetResetDelay(ULONG milliseconds);
    ULONG SimulateRemoval();
    ULONG ClearJournal();

    // The journal, one "Name(args) = result" per element, oldest first.
    std::vector<std::wstring> Journal() const;
    // Journal lines that begin with the given text (an entry point name, or
    // "Name(" to match exactly that entry point).
    std::vector<std::wstring> JournalCalls(const std::wstring& prefix) const;
    std::wstring Describe() const;

    // The modem's state read straight from the state file (adds no journal line).
    bool Exists() const;                                  // a modem was created
    std::vector<SimStoredImage> StoredImages(BYTE type) const;  // by slot
    std::string PreferredBuildId(BYTE type) const;        // "" when none
    std::string RunningBuildId(BYTE type) const;          // "" when none
    ULONG GpsTrackingValue() const;

private:
    void Init(const SampleStoreOptions& options);
    void SaveQdlStatus();
    void RestoreQdlStatus();
    ULONG ReadText(ULONG (WINAPI *pfn)(LPWSTR, ULONG, ULONG*), std::wstring& text) const;

    bool m_bLoaded = false;
    HMODULE m_hModule = nullptr;
    std::wstring m_tempRoot;
    std::wstring m_storeRoot;
    std::wstring m_statePath;
    std::wstring m_previousState;
    bool m_bHadPreviousState = false;
    bool m_bQdlKeyExisted = false;
    bool m_bQdlStatusExisted = false;
    DWORD m_dwQdlStatus = 0;
};
