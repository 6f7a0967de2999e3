// The media tables of a label printer: tapes, forms and feeds, the extent and margin record, and
// the readers and writers of their fixed byte layouts. The tape and feed records are exchanged
// byte for byte with the driver information library and the form records with the driver-private
// part of the settings block, so every record is read and written through explicit
// little-endian offsets over (bytes, length), never by casting a buffer to a struct.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A point in two signed 32-bit values.
struct CPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const CPoint& a, const CPoint& b) { return a.x == b.x && a.y == b.y; }
};

// A rectangle in four signed 32-bit values.
struct CRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const CRect& a, const CRect& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};

// One tape (paper size) of the driver: 138 bytes on the wire.
struct _TAPELIST {
    uint16_t wPaperCode = 0;       // 0: the dmPaperSize value that selects this tape
    int16_t nLengthDots = 0;       // 2
    int16_t nLengthTenths = 0;     // 4: tenths of a millimetre
    int16_t nEndMargin = 0;        // 6: unprintable margin at each end of the length, dots
    int16_t nPrintableLength = 0;  // 8
    int16_t nReserved10 = 0;       // 10: library-defined
    char szName[50] = {};          // 12
    char szName2[50] = {};         // 62
    int16_t nWidthDots = 0;        // 112
    int16_t nWidthTenths = 0;      // 114
    int16_t nSideMargin = 0;       // 116: unprintable margin on each side of the width, dots
    int16_t nPrintableWidth = 0;   // 118
    int16_t nReserved120 = 0;      // 120: library-defined
    int16_t nReserved122 = 0;      // 122: library-defined
    uint32_t dwTapeFlags = 0;      // 124
    uint16_t wBasePaperCode = 0;   // 128
    uint8_t nTapeClass = 0;        // 130
    uint8_t reserved131[5] = {};   // 131: library-defined
    int16_t nReserved136 = 0;      // 136: library-defined
};

// One feed: 103 bytes on the wire.
struct _FEED {
    uint8_t nKey = 0;            // 0
    int16_t nMargin = 0;         // 1: feed margin in dots
    uint8_t reserved[100] = {};  // 3: library-defined
};

// One form (label format): 150 bytes in the driver-private area.
struct _FORM {
    uint16_t wFormCode = 0;   // 0
    char szName[64] = {};     // 2
    char szName2[64] = {};    // 66
    uint16_t wPaperCode = 0;  // 130
    int16_t nLengthDots = 0;  // 132
    int16_t nWidthDots = 0;   // 134
    int16_t nValue136 = 0;    // 136: copied from the source
    int16_t nValue138 = 0;    // 138: copied from the source
    int16_t nTapeClass = 0;   // 140
    int16_t nValue142 = 0;    // 142: copied from the source
};

// The media extent and margins in dots, and the resolution they were computed with.
struct _MEDIAEXTENT {
    int32_t nMinWidth = 0, nMinLength = 0, nMaxWidth = 0, nMaxLength = 0;
    int32_t nMargin1 = 0, nMargin2 = 0, nMargin3 = 0, nMargin4 = 0;
    int32_t nResX = 0, nResY = 0;
};

namespace media {

constexpr size_t kTapeSize = 138;
constexpr size_t kFeedSize = 103;
constexpr size_t kFormSize = 150;
// Bytes of a form record that are copied from the private area (offsets 0 to 143).
constexpr size_t kFormUsed = 144;

// Driver-private area, new layout: size tag, form count, option word, form records.
constexpr size_t kPrivTag = 0;
constexpr size_t kPrivValidating = 2;  // u16, bit 2 set while the special tape is validated
constexpr size_t kPrivLayoutFlags = 4;
constexpr size_t kPrivBasePaper = 6;
constexpr size_t kPrivSpecialTape = 8;  // u16, 4 in special-tape mode
constexpr size_t kPrivFeedValue = 10;
constexpr size_t kPrivTapeClass = 12;
constexpr size_t kPrivFormCount = 14;
constexpr size_t kPrivLength = 18;   // u32
constexpr size_t kPrivOptions = 22;  // u32
constexpr size_t kPrivForms = 30;
constexpr size_t kPrivFormsEnd = 3000;  // records start below this offset
// Old layout.
constexpr size_t kOldOptions = 107;    // u8
constexpr size_t kOldFormCount = 109;  // u8
constexpr size_t kOldForms = 112;
constexpr size_t kOldFormSize = 73;
// Driver flags that tell the layout.
constexpr uint32_t kNewLayout = 0x800000;
constexpr uint32_t kOldLayout = 0x80000;

// Reads a record from `length` bytes; false (out unchanged) when fewer bytes than the record.
bool ReadTape(const uint8_t* b, size_t length, _TAPELIST& t);
bool ReadFeed(const uint8_t* b, size_t length, _FEED& f);
bool ReadForm(const uint8_t* b, size_t length, _FORM& f);
// Writes a record into `length` bytes; false (nothing written) when it does not fit.
bool WriteTape(const _TAPELIST& t, uint8_t* b, size_t length);
bool WriteFeed(const _FEED& feed, uint8_t* bytes, size_t length);
bool WriteForm(const _FORM& form, uint8_t* bytes, size_t length);

// The all-zero records, answered by lookups that find nothing. Never written.
const _TAPELIST& ZeroTape();
const _FORM& ZeroForm();
const _FEED& ZeroFeed();

// The first tape with that paper code, else the all-zero record.
const _TAPELIST& FindTape(const std::vector<_TAPELIST>& tapes, uint16_t paperCode);
// Like FindTape, but an unknown code answers the first tape, and a tape whose base paper code
// names another tape answers that one. An empty table answers the all-zero record.
const _TAPELIST& FindTapeOrBase(const std::vector<_TAPELIST>& tapes, uint16_t paperCode);
// The first tape of that base paper code and class, else the first tape (all-zero record on an
// empty table). Classes are compared as 16-bit values.
const _TAPELIST& FindTapeByBase(const std::vector<_TAPELIST>& tapes, uint16_t baseCode,
                                uint16_t tapeClass);
const _FORM& FindForm(const std::vector<_FORM>& forms, uint16_t formCode);
// The last feed whose key is not above the value, else the all-zero record.
const _FEED& FindFeed(const std::vector<_FEED>& feeds, uint16_t value);

// Margins 1 to 4 of the extent from the tape table (0xFFFF each on an empty table).
void TapeMargins(const std::vector<_TAPELIST>& tapes, _MEDIAEXTENT& extent);

// The form table from the driver-private area `priv` of `length` bytes. New layout: records of
// 150 bytes from offset 30 while they start below offset 3000; old layout: 73-byte records from
// offset 112. Records that do not lie wholly inside the area are not read (they stay zero).
// Returns false and leaves `forms` unchanged when the new layout's size tag is not valid.
bool ReadNewLayoutForms(const uint8_t* priv, size_t length, const std::vector<_TAPELIST>& tapes,
                        std::vector<_FORM>& forms);
void ReadOldLayoutForms(const uint8_t* priv, size_t length, const std::vector<_TAPELIST>& tapes,
                        std::vector<_FORM>& forms);

// The size tag of the new private layout: 3030, 4530 or 30 + 150 x the form count.
bool PrivateAreaValid(const uint8_t* priv, size_t length);

// Splits a paper name as the tape table holds it: cut to at most 49 bytes of whole characters,
// then with `split` cut at the last '|' character into name and second name; otherwise the
// second name is the whole name.
void SetTapeNames(_TAPELIST& tape, const char* name, size_t maxLength, bool split);

}  // namespace media
