#pragma once
// Everything the simulated modem remembers, shared by all processes through
// the state file, and the file's text form. No Windows headers.
//
// State file: UTF-8 text, one record per line, fields separated by one blank;
// the last field of "root" and "journal" is the rest of the line. Build IDs
// and raw bytes are hexadecimal ("-" when empty) so that any byte survives.
//   TOVISIM-STATE 1
//   modem present|absent
//   root <image store root>
//   max <images per type>
//   delay <reset delay ms>
//   away <time the modem comes back, 100 ns units since 1601>
//   gps <tracking value last set>
//   seq <next store sequence number>
//   override <technology> <carrier> <region> <gps>            (optional)
//   image <type> <slot> <failures> <seq> <image ID> <version ID> <build ID>
//   preferred|running <type> <image ID> <version ID> <build ID>
//   fault <entry point> <code> <count|always>
//   raw <entry point> <count|always> <bytes>
//   listener <process ID>                                      (removal callbacks)
//   connection <process ID> <process start> <load> <program>  (connected processes)
//   journal <line>
//   end
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "SimImage.h"

struct SimSlotImage
{
    SimImage image;
    uint8_t slot = 0;
    uint8_t failureCount = 0;
    uint32_t sequence = 0;  // order of storing, for eviction
};

struct SimFault
{
    std::string entryPoint;
    uint32_t code = 0;
    uint32_t count = 0;  // kAlways: every call
};

// One process's connection. A process is told apart from a later one with the
// same ID by its start time (100 ns units since 1601), and one load of the
// library from a later load in the same process by a value drawn at load time.
struct SimConnection
{
    uint32_t processId = 0;
    uint64_t processStart = 0;
    uint64_t load = 0;
    std::string program;  // UTF-8 file name of the process's program, for people
};

struct SimRawList
{
    std::string entryPoint;
    std::vector<uint8_t> bytes;
    uint32_t count = 0;
};

class CModemState
{
public:
    static const uint32_t kAlways = 0xFFFFFFFFu;
    static const size_t kJournalLimit = 500;

    bool present = false;        // a modem was created
    std::string root;            // UTF-8
    uint32_t maxImagesPerType = 0;
    uint32_t resetDelayMs = 0;
    uint64_t awayUntil = 0;
    uint32_t gpsTracking = 0;
    uint32_t nextSequence = 1;
    bool hasPreferred[2] = {false, false};
    SimImage preferred[2];
    bool hasRunning[2] = {false, false};
    SimImage running[2];
    bool overrideSet = false;
    uint32_t overrideInfo[4] = {0, 0, 0, 0};  // technology, carrier, region, GPS
    std::vector<SimSlotImage> images;
    std::vector<SimFault> faults;
    std::vector<SimRawList> rawLists;
    std::vector<uint32_t> listeners;
    std::vector<SimConnection> connections;
    std::deque<std::string> journal;

    // Forgets the modem (images, preference, faults, journal, delay) but keeps
    // the processes that listen for removals and the connected ones: only a
    // process's own disconnect ends its connection.
    void Reset();
    void AddJournalLine(const std::string& line);

    std::string Serialize() const;
    // False when the text is not a complete state file of this format.
    bool Parse(const std::string& text);
};
