// Feeds arbitrary UTF-16 command lines to the argument splitting and the switch
// table. Besides memory errors it checks that arguments written back with the
// runtime's quoting split into the same arguments again, and that the table
// keeps what its rules promise: one entry per distinct switch token, each with
// at least one text, the first value being the text that followed the switch's
// first occurrence when that was a plain token.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "app/CommandLineArgs.h"
#include "app/SwitchTable.h"

namespace
{
void Require(bool bCondition)
{
    if (!bCondition)
        abort();
}

std::wstring Utf16Text(const uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2)
    {
        wchar_t ch = (wchar_t)(data[i] | (data[i + 1] << 8));
        if (ch == 0)
            break;
        text += ch;
    }
    return text;
}

// The quoting that makes the runtime give back exactly this argument.
std::wstring Quote(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    size_t nBackslashes = 0;
    for (wchar_t ch : argument)
    {
        if (ch == L'\\')
        {
            ++nBackslashes;
            continue;
        }
        if (ch == L'"')
            quoted.append(nBackslashes * 2 + 1, L'\\');
        else
            quoted.append(nBackslashes, L'\\');
        nBackslashes = 0;
        quoted += ch;
    }
    quoted.append(nBackslashes * 2, L'\\');
    return quoted + L"\"";
}

void CheckRoundTrip(const std::vector<std::wstring>& arguments)
{
    std::wstring line = L"prog";
    for (size_t i = 1; i < arguments.size(); ++i)
        line += L" " + Quote(arguments[i]);
    std::vector<std::wstring> again = SplitCommandLine(line.c_str());
    again[0] = arguments[0];
    Require(again == arguments);
}

void CheckTable(const std::vector<std::wstring>& arguments)
{
    CSwitchTable table;
    int nCount = table.ParseArguments(arguments);
    Require(nCount == table.GetCount());

    std::set<std::wstring> seen;
    for (size_t i = 1; i < arguments.size(); ++i)
    {
        const std::wstring& argument = arguments[i];
        if (!CSwitchTable::IsSwitchToken(argument))
            continue;
        Require(table.HasSwitch(argument));
        Require(!table.GetSwitchValues(argument).empty());
        if (seen.insert(argument).second)
        {
            bool bHasValue = i + 1 < arguments.size() && !CSwitchTable::IsSwitchToken(arguments[i + 1]);
            Require(table.GetSwitchValue(argument) == (bHasValue ? arguments[i + 1] : std::wstring()));
        }
        if (i + 1 < arguments.size() && !CSwitchTable::IsSwitchToken(arguments[i + 1]))
            ++i;  // a switch's value is never a key, even when it starts with '-'
    }
    Require(seen.size() == (size_t)nCount);
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring line = Utf16Text(data, size);
    const std::vector<std::wstring> arguments = SplitCommandLine(line.c_str());
    Require(!arguments.empty());
    CheckRoundTrip(arguments);
    CheckTable(arguments);

    CSwitchTable table;
    Require(table.Parse(line.c_str()) == table.GetCount());
    return 0;
}
