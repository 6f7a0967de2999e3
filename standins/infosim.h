// A configurable stand-in driver information library: what MyDeviceCapabilities answers (driver
// flags, tape and feed records, the scalar capabilities) is data, loaded from a small text file
// or set by a test, and every call is logged with its arguments. Portable: the qvinfo.dll
// stand-in and native tests use the same core.
#pragma once
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace infosim {

constexpr uint32_t kTapeBytes = 138;
constexpr uint32_t kFeedBytes = 103;

// One tape as the data file describes it; the record's printable sizes are derived from it.
struct Tape {
    uint16_t code = 0;
    int16_t widthTenths = 0, lengthTenths = 0;
    int16_t widthDots = 0, lengthDots = 0;
    int16_t sideMargin = 0, endMargin = 0;
    std::string name, name2;
    uint32_t flags = 0;
    uint16_t base = 0;  // 0: the tape's own code
    uint8_t tapeClass = 1;
};

struct Feed {
    uint8_t key = 0;
    int16_t margin = 0;
};

// The 138-byte record of a tape and the 103-byte record of a feed.
std::vector<uint8_t> TapeRecord(const Tape& tape);
std::vector<uint8_t> FeedRecord(const Feed& feed);

struct Data {
    // Answers to the scalar capabilities (269, 271, 274, 275, 276, 278); a capability missing
    // here answers -1. 274 and 275 pack x in the low and y in the high 16 bits.
    std::map<uint32_t, int32_t> answers;
    std::vector<Tape> tapes;
    std::vector<Feed> feeds;
    // When false the table capability (257 / 270) answers -1.
    bool answerTapes = true;
    bool answerFeeds = true;
    // The count answered without a buffer when it should differ from the table's size.
    int32_t tapeCountOverride = -2;
    int32_t feedCountOverride = -2;
};

// Two label tapes at 300 dpi, two feeds, special-tape support, model '1'.
Data DefaultData();

struct Call {
    std::string device, port;
    uint32_t capability = 0;
    bool withOutput = false, withDevMode = false;
    int32_t answer = 0;
};

class Library {
  public:
    Library();

    void SetData(Data data);
    Data GetData() const;
    // Reads `key=value` lines (see standins/README.md); false and a message for a bad line,
    // with the data then left as it was.
    bool LoadText(const std::string& text, std::string* error = nullptr);
    // Every later call is also appended, one line each, to this file (empty: no file).
    void SetLogFile(const std::string& path);

    // MyDeviceCapabilities.
    int32_t Answer(const char* device, const char* port, uint32_t capability, char* output,
                   const void* devmode);

    std::vector<Call> Calls() const;
    void ClearCalls();
    // A log line: MyDeviceCapabilities device="X" port="" capability=269 output=null
    // devmode=null answer=262144
    static std::string FormatCall(const Call& call);

  private:
    mutable std::mutex mutex_;
    Data data_;
    std::vector<Call> calls_;
    std::string logFile_;
};

// The in-process library of native tests and of the DLL.
Library& Instance();

}  // namespace infosim
