#include "SimCommands.h"

#include <cstring>
#include <cwchar>

#include "ConsoleOutput.h"
#include "SampleStore.h"
#include "SimErrors.h"
#include "SimText.h"

namespace
{
const int kRefused = 1;
const int kBadArguments = 2;
// A real modem takes a while to come back after a reset; a new one here does
// too, shorter than the agent's 2 s pause before it turns on GPS tracking.
const ULONG kDefaultResetDelayMs = 1500;

const wchar_t kUsage[] =
    L"usage: tovisim [--state <file>] [--repeat <n>] <command> [arguments]\n"
    L"\n"
    L"The modem's state is shared through a file: --state, else %TOVISIM_STATE%,\n"
    L"else tovisim.state beside ToviApi.dll.\n"
    L"\n"
    L"  create <storeRoot> <runningFolder> [maxPerType]  new modem running that folder's images (8 per type,\n"
    L"                                                   reset delay 1500 ms)\n"
    L"  empty <storeRoot> [maxPerType]                   new modem without images (reset delay 1500 ms)\n"
    L"  store <folder>...                                store folders' images, preference unchanged\n"
    L"  prefer <folder>                                  prefer a folder's stored images and reset\n"
    L"  upgrade <folder> [force]                         UpgradeFirmware3k from a folder\n"
    L"  delete <buildId>                                 delete a stored image\n"
    L"  gps <value>                                      SetPortAutomaticTracking\n"
    L"  show                                             stored images, preference, running pair, firmware\n"
    L"                                                   information, revision, GPS, connected processes,\n"
    L"                                                   last calls\n"
    L"  journal [clear]                                  the calls made to the modem API\n"
    L"  fault <entryPoint> <code> [count|always]         the entry point answers code (count 1)\n"
    L"  rawlist <entryPoint> <hexBytes> [count|always]   a list call answers these bytes\n"
    L"  override <technology> <carrier> <region> <gps>   firmware information override\n"
    L"  clear                                            remove faults, raw lists and the override\n"
    L"  delay <milliseconds>                             time the modem is away after a reset\n"
    L"  removal                                          the modem goes away and comes back\n"
    L"  service [stop]                                   the download service stand-in (or stop it)\n"
    L"  generate <root> [--version N] [--pri-version N] [--folders 0,6,...]\n"
    L"                                                   write a sample host image store\n"
    L"  help, -h, --help                                 this text\n"
    L"\n"
    L"A <folder> without a path separator is a folder name under the modem's image store root.\n"
    L"Numbers are decimal (0x for hexadecimal). prefer, upgrade, delete and gps connect for\n"
    L"their calls and disconnect afterwards, as a program does.\n";

int BadArguments(const wchar_t* message)
{
    CConsoleOutput::Error(L"tovisim: %s\n\n", message);
    CSimCommands::PrintUsage(false);
    return kBadArguments;
}

// The device calls of a command go over a connection of this process, which
// ends with the command.
class CConnection
{
public:
    explicit CConnection(CSimLibrary& library) : m_library(library), m_result(library.pfnQCWWANConnect()) {}
    ~CConnection()
    {
        if (m_result == 0)
            m_library.pfnQCWWANDisconnect();
    }
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;
    ULONG Result() const { return m_result; }

private:
    CSimLibrary& m_library;
    ULONG m_result;
};

bool ParseHexBytes(const std::wstring& text, std::vector<BYTE>& bytes)
{
    std::wstring digits;
    for (wchar_t c : text)
    {
        if (c != L' ' && c != L',' && c != L':' && c != L'-')
            digits += c;
    }
    if (digits.size() % 2 != 0)
        return false;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2)
    {
        wchar_t pair[3] = {digits[i], digits[i + 1], 0};
        wchar_t* end = nullptr;
        unsigned long value = wcstoul(pair, &end, 16);
        if (end != pair + 2)
            return false;
        bytes.push_back((BYTE)value);
    }
    return true;
}
}

void CSimCommands::PrintUsage(bool asked)
{
    if (asked)
        CConsoleOutput::Print(L"%s", kUsage);
    else
        CConsoleOutput::Error(L"%s", kUsage);
}

bool CSimCommands::ParseNumber(const std::wstring& text, ULONG& value)
{
    if (text.empty() || text[0] == L'-' || text[0] == L'+' || iswspace(text[0]))
        return false;
    // A leading zero is no octal prefix: people write "010" for ten.
    bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    if (hex && !iswxdigit(text[2]))
        return false;
    wchar_t* end = nullptr;
    unsigned long long parsed = wcstoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (end == nullptr || *end != L'\0' || parsed > 0xFFFFFFFFull)
        return false;
    value = (ULONG)parsed;
    return true;
}

bool CSimCommands::ParseCount(const std::wstring& text, ULONG& count)
{
    if (text == L"always")
    {
        count = TOVISIM_ALWAYS;
        return true;
    }
    return ParseNumber(text, count);
}

int CSimCommands::Result(const wchar_t* what, ULONG result)
{
    if (result == 0)
        return 0;
    std::wstring meaning = CSimText::FromUtf8(SimError::Meaning(result));
    if (meaning.empty())
        CConsoleOutput::Error(L"tovisim: %s failed: %lu\n", what, result);
    else
        CConsoleOutput::Error(L"tovisim: %s failed: %lu (%s)\n", what, result, meaning.c_str());
    return kRefused;
}

bool CSimCommands::ResolveFolder(const std::wstring& folder, std::wstring& path)
{
    if (folder.find_first_of(L"\\/:") != std::wstring::npos)
    {
        path = folder;
        return true;
    }
    wchar_t root[265] = {};
    ULONG result = m_library.pfnGetImageStoreW(260, root);
    if (result != 0)
    {
        Result(L"GetImageStoreW", result);
        return false;
    }
    path = root;
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    path += L"\\" + folder;
    return true;
}

int CSimCommands::Create(const Args& args)
{
    ULONG maximum = 8;
    if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && !ParseNumber(args[2], maximum)))
        return BadArguments(L"create needs <storeRoot> <runningFolder> [maxPerType]");
    ULONG result = m_library.pfnSimCreateModem(args[0].c_str(), args[1].c_str(), maximum);
    if (result != 0)
        return Result(L"SimCreateModem", result);
    result = m_library.pfnSimSetResetDelay(kDefaultResetDelayMs);
    if (result == 0)
        CConsoleOutput::Print(L"Modem created, running the images of folder %s; a reset takes %lu ms.\n",
                              args[1].c_str(), kDefaultResetDelayMs);
    return Result(L"SimSetResetDelay", result);
}

int CSimCommands::Empty(const Args& args)
{
    ULONG maximum = 8;
    if (args.empty() || args.size() > 2 || (args.size() == 2 && !ParseNumber(args[1], maximum)))
        return BadArguments(L"empty needs <storeRoot> [maxPerType]");
    ULONG result = m_library.pfnSimCreateEmptyModem(args[0].c_str(), maximum);
    if (result != 0)
        return Result(L"SimCreateEmptyModem", result);
    result = m_library.pfnSimSetResetDelay(kDefaultResetDelayMs);
    if (result == 0)
        CConsoleOutput::Print(L"Modem created without images; a reset takes %lu ms.\n", kDefaultResetDelayMs);
    return Result(L"SimSetResetDelay", result);
}

int CSimCommands::Store(const Args& args)
{
    if (args.empty())
        return BadArguments(L"store needs at least one <folder>");
    for (const std::wstring& folder : args)
    {
        std::wstring path;
        if (!ResolveFolder(folder, path))
            return kRefused;
        ULONG result = m_library.pfnSimStoreFolder(path.c_str());
        if (result != 0)
            return Result((L"SimStoreFolder " + path).c_str(), result);
    }
    return 0;
}

int CSimCommands::Prefer(const Args& args)
{
    if (args.size() != 1)
        return BadArguments(L"prefer needs <folder>");
    std::wstring path;
    if (!ResolveFolder(args[0], path))
        return kRefused;
    CConnection connection(m_library);
    if (connection.Result() != 0)
        return Result(L"QCWWANConnect", connection.Result());
    BYTE list[256] = {};
    ULONG size = 0;
    ULONG result = m_library.pfnGetImageIDs(path.c_str(), &size, list);
    if (result != 0)
        return Result(L"GetImageIDs", result);
    BYTE missing[256] = {};
    ULONG count = 2;
    result = m_library.pfnSetImagesPreference(size, list, 0, 0xFF, &count, missing);
    if (result != 0)
        return Result(L"SetImagesPreference", result);
    if (count != 0)
    {
        CConsoleOutput::Error(L"tovisim: %lu image(s) of %s are not stored; store or upgrade first\n", count,
                              path.c_str());
        return kRefused;
    }
    result = m_library.pfnResetDevice();
    if (result == 0)
        CConsoleOutput::Print(L"Preferred the images of %s; the modem reset.\n", path.c_str());
    return Result(L"ResetDevice", result);
}

int CSimCommands::Upgrade(const Args& args)
{
    if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != L"force"))
        return BadArguments(L"upgrade needs <folder> [force]");
    std::wstring path;
    if (!ResolveFolder(args[0], path))
        return kRefused;
    CConnection connection(m_library);
    if (connection.Result() != 0)
        return Result(L"QCWWANConnect", connection.Result());
    ULONG result = m_library.pfnUpgradeFirmware3k(path.c_str(), args.size() == 2 ? 1 : 0);
    if (result == 0)
        CConsoleOutput::Print(L"Upgraded from %s; the modem reset.\n", path.c_str());
    return Result(L"UpgradeFirmware3k", result);
}

int CSimCommands::Delete(const Args& args)
{
    if (args.size() != 1)
        return BadArguments(L"delete needs <buildId>");
    std::string wanted = CSimText::ToAnsi(args[0]);
    CConnection connection(m_library);
    if (connection.Result() != 0)
        return Result(L"QCWWANConnect", connection.Result());
    std::vector<BYTE> list(2560);
    ULONG size = (ULONG)list.size();
    ULONG result = m_library.pfnGetStoredImages(&size, &list[0]);
    if (result != 0)
        return Result(L"GetStoredImages", result);
    // A raw list longer than the buffer comes back cut, its count still the
    // full length: only what the buffer holds is read.
    if (size > list.size())
        size = (ULONG)list.size();
    // Number of lists, then per list a 4-byte header and its entries.
    size_t pos = 1;
    for (BYTE n = 0; size > 0 && n < list[0] && pos + 4 <= size; ++n)
    {
        BYTE type = list[pos];
        BYTE entries = list[pos + 3];
        pos += 4;
        for (BYTE e = 0; e < entries && pos + 19 <= size; ++e)
        {
            BYTE length = list[pos + 18];
            if (pos + 19 + length > size)
                break;
            std::string buildId(reinterpret_cast<const char*>(&list[pos + 19]), length);
            if (buildId == wanted)
            {
                std::vector<BYTE> record(18 + length);
                record[0] = type;
                std::memcpy(&record[1], &list[pos + 2], 17 + length);
                result = m_library.pfnDeleteStoredImage((ULONG)record.size(), &record[0]);
                if (result == 0)
                    CConsoleOutput::Print(L"Deleted %s.\n", args[0].c_str());
                return Result(L"DeleteStoredImage", result);
            }
            pos += 19 + length;
        }
    }
    CConsoleOutput::Error(L"tovisim: no stored image has the build ID %s\n", args[0].c_str());
    return kRefused;
}

int CSimCommands::Gps(const Args& args)
{
    ULONG value = 0;
    if (args.size() != 1 || !ParseNumber(args[0], value))
        return BadArguments(L"gps needs <value>");
    CConnection connection(m_library);
    if (connection.Result() != 0)
        return Result(L"QCWWANConnect", connection.Result());
    return Result(L"SetPortAutomaticTracking", m_library.pfnSetPortAutomaticTracking(value));
}

int CSimCommands::Show(const Args& args)
{
    if (!args.empty())
        return BadArguments(L"show takes no arguments");
    ULONG result = 0;
    std::wstring text = m_library.ReadText(m_library.pfnSimDescribe, &result);
    CConsoleOutput::Print(L"%s", text.c_str());
    return Result(L"SimDescribe", result);
}

int CSimCommands::Journal(const Args& args)
{
    if (args.size() == 1 && args[0] == L"clear")
        return Result(L"SimClearJournal", m_library.pfnSimClearJournal());
    if (!args.empty())
        return BadArguments(L"journal takes nothing or \"clear\"");
    ULONG result = 0;
    std::wstring text = m_library.ReadText(m_library.pfnSimGetJournal, &result);
    CConsoleOutput::Print(L"%s", text.c_str());
    return Result(L"SimGetJournal", result);
}

int CSimCommands::Fault(const Args& args)
{
    ULONG code = 0, count = 1;
    if (args.size() < 2 || args.size() > 3 || !ParseNumber(args[1], code) ||
        (args.size() == 3 && !ParseCount(args[2], count)))
        return BadArguments(L"fault needs <entryPoint> <code> [count|always]");
    std::string entry = CSimText::ToAnsi(args[0]);
    ULONG result = m_library.pfnSimSetFault(entry.c_str(), code, count);
    if (result == ERROR_INVALID_PARAMETER)
        return BadArguments((L"no modem API entry point is called " + args[0]).c_str());
    return Result(L"SimSetFault", result);
}

int CSimCommands::RawList(const Args& args)
{
    ULONG count = 1;
    std::vector<BYTE> bytes;
    if (args.size() < 2 || args.size() > 3 || !ParseHexBytes(args[1], bytes) ||
        (args.size() == 3 && !ParseCount(args[2], count)))
        return BadArguments(L"rawlist needs <entryPoint> <hexBytes> [count|always]");
    std::string entry = CSimText::ToAnsi(args[0]);
    ULONG result = m_library.pfnSimSetRawList(entry.c_str(), bytes.empty() ? nullptr : &bytes[0],
                                              (ULONG)bytes.size(), count);
    if (result == ERROR_INVALID_PARAMETER)
        return BadArguments(L"rawlist takes GetImagesPreference, GetStoredImages or GetImageIDs");
    return Result(L"SimSetRawList", result);
}

int CSimCommands::Override(const Args& args)
{
    ULONG values[4] = {};
    bool valid = args.size() == 4;
    for (size_t i = 0; valid && i < 4; ++i)
        valid = ParseNumber(args[i], values[i]);
    if (!valid)
        return BadArguments(L"override needs <technology> <carrier> <region> <gps>");
    return Result(L"SimOverrideFirmwareInfo",
                  m_library.pfnSimOverrideFirmwareInfo(values[0], values[1], values[2], values[3]));
}

int CSimCommands::Clear(const Args& args)
{
    if (!args.empty())
        return BadArguments(L"clear takes no arguments");
    return Result(L"SimClearFaults", m_library.pfnSimClearFaults());
}

int CSimCommands::Delay(const Args& args)
{
    ULONG milliseconds = 0;
    if (args.size() != 1 || !ParseNumber(args[0], milliseconds))
        return BadArguments(L"delay needs <milliseconds>");
    return Result(L"SimSetResetDelay", m_library.pfnSimSetResetDelay(milliseconds));
}

int CSimCommands::Removal(const Args& args)
{
    if (!args.empty())
        return BadArguments(L"removal takes no arguments");
    return Result(L"SimSimulateRemoval", m_library.pfnSimSimulateRemoval());
}

int CSimCommands::Generate(const Args& args)
{
    if (args.empty())
        return BadArguments(L"generate needs <root>");
    SampleStoreOptions options;
    for (size_t i = 1; i < args.size(); i += 2)
    {
        if (i + 1 >= args.size())
            return BadArguments((args[i] + L" needs a value").c_str());
        const std::wstring& value = args[i + 1];
        if (args[i] == L"--version")
        {
            if (!ParseNumber(value, options.modemVersion))
                return BadArguments(L"--version needs a number");
        }
        else if (args[i] == L"--pri-version")
        {
            if (!ParseNumber(value, options.priVersion))
                return BadArguments(L"--pri-version needs a number");
        }
        else if (args[i] == L"--folders")
        {
            size_t start = 0;
            while (start <= value.size())
            {
                size_t comma = value.find(L',', start);
                std::wstring item = value.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
                ULONG folder = 0;
                if (!ParseNumber(item, folder) || folder > 16)
                    return BadArguments(L"--folders takes numbers from 0 to 16, separated by commas");
                options.folders.push_back((int)folder);
                if (comma == std::wstring::npos)
                    break;
                start = comma + 1;
            }
        }
        else
            return BadArguments((L"unknown option " + args[i]).c_str());
    }
    if (!WriteSampleStore(args[0], options))
    {
        CConsoleOutput::Error(L"tovisim: could not write the sample store under %s\n", args[0].c_str());
        return kRefused;
    }
    std::vector<int> folders = options.folders;
    if (folders.empty())
        for (int folder = 0; folder <= 16; ++folder)
            folders.push_back(folder);
    for (int number : folders)
    {
        SampleFolder folder = DescribeSampleFolder(number, options.modemVersion, options.priVersion);
        CConsoleOutput::Print(L"%2d  carrier %3lu  AMSS.mbn %-22s  %s %-18s version ID %08lX\n", number,
                              folder.carrierId, CSimText::FromAnsi(folder.modem.buildId).c_str(),
                              folder.pri.fileName.c_str(), CSimText::FromAnsi(folder.pri.buildId).c_str(),
                              folder.pri.versionId);
    }
    return 0;
}
