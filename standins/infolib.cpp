#include "standins/infolib.h"

#include <cstring>

namespace simprinter {
namespace {

struct Tape {
    uint16_t code;
    const char* name;
    int16_t widthTenths, lengthTenths;
};

// Sizes in tenths of a millimetre; dots at 300 dpi, 1 mm unprintable at each edge.
const Tape kTapes[] = {{256, "62mm x 100mm", 620, 1000}, {257, "29mm x 90mm", 290, 900}};
const struct {
    uint8_t key;
    int16_t margin;
} kFeeds[] = {{0, 12}, {1, 35}};

int16_t Dots(int tenths) { return static_cast<int16_t>((tenths * 300 + 127) / 254); }

void Put16(char* p, int value) {
    p[0] = static_cast<char>(value & 0xFF);
    p[1] = static_cast<char>((value >> 8) & 0xFF);
}

void PutTape(char* r, const Tape& t) {
    std::memset(r, 0, kTapeRecordSize);
    const int16_t margin = Dots(10);
    Put16(r + 0, t.code);
    Put16(r + 2, Dots(t.lengthTenths));
    Put16(r + 4, t.lengthTenths);
    Put16(r + 6, margin);
    Put16(r + 8, Dots(t.lengthTenths) - 2 * margin);
    std::strncpy(r + 12, t.name, 49);
    std::strncpy(r + 62, t.name, 49);
    Put16(r + 112, Dots(t.widthTenths));
    Put16(r + 114, t.widthTenths);
    Put16(r + 116, margin);
    Put16(r + 118, Dots(t.widthTenths) - 2 * margin);
    Put16(r + 128, t.code);  // base paper code: an ordinary tape
    r[130] = 1;              // tape class
}

}  // namespace

int32_t InfoDeviceCapabilities(const char* /*device*/, const char* /*port*/, uint32_t capability,
                               char* output, const void* /*devmode*/) {
    constexpr int32_t kTapes_ = static_cast<int32_t>(sizeof(kTapes) / sizeof(kTapes[0]));
    constexpr int32_t kFeeds_ = static_cast<int32_t>(sizeof(kFeeds) / sizeof(kFeeds[0]));
    switch (capability) {
        case 269:
            return static_cast<int32_t>(kInfoDriverFlags);
        case 257:
            if (output)
                for (int32_t i = 0; i < kTapes_; ++i)
                    PutTape(output + i * kTapeRecordSize, kTapes[i]);
            return kTapes_;
        case 270:
            if (output)
                for (int32_t i = 0; i < kFeeds_; ++i) {
                    char* r = output + i * kFeedRecordSize;
                    std::memset(r, 0, kFeedRecordSize);
                    r[0] = static_cast<char>(kFeeds[i].key);
                    Put16(r + 1, kFeeds[i].margin);
                }
            return kFeeds_;
        case 274:
            return 0;  // origin (0, 0)
        case 276:
            return 1;
        case 278:
            return '1';  // model code
        default:
            return -1;
    }
}

}  // namespace simprinter
