#include "ModemState.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace
{
const char kHeader[] = "TOVISIM-STATE 1";

std::string Hex(const uint8_t* data, size_t size)
{
    if (size == 0)
        return "-";
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < size; ++i)
    {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 15];
    }
    return text;
}

std::string Hex(const std::string& bytes)
{
    return Hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Unhex(const std::string& text, std::string& bytes)
{
    bytes.clear();
    if (text == "-")
        return true;
    if (text.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < text.size(); i += 2)
    {
        int high = HexDigit(text[i]);
        int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes += (char)(high * 16 + low);
    }
    return true;
}

bool ParseNumber(const std::string& text, uint64_t& value, int base = 10)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, base);
    return end != nullptr && *end == '\0';
}

bool ParseU32(const std::string& text, uint32_t& value, int base = 10)
{
    uint64_t wide = 0;
    if (!ParseNumber(text, wide, base) || wide > 0xFFFFFFFFull)
        return false;
    value = (uint32_t)wide;
    return true;
}

bool ParseCount(const std::string& text, uint32_t& value)
{
    if (text == "always")
    {
        value = CModemState::kAlways;
        return true;
    }
    return ParseU32(text, value);
}

std::string CountText(uint32_t count)
{
    return count == CModemState::kAlways ? "always" : std::to_string(count);
}

std::string ImageFields(const SimImage& image)
{
    char version[12];
    snprintf(version, sizeof(version), "%08X", image.versionId);
    return std::to_string(image.type) + " " + Hex(image.imageId, sizeof(image.imageId)) + " " + version + " " +
           Hex(image.buildId);
}

// Reads "<type> <image ID> <version ID> <build ID>" from fields[first...].
bool ParseImage(const std::vector<std::string>& fields, size_t first, SimImage& image)
{
    if (fields.size() != first + 4)
        return false;
    uint32_t type = 0;
    std::string id;
    if (!ParseU32(fields[first], type) || type > 0xFF || !Unhex(fields[first + 1], id) || id.size() != 16 ||
        !ParseU32(fields[first + 2], image.versionId, 16) || !Unhex(fields[first + 3], image.buildId))
        return false;
    image.type = (uint8_t)type;
    for (size_t i = 0; i < 16; ++i)
        image.imageId[i] = (uint8_t)id[i];
    return true;
}

std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (in >> field)
        fields.push_back(field);
    return fields;
}

// The part of the line after its first field and one blank.
std::string RestOfLine(const std::string& line)
{
    size_t blank = line.find(' ');
    return blank == std::string::npos ? std::string() : line.substr(blank + 1);
}
}

void CModemState::Reset()
{
    std::vector<uint32_t> keptListeners = listeners;
    std::vector<SimConnection> keptConnections = connections;
    *this = CModemState();
    listeners = keptListeners;
    connections = keptConnections;
}

void CModemState::AddJournalLine(const std::string& line)
{
    std::string clean(line);
    for (char& c : clean)
    {
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    }
    journal.push_back(clean);
    while (journal.size() > kJournalLimit)
        journal.pop_front();
}

std::string CModemState::Serialize() const
{
    std::ostringstream out;
    out << kHeader << "\n";
    out << "modem " << (present ? "present" : "absent") << "\n";
    out << "root " << root << "\n";
    out << "max " << maxImagesPerType << "\n";
    out << "delay " << resetDelayMs << "\n";
    out << "away " << awayUntil << "\n";
    out << "gps " << gpsTracking << "\n";
    out << "seq " << nextSequence << "\n";
    if (overrideSet)
        out << "override " << overrideInfo[0] << " " << overrideInfo[1] << " " << overrideInfo[2] << " "
            << overrideInfo[3] << "\n";
    for (const SimSlotImage& stored : images)
    {
        char version[12];
        snprintf(version, sizeof(version), "%08X", stored.image.versionId);
        out << "image " << (unsigned)stored.image.type << " " << (unsigned)stored.slot << " "
            << (unsigned)stored.failureCount << " " << stored.sequence << " " << Hex(stored.image.imageId, 16)
            << " " << version << " " << Hex(stored.image.buildId) << "\n";
    }
    for (int type = 0; type < 2; ++type)
    {
        if (hasPreferred[type])
            out << "preferred " << ImageFields(preferred[type]) << "\n";
        if (hasRunning[type])
            out << "running " << ImageFields(running[type]) << "\n";
    }
    for (const SimFault& fault : faults)
        out << "fault " << fault.entryPoint << " " << fault.code << " " << CountText(fault.count) << "\n";
    for (const SimRawList& raw : rawLists)
        out << "raw " << raw.entryPoint << " " << CountText(raw.count) << " "
            << Hex(raw.bytes.empty() ? nullptr : &raw.bytes[0], raw.bytes.size()) << "\n";
    for (uint32_t pid : listeners)
        out << "listener " << pid << "\n";
    for (const SimConnection& c : connections)
        out << "connection " << c.processId << " " << c.processStart << " " << c.load << " "
            << (c.program.empty() ? "-" : c.program) << "\n";
    for (const std::string& line : journal)
        out << "journal " << line << "\n";
    out << "end\n";
    return out.str();
}

bool CModemState::Parse(const std::string& text)
{
    CModemState state;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kHeader)
        return false;
    bool complete = false;
    while (std::getline(in, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> f = SplitFields(line);
        if (f.empty())
            continue;
        const std::string& key = f[0];
        bool ok = true;
        if (key == "end")
        {
            complete = true;
            break;
        }
        else if (key == "modem")
        {
            ok = f.size() == 2 && (f[1] == "present" || f[1] == "absent");
            state.present = ok && f[1] == "present";
        }
        else if (key == "root")
            state.root = RestOfLine(line);
        else if (key == "max")
            ok = f.size() == 2 && ParseU32(f[1], state.maxImagesPerType);
        else if (key == "delay")
            ok = f.size() == 2 && ParseU32(f[1], state.resetDelayMs);
        else if (key == "away")
            ok = f.size() == 2 && ParseNumber(f[1], state.awayUntil);
        else if (key == "gps")
            ok = f.size() == 2 && ParseU32(f[1], state.gpsTracking);
        else if (key == "seq")
            ok = f.size() == 2 && ParseU32(f[1], state.nextSequence);
        else if (key == "override")
        {
            ok = f.size() == 5;
            for (int i = 0; ok && i < 4; ++i)
                ok = ParseU32(f[1 + i], state.overrideInfo[i]);
            state.overrideSet = ok;
        }
        else if (key == "image")
        {
            SimSlotImage stored;
            uint32_t type = 0, slot = 0, failures = 0;
            ok = f.size() == 8 && ParseU32(f[1], type) && ParseU32(f[2], slot) && slot <= 0xFF &&
                 ParseU32(f[3], failures) && failures <= 0xFF && ParseU32(f[4], stored.sequence);
            std::vector<std::string> imageFields = {f[1]};
            if (ok)
            {
                imageFields.insert(imageFields.end(), f.begin() + 5, f.end());
                ok = ParseImage(imageFields, 0, stored.image);
            }
            stored.slot = (uint8_t)slot;
            stored.failureCount = (uint8_t)failures;
            if (ok)
                state.images.push_back(stored);
        }
        else if (key == "preferred" || key == "running")
        {
            SimImage image;
            ok = ParseImage(f, 1, image) && image.type < 2;
            if (ok && key == "preferred")
            {
                state.hasPreferred[image.type] = true;
                state.preferred[image.type] = image;
            }
            else if (ok)
            {
                state.hasRunning[image.type] = true;
                state.running[image.type] = image;
            }
        }
        else if (key == "fault")
        {
            SimFault fault;
            ok = f.size() == 4 && ParseU32(f[2], fault.code) && ParseCount(f[3], fault.count);
            fault.entryPoint = ok ? f[1] : "";
            if (ok)
                state.faults.push_back(fault);
        }
        else if (key == "raw")
        {
            SimRawList raw;
            std::string bytes;
            ok = f.size() == 4 && ParseCount(f[2], raw.count) && Unhex(f[3], bytes);
            if (ok)
            {
                raw.entryPoint = f[1];
                raw.bytes.assign(bytes.begin(), bytes.end());
                state.rawLists.push_back(raw);
            }
        }
        else if (key == "listener")
        {
            uint32_t pid = 0;
            ok = f.size() == 2 && ParseU32(f[1], pid);
            if (ok)
                state.listeners.push_back(pid);
        }
        else if (key == "connection")
        {
            // The program's name is the rest of the line: it may hold blanks.
            SimConnection c;
            ok = f.size() >= 5 && ParseU32(f[1], c.processId) && ParseNumber(f[2], c.processStart) &&
                 ParseNumber(f[3], c.load);
            if (ok)
            {
                size_t pos = 0;
                for (int field = 0; field < 4 && pos != std::string::npos; ++field)
                    pos = line.find(' ', pos + (field ? 1 : 0));
                c.program = pos == std::string::npos ? std::string() : line.substr(pos + 1);
                if (c.program == "-")
                    c.program.clear();
                state.connections.push_back(c);
            }
        }
        else if (key == "journal")
            state.journal.push_back(RestOfLine(line));
        else
            ok = false;
        if (!ok)
            return false;
    }
    if (!complete)
        return false;
    *this = state;
    return true;
}
