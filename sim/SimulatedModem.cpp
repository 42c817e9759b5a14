#include "SimulatedModem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "SimErrors.h"

namespace
{
const char* const kTypeNames[2] = {"modem", "PRI"};

void AppendEntry(std::vector<uint8_t>& bytes, const SimImage& image)
{
    bytes.insert(bytes.end(), image.imageId, image.imageId + 16);
    bytes.push_back((uint8_t)image.buildId.size());
    bytes.insert(bytes.end(), image.buildId.begin(), image.buildId.end());
}

std::string Printable(const std::string& bytes)
{
    std::string text(bytes);
    for (char& c : text)
    {
        if ((unsigned char)c < 0x20 || (unsigned char)c > 0x7E)
            c = '?';
    }
    return text;
}
}

const SimSlotImage* CSimulatedModem::FindStored(const SimImage& image) const
{
    for (const SimSlotImage& stored : m_state.images)
    {
        if (stored.image.SameAs(image))
            return &stored;
    }
    return nullptr;
}

bool CSimulatedModem::IsPinned(const SimImage& image) const
{
    if (image.type > 1)
        return false;
    return (m_state.hasRunning[image.type] && m_state.running[image.type].SameAs(image)) ||
           (m_state.hasPreferred[image.type] && m_state.preferred[image.type].SameAs(image));
}

std::vector<const SimSlotImage*> CSimulatedModem::StoredOfType(uint8_t type) const
{
    std::vector<const SimSlotImage*> result;
    for (const SimSlotImage& stored : m_state.images)
    {
        if (stored.image.type == type)
            result.push_back(&stored);
    }
    std::sort(result.begin(), result.end(),
              [](const SimSlotImage* a, const SimSlotImage* b) { return a->slot < b->slot; });
    return result;
}

int CSimulatedModem::FreeSlot(uint8_t type) const
{
    for (uint32_t slot = 0; slot < m_state.maxImagesPerType && slot < 0xFF; ++slot)
    {
        bool used = false;
        for (const SimSlotImage& stored : m_state.images)
            used = used || (stored.image.type == type && stored.slot == slot);
        if (!used)
            return (int)slot;
    }
    return -1;
}

uint32_t CSimulatedModem::StoreImages(const std::vector<SimImage>& images, bool force,
                                      std::vector<uint8_t>* storedTypes)
{
    for (const SimImage& image : images)
    {
        if (image.type > 1 || image.buildId.size() > kMaxBuildIdLength)
            return SimError::kBadFormat;
    }
    // Plan first, so that a type without room changes nothing.
    std::vector<SimImage> toRewrite, toAdd;
    for (const SimImage& image : images)
    {
        bool duplicate = false;
        for (const SimImage& planned : toAdd)
            duplicate = duplicate || planned.SameAs(image);
        if (duplicate)
            continue;
        if (FindStored(image) == nullptr)
            toAdd.push_back(image);
        else if (force)
            toRewrite.push_back(image);
    }
    std::vector<size_t> evict;  // indices into m_state.images
    for (uint8_t type = 0; type < 2; ++type)
    {
        size_t needed = std::count_if(toAdd.begin(), toAdd.end(), [type](const SimImage& i) { return i.type == type; });
        size_t used = StoredOfType(type).size();
        size_t free = used < m_state.maxImagesPerType ? m_state.maxImagesPerType - used : 0;
        if (needed <= free)
            continue;
        std::vector<size_t> candidates;
        for (size_t i = 0; i < m_state.images.size(); ++i)
        {
            const SimImage& stored = m_state.images[i].image;
            bool inUse = IsPinned(stored);
            for (const SimImage& image : images)
                inUse = inUse || image.SameAs(stored);
            if (stored.type == type && !inUse)
                candidates.push_back(i);
        }
        std::sort(candidates.begin(), candidates.end(), [this](size_t a, size_t b) {
            return m_state.images[a].sequence < m_state.images[b].sequence;
        });
        if (candidates.size() < needed - free)
            return SimError::kStoreFull;
        evict.insert(evict.end(), candidates.begin(), candidates.begin() + (needed - free));
    }

    std::sort(evict.rbegin(), evict.rend());
    for (size_t index : evict)
        m_state.images.erase(m_state.images.begin() + index);
    for (const SimImage& image : toRewrite)
    {
        for (SimSlotImage& stored : m_state.images)
        {
            if (stored.image.SameAs(image))
            {
                stored.image = image;
                stored.failureCount = 0;
                stored.sequence = m_state.nextSequence++;
            }
        }
        if (storedTypes)
            storedTypes->push_back(image.type);
    }
    for (const SimImage& image : toAdd)
    {
        SimSlotImage stored;
        stored.image = image;
        stored.slot = (uint8_t)FreeSlot(image.type);
        stored.sequence = m_state.nextSequence++;
        m_state.images.push_back(stored);
        if (storedTypes)
            storedTypes->push_back(image.type);
    }
    return SimError::kNone;
}

uint32_t CSimulatedModem::SetPreference(const std::vector<SimImage>& images, bool force,
                                        std::vector<uint8_t>& missingTypes)
{
    missingTypes.clear();
    if (images.empty() || images.size() > 2)
        return SimError::kInvalidParameter;
    for (const SimImage& image : images)
    {
        if (image.type > 1)
            return SimError::kInvalidParameter;
    }
    if (images.size() == 2 && images[0].type == images[1].type)
        return SimError::kInvalidParameter;
    for (const SimImage& image : images)
    {
        if (force || FindStored(image) == nullptr)
            missingTypes.push_back(image.type);
    }
    if (!missingTypes.empty())
        return SimError::kNone;
    for (const SimImage& image : images)
    {
        m_state.hasPreferred[image.type] = true;
        m_state.preferred[image.type] = FindStored(image)->image;  // with its version ID
    }
    return SimError::kNone;
}

void CSimulatedModem::Restart()
{
    for (int type = 0; type < 2; ++type)
    {
        m_state.hasRunning[type] = m_state.hasPreferred[type];
        if (m_state.hasPreferred[type])
            m_state.running[type] = m_state.preferred[type];
    }
}

uint32_t CSimulatedModem::Delete(const SimImage& image)
{
    if (image.type > 1)
        return SimError::kInvalidParameter;
    for (size_t i = 0; i < m_state.images.size(); ++i)
    {
        if (!m_state.images[i].image.SameAs(image))
            continue;
        if (IsPinned(image))
            return SimError::kImageInUse;
        m_state.images.erase(m_state.images.begin() + i);
        return SimError::kNone;
    }
    return SimError::kNotFound;
}

void CSimulatedModem::FirmwareInfo(uint32_t& firmwareId, SimIdentity& identity, std::string* source) const
{
    firmwareId = m_state.hasRunning[0] ? CSimCatalog::VersionNumber(m_state.running[0].buildId) : 0;
    identity = SimIdentity();
    const char* from = "no running image";
    if (m_state.overrideSet)
    {
        identity.technology = m_state.overrideInfo[0];
        identity.carrierId = m_state.overrideInfo[1];
        identity.region = m_state.overrideInfo[2];
        identity.gps = m_state.overrideInfo[3];
        from = "override";
    }
    else if (m_state.hasRunning[1] && CSimCatalog::DecodePriVersionId(m_state.running[1].versionId, identity))
        from = "running PRI image";
    else if (m_state.hasRunning[0] && CSimCatalog::DecodeModemBuildId(m_state.running[0].buildId, identity))
        from = "running modem image";
    else
        identity = SimIdentity();
    if (source)
        *source = from;
}

std::string CSimulatedModem::Revision() const
{
    char text[80];
    snprintf(text, sizeof(text), "%08X TOVISIM %s", m_state.hasRunning[1] ? m_state.running[1].versionId : 0u,
             m_state.hasRunning[0] ? Printable(m_state.running[0].buildId).c_str() : "-");
    return text;
}

std::vector<uint8_t> CSimulatedModem::PreferenceList() const
{
    std::vector<SimImage> images;
    for (int type = 0; type < 2; ++type)
    {
        if (m_state.hasPreferred[type])
            images.push_back(m_state.preferred[type]);
    }
    return EncodePreferenceList(images);
}

std::vector<uint8_t> CSimulatedModem::StoredList() const
{
    std::vector<uint8_t> bytes;
    bytes.push_back(2);
    for (uint8_t type = 0; type < 2; ++type)
    {
        std::vector<const SimSlotImage*> stored = StoredOfType(type);
        uint8_t executing = 0xFF;
        for (const SimSlotImage* image : stored)
        {
            if (m_state.hasRunning[type] && m_state.running[type].SameAs(image->image))
                executing = image->slot;
        }
        bytes.push_back(type);
        bytes.push_back((uint8_t)std::min<uint32_t>(m_state.maxImagesPerType, 0xFF));
        bytes.push_back(executing);
        bytes.push_back((uint8_t)stored.size());
        for (const SimSlotImage* image : stored)
        {
            bytes.push_back(image->slot);
            bytes.push_back(image->failureCount);
            AppendEntry(bytes, image->image);
        }
    }
    return bytes;
}

std::vector<uint8_t> CSimulatedModem::EncodePreferenceList(const std::vector<SimImage>& images)
{
    std::vector<uint8_t> bytes;
    bytes.push_back((uint8_t)images.size());
    for (const SimImage& image : images)
    {
        bytes.push_back(image.type);
        AppendEntry(bytes, image);
    }
    return bytes;
}

bool CSimulatedModem::ParsePreferenceList(const uint8_t* data, size_t size, std::vector<SimImage>& images)
{
    images.clear();
    if (data == nullptr || size < 1)
        return false;
    size_t pos = 1;
    for (uint8_t i = 0; i < data[0]; ++i)
    {
        SimImage image;
        if (pos + 18 > size || pos + 18 + data[pos + 17] > size)
            return false;
        if (!ParseImageRecord(data + pos, 18 + data[pos + 17], image))
            return false;
        images.push_back(image);
        pos += 18 + image.buildId.size();
    }
    return pos == size;
}

bool CSimulatedModem::ParseImageRecord(const uint8_t* data, size_t size, SimImage& image)
{
    if (data == nullptr || size < 18 || size != 18u + data[17])
        return false;
    image.type = data[0];
    std::memcpy(image.imageId, data + 1, 16);
    image.buildId.assign(reinterpret_cast<const char*>(data + 18), data[17]);
    image.versionId = 0;
    return true;
}

std::string CSimulatedModem::ImageText(const SimImage& image)
{
    return std::to_string(image.type) + ":" + Printable(image.buildId);
}

std::string CSimulatedModem::ImageIdHex(const SimImage& image)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : image.imageId)
    {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string CSimulatedModem::Describe(const std::string& statePath, uint64_t awayMs) const
{
    std::string out;
    char line[512];
    out += "State file: " + statePath + "\n";
    if (!m_state.present)
    {
        out += "Modem: none (create one with \"tovisim create\")\n";
    }
    else
    {
        out += "Image store: " + m_state.root + "\n";
        snprintf(line, sizeof(line), "Images per type: at most %u\nReset delay: %u ms, %s\n", m_state.maxImagesPerType,
                 m_state.resetDelayMs, awayMs ? "modem away" : "modem available");
        out += line;
        if (awayMs)
        {
            snprintf(line, sizeof(line), "  back in %llu ms\n", (unsigned long long)awayMs);
            out += line;
        }
        for (uint8_t type = 0; type < 2; ++type)
        {
            out += std::string("Stored ") + kTypeNames[type] + " images:\n";
            std::vector<const SimSlotImage*> stored = StoredOfType(type);
            if (stored.empty())
                out += "  (none)\n";
            for (const SimSlotImage* image : stored)
            {
                snprintf(line, sizeof(line), "  slot %u: %-32s version %08X failures %u id %s%s%s\n",
                         (unsigned)image->slot, Printable(image->image.buildId).c_str(), image->image.versionId,
                         (unsigned)image->failureCount, ImageIdHex(image->image).c_str(),
                         m_state.hasRunning[type] && m_state.running[type].SameAs(image->image) ? " running" : "",
                         m_state.hasPreferred[type] && m_state.preferred[type].SameAs(image->image) ? " preferred"
                                                                                                    : "");
                out += line;
            }
        }
        for (int which = 0; which < 2; ++which)
        {
            const bool* has = which == 0 ? m_state.hasPreferred : m_state.hasRunning;
            const SimImage* images = which == 0 ? m_state.preferred : m_state.running;
            out += which == 0 ? "Preferred: " : "Running:   ";
            for (int type = 0; type < 2; ++type)
                out += std::string(type ? " + " : "") + (has[type] ? Printable(images[type].buildId) : "(none)");
            out += "\n";
        }
        uint32_t firmwareId = 0;
        SimIdentity identity;
        std::string source;
        FirmwareInfo(firmwareId, identity, &source);
        snprintf(line, sizeof(line),
                 "Firmware info: firmware %u, technology %u, carrier %u, region %u, GPS %u (from the %s)\n",
                 firmwareId, identity.technology, identity.carrierId, identity.region, identity.gps,
                 source.c_str());
        out += line;
        out += "Revision: " + Revision() + "\n";
        snprintf(line, sizeof(line), "GPS tracking: %u\n", m_state.gpsTracking);
        out += line;
    }
    out += "Connected processes:\n";
    if (m_state.connections.empty())
        out += "  (none)\n";
    for (const SimConnection& connection : m_state.connections)
    {
        snprintf(line, sizeof(line), "  process %u %s\n", connection.processId,
                 connection.program.empty() ? "-" : connection.program.c_str());
        out += line;
    }
    for (const SimFault& fault : m_state.faults)
    {
        snprintf(line, sizeof(line), "Fault: %s answers %u %s\n", fault.entryPoint.c_str(), fault.code,
                 fault.count == CModemState::kAlways ? "always" : ("for " + std::to_string(fault.count) + " more calls").c_str());
        out += line;
    }
    for (const SimRawList& raw : m_state.rawLists)
    {
        snprintf(line, sizeof(line), "Raw list: %s answers %u bytes %s\n", raw.entryPoint.c_str(),
                 (unsigned)raw.bytes.size(),
                 raw.count == CModemState::kAlways ? "always" : ("for " + std::to_string(raw.count) + " more calls").c_str());
        out += line;
    }
    out += "Last calls:\n";
    size_t first = m_state.journal.size() > 10 ? m_state.journal.size() - 10 : 0;
    if (first == m_state.journal.size())
        out += "  (none)\n";
    for (size_t i = first; i < m_state.journal.size(); ++i)
        out += "  " + m_state.journal[i] + "\n";
    return out;
}
