#include "app/CommandLineArgs.h"

namespace
{
bool IsSeparator(wchar_t ch)
{
    return ch == L' ' || ch == L'\t';
}

// The program's name: quotes toggle grouping and are dropped, nothing escapes.
const wchar_t* ReadProgramName(const wchar_t* p, std::wstring& name)
{
    bool bInQuotes = false;
    for (; *p != L'\0'; ++p)
    {
        if (*p == L'"')
            bInQuotes = !bInQuotes;
        else if (!bInQuotes && IsSeparator(*p))
            break;
        else
            name += *p;
    }
    return p;
}

const wchar_t* ReadArgument(const wchar_t* p, std::wstring& argument)
{
    bool bInQuotes = false;
    for (;;)
    {
        size_t nBackslashes = 0;
        while (*p == L'\\')
        {
            ++p;
            ++nBackslashes;
        }

        bool bCopy = true;
        if (*p == L'"')
        {
            if (nBackslashes % 2 == 0)
            {
                if (bInQuotes && p[1] == L'"')
                    ++p;  // the second quote of a pair is kept, the part goes on
                else
                {
                    bCopy = false;
                    bInQuotes = !bInQuotes;
                }
            }
            nBackslashes /= 2;
        }
        argument.append(nBackslashes, L'\\');

        if (*p == L'\0' || (!bInQuotes && IsSeparator(*p)))
            return p;
        if (bCopy)
            argument += *p;
        ++p;
    }
}
}

std::vector<std::wstring> SplitCommandLine(const wchar_t* pszCommandLine)
{
    std::vector<std::wstring> arguments(1);
    const wchar_t* p = pszCommandLine != nullptr ? pszCommandLine : L"";
    p = ReadProgramName(p, arguments[0]);
    for (;;)
    {
        while (IsSeparator(*p))
            ++p;
        if (*p == L'\0')
            return arguments;
        arguments.emplace_back();
        p = ReadArgument(p, arguments.back());
    }
}
