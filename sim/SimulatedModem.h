#pragma once
// The simulated modem's behaviour on its state: storing, preferring and
// deleting images, restarting, the firmware information that follows the
// running images, and the byte-packed lists. No Windows headers: it works on
// a CModemState that the caller loaded and saves afterwards.
#include <cstdint>
#include <string>
#include <vector>

#include "ModemState.h"
#include "SimCatalog.h"

class CSimulatedModem
{
public:
    static const size_t kMaxBuildIdLength = 32;

    explicit CSimulatedModem(CModemState& state) : m_state(state) {}

    const SimSlotImage* FindStored(const SimImage& image) const;
    // Running or preferred images are never evicted or deleted.
    bool IsPinned(const SimImage& image) const;

    // Stores the images that are not stored yet (all of them when forced,
    // rewriting a stored one in its slot). A type without a free slot loses its
    // stored image of the oldest store that is neither running nor preferred.
    // All or nothing: on an error nothing changes. storedTypes receives the
    // type of every image actually written.
    uint32_t StoreImages(const std::vector<SimImage>& images, bool force, std::vector<uint8_t>* storedTypes);
    // Prefers the listed images (one or two, of different types) when all are
    // stored and the call is not forced; otherwise leaves the preference and
    // reports the types still to download.
    uint32_t SetPreference(const std::vector<SimImage>& images, bool force, std::vector<uint8_t>& missingTypes);
    // The modem restarts: it runs its preferred images.
    void Restart();
    uint32_t Delete(const SimImage& image);

    // firmwareId: the running modem image's version number.
    void FirmwareInfo(uint32_t& firmwareId, SimIdentity& identity, std::string* source = nullptr) const;
    // "%08X TOVISIM <modem build ID>": the running PRI image's version ID first.
    std::string Revision() const;

    std::vector<uint8_t> PreferenceList() const;
    std::vector<uint8_t> StoredList() const;

    static std::vector<uint8_t> EncodePreferenceList(const std::vector<SimImage>& images);
    // Entries must fit the given size exactly; false otherwise.
    static bool ParsePreferenceList(const uint8_t* data, size_t size, std::vector<SimImage>& images);
    static bool ParseImageRecord(const uint8_t* data, size_t size, SimImage& image);
    // "type:build ID", with bytes outside printable ASCII shown as '?'.
    static std::string ImageText(const SimImage& image);
    static std::string ImageIdHex(const SimImage& image);

    // A readable description; statePath and awayMs are the caller's (UTF-8).
    std::string Describe(const std::string& statePath, uint64_t awayMs) const;

private:
    std::vector<const SimSlotImage*> StoredOfType(uint8_t type) const;
    int FreeSlot(uint8_t type) const;

    CModemState& m_state;
};
