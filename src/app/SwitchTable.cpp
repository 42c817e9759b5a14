#include "app/SwitchTable.h"

#include "app/CommandLineArgs.h"

int CSwitchTable::Parse(const wchar_t* pszCommandLine)
{
    return ParseArguments(SplitCommandLine(pszCommandLine));
}

int CSwitchTable::ParseArguments(const std::vector<std::wstring>& arguments)
{
    m_mapSwitches.clear();
    std::wstring csCurrent;
    // The first argument is the program's own name.
    for (size_t i = 1; i < arguments.size(); ++i)
    {
        const std::wstring& csArgument = arguments[i];
        if (IsSwitchToken(csArgument))
        {
            csCurrent = csArgument;
            std::wstring csValue;
            if (i + 1 < arguments.size() && !IsSwitchToken(arguments[i + 1]))
                csValue = arguments[++i];
            // A repeated switch keeps its first value; its own value is used up.
            m_mapSwitches.emplace(csCurrent, std::vector<std::wstring>(1, csValue));
        }
        else
        {
            // Plain tokens after a switch's value join its list; before any
            // switch they belong to nothing.
            auto entry = m_mapSwitches.find(csCurrent);
            if (entry != m_mapSwitches.end())
                entry->second.push_back(csArgument);
        }
    }
    return GetCount();
}

bool CSwitchTable::HasSwitch(const std::wstring& csName) const
{
    return m_mapSwitches.find(csName) != m_mapSwitches.end();
}

std::wstring CSwitchTable::GetSwitchValue(const std::wstring& csName) const
{
    auto entry = m_mapSwitches.find(csName);
    if (entry == m_mapSwitches.end() || entry->second.empty())
        throw 0;
    return entry->second.front();
}

std::vector<std::wstring> CSwitchTable::GetSwitchValues(const std::wstring& csName) const
{
    auto entry = m_mapSwitches.find(csName);
    if (entry == m_mapSwitches.end())
        return std::vector<std::wstring>();
    return entry->second;
}

bool CSwitchTable::IsSwitchToken(const std::wstring& csArgument)
{
    return csArgument.size() >= 2 && csArgument[0] == L'-' && !(csArgument[1] >= L'0' && csArgument[1] <= L'9');
}
