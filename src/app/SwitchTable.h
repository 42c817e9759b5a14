#pragma once
// The command line's switches, each with the texts that followed it. The table
// holds text only: which switches exist and what their values mean is the
// caller's business. Everything but Parse() is free of Windows headers.
#include <map>
#include <string>
#include <vector>

class CSwitchTable
{
public:
    // Fills the table from the process's own command line; the number of
    // distinct switches.
    int Parse();
    // The same for a full command line, program name first.
    int Parse(const wchar_t* pszCommandLine);
    // The same for an argument vector whose first element is the program name.
    int ParseArguments(const std::vector<std::wstring>& arguments);

    // Exact, case-sensitive match of the whole switch token, '-' included.
    bool HasSwitch(const std::wstring& csName) const;
    // The first text that followed the switch. Throws the int 0 when the
    // switch is absent or has no text: the program's one exception.
    std::wstring GetSwitchValue(const std::wstring& csName) const;
    // Every text kept for the switch, in order; empty when it is absent.
    std::vector<std::wstring> GetSwitchValues(const std::wstring& csName) const;
    int GetCount() const { return static_cast<int>(m_mapSwitches.size()); }

    // At least two characters, a '-' and then anything but a decimal digit, so
    // that "-5" or "-12abc" can be values.
    static bool IsSwitchToken(const std::wstring& csArgument);

private:
    std::map<std::wstring, std::vector<std::wstring>> m_mapSwitches;
};
