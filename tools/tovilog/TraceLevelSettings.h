#pragma once
// The trace settings that "tovilog level" writes under the program key
// "Software\DiroDuzUvevo\ToviImgMgr" (HKEY_CURRENT_USER, or HKEY_LOCAL_MACHINE
// in both registry views, so the 32-bit deliverable and a 64-bit build read
// them alike). These are the only values it writes, and the only ones
// "--reset" removes.
#include <windows.h>

#include <string>
#include <vector>

class CTraceLevelSettings
{
public:
    enum Threshold
    {
        BOTH,
        FILE_ONLY,
        DEBUG_ONLY
    };

    struct ClassSetting
    {
        std::wstring name;  // as the registry spells it: "TBCT_INFO"
        bool bEnabled;
    };

    // "TBDOL_TRACE" (any case), "trace", "information"/"info", "error", "none" or 0..3;
    // the registry's spelling of the level, or false.
    static bool ParseLevel(const std::wstring& text, std::wstring* pName);
    // "NAME=on|off" (also 1|0) for the five classes with a registry value.
    static bool ParseClass(const std::wstring& text, ClassSetting* pSetting);

    explicit CTraceLevelSettings(bool bMachine) : m_bMachine(bMachine) {}

    // Writes the level (when not empty) and the class enables; false with the
    // reason in *pError.
    bool Write(const std::wstring& levelName, Threshold threshold, const std::vector<ClassSetting>& classes,
               std::wstring* pError) const;
    // Removes the values the tool writes; those that were there are listed.
    bool Remove(std::vector<std::wstring>* pRemoved, std::wstring* pError) const;
    // Values under HKEY_CURRENT_USER that win over these ones (only for --machine).
    std::vector<std::wstring> ShadowingUserValues(const std::wstring& levelName, Threshold threshold,
                                                  const std::vector<ClassSetting>& classes) const;
    std::wstring Where() const;

    static const wchar_t* const ProgramKey;
    // Every value name the tool writes.
    static std::vector<std::wstring> ValueNames();

private:
    std::vector<REGSAM> Views() const;
    HKEY Root() const { return m_bMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

    bool m_bMachine;
};
