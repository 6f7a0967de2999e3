#include "device/media.h"

#include <algorithm>
#include <cstring>

#include "device/devmode.h"
#include "platform/platform.h"

namespace media {

namespace {

// Little-endian access at fixed offsets of a buffer already known to hold the whole record.
template <class T>
T Get(const uint8_t* bytes, size_t offset) {
    return *devmode::Read<T>(bytes, offset + sizeof(T), offset);
}
template <class T>
void Put(uint8_t* bytes, size_t offset, T value) {
    devmode::Write<T>(bytes, offset + sizeof(T), offset, value);
}

// A name field copied as a C string of at most `size` bytes, zero-filled after it.
void GetText(const uint8_t* bytes, size_t offset, char* field, size_t size) {
    const char* source = reinterpret_cast<const char*>(bytes + offset);
    size_t n = 0;
    while (n < size && source[n] != '\0') ++n;
    std::memset(field, 0, size);
    std::memcpy(field, source, n);
}
void PutText(uint8_t* bytes, size_t offset, const char* field, size_t size) {
    std::memcpy(bytes + offset, field, size);
}

const _TAPELIST kZeroTape{};
const _FORM kZeroForm{};
const _FEED kZeroFeed{};

}  // namespace

bool ReadTape(const uint8_t* b, size_t length, _TAPELIST& t) {
    if (!b || length < kTapeSize) return false;
    t.wPaperCode = Get<uint16_t>(b, 0);
    t.nLengthDots = Get<int16_t>(b, 2);
    t.nLengthTenths = Get<int16_t>(b, 4);
    t.nEndMargin = Get<int16_t>(b, 6);
    t.nPrintableLength = Get<int16_t>(b, 8);
    t.nReserved10 = Get<int16_t>(b, 10);
    std::memcpy(t.szName, b + 12, sizeof t.szName);
    std::memcpy(t.szName2, b + 62, sizeof t.szName2);
    t.nWidthDots = Get<int16_t>(b, 112);
    t.nWidthTenths = Get<int16_t>(b, 114);
    t.nSideMargin = Get<int16_t>(b, 116);
    t.nPrintableWidth = Get<int16_t>(b, 118);
    t.nReserved120 = Get<int16_t>(b, 120);
    t.nReserved122 = Get<int16_t>(b, 122);
    t.dwTapeFlags = Get<uint32_t>(b, 124);
    t.wBasePaperCode = Get<uint16_t>(b, 128);
    t.nTapeClass = b[130];
    std::memcpy(t.reserved131, b + 131, sizeof t.reserved131);
    t.nReserved136 = Get<int16_t>(b, 136);
    return true;
}

bool WriteTape(const _TAPELIST& t, uint8_t* b, size_t length) {
    if (!b || length < kTapeSize) return false;
    Put<uint16_t>(b, 0, t.wPaperCode);
    Put<int16_t>(b, 2, t.nLengthDots);
    Put<int16_t>(b, 4, t.nLengthTenths);
    Put<int16_t>(b, 6, t.nEndMargin);
    Put<int16_t>(b, 8, t.nPrintableLength);
    Put<int16_t>(b, 10, t.nReserved10);
    PutText(b, 12, t.szName, sizeof t.szName);
    PutText(b, 62, t.szName2, sizeof t.szName2);
    Put<int16_t>(b, 112, t.nWidthDots);
    Put<int16_t>(b, 114, t.nWidthTenths);
    Put<int16_t>(b, 116, t.nSideMargin);
    Put<int16_t>(b, 118, t.nPrintableWidth);
    Put<int16_t>(b, 120, t.nReserved120);
    Put<int16_t>(b, 122, t.nReserved122);
    Put<uint32_t>(b, 124, t.dwTapeFlags);
    Put<uint16_t>(b, 128, t.wBasePaperCode);
    b[130] = t.nTapeClass;
    std::memcpy(b + 131, t.reserved131, sizeof t.reserved131);
    Put<int16_t>(b, 136, t.nReserved136);
    return true;
}

bool ReadFeed(const uint8_t* b, size_t length, _FEED& f) {
    if (!b || length < kFeedSize) return false;
    f.nKey = b[0];
    f.nMargin = Get<int16_t>(b, 1);
    std::memcpy(f.reserved, b + 3, sizeof f.reserved);
    return true;
}

bool WriteFeed(const _FEED& f, uint8_t* b, size_t length) {
    if (!b || length < kFeedSize) return false;
    b[0] = f.nKey;
    Put<int16_t>(b, 1, f.nMargin);
    std::memcpy(b + 3, f.reserved, sizeof f.reserved);
    return true;
}

// Reads the 144 bytes a form record uses; the six bytes after them are zero in the table.
bool ReadForm(const uint8_t* b, size_t length, _FORM& f) {
    if (!b || length < kFormUsed) return false;
    f.wFormCode = Get<uint16_t>(b, 0);
    GetText(b, 2, f.szName, sizeof f.szName);
    GetText(b, 66, f.szName2, sizeof f.szName2);
    f.wPaperCode = Get<uint16_t>(b, 130);
    f.nLengthDots = Get<int16_t>(b, 132);
    f.nWidthDots = Get<int16_t>(b, 134);
    f.nValue136 = Get<int16_t>(b, 136);
    f.nValue138 = Get<int16_t>(b, 138);
    f.nTapeClass = Get<int16_t>(b, 140);
    f.nValue142 = Get<int16_t>(b, 142);
    return true;
}

bool WriteForm(const _FORM& f, uint8_t* b, size_t length) {
    if (!b || length < kFormSize) return false;
    Put<uint16_t>(b, 0, f.wFormCode);
    PutText(b, 2, f.szName, sizeof f.szName);
    PutText(b, 66, f.szName2, sizeof f.szName2);
    Put<uint16_t>(b, 130, f.wPaperCode);
    Put<int16_t>(b, 132, f.nLengthDots);
    Put<int16_t>(b, 134, f.nWidthDots);
    Put<int16_t>(b, 136, f.nValue136);
    Put<int16_t>(b, 138, f.nValue138);
    Put<int16_t>(b, 140, f.nTapeClass);
    Put<int16_t>(b, 142, f.nValue142);
    std::memset(b + 144, 0, kFormSize - 144);
    return true;
}

const _TAPELIST& ZeroTape() { return kZeroTape; }
const _FORM& ZeroForm() { return kZeroForm; }
const _FEED& ZeroFeed() { return kZeroFeed; }

const _TAPELIST& FindTape(const std::vector<_TAPELIST>& tapes, uint16_t paperCode) {
    for (const auto& t : tapes)
        if (t.wPaperCode == paperCode) return t;
    return kZeroTape;
}

const _TAPELIST& FindTapeOrBase(const std::vector<_TAPELIST>& tapes, uint16_t paperCode) {
    for (const auto& t : tapes) {
        if (t.wPaperCode != paperCode) continue;
        if (t.wBasePaperCode != t.wPaperCode && t.wBasePaperCode != 0)
            return FindTape(tapes, t.wBasePaperCode);
        return t;
    }
    return tapes.empty() ? kZeroTape : tapes.front();
}

const _TAPELIST& FindTapeByBase(const std::vector<_TAPELIST>& tapes, uint16_t baseCode,
                                uint16_t tapeClass) {
    for (const auto& t : tapes)
        if (t.wBasePaperCode == baseCode && uint16_t{t.nTapeClass} == tapeClass) return t;
    return tapes.empty() ? kZeroTape : tapes.front();
}

const _FORM& FindForm(const std::vector<_FORM>& forms, uint16_t formCode) {
    for (const auto& f : forms)
        if (f.wFormCode == formCode) return f;
    return kZeroForm;
}

const _FEED& FindFeed(const std::vector<_FEED>& feeds, uint16_t value) {
    for (auto it = feeds.rbegin(); it != feeds.rend(); ++it)
        if (uint16_t{it->nKey} <= value) return *it;
    return kZeroFeed;
}

void TapeMargins(const std::vector<_TAPELIST>& tapes, _MEDIAEXTENT& extent) {
    int32_t m1 = 0xFFFF, m2 = 0xFFFF, m4 = 0xFFFF;
    for (const auto& t : tapes) {
        m1 = std::min<int32_t>(m1, t.nSideMargin);
        m2 = std::min<int32_t>(m2, t.nEndMargin);
        m4 = std::min<int32_t>(m4, int32_t{t.nLengthDots} - t.nPrintableLength - t.nEndMargin);
    }
    extent.nMargin1 = m1;
    extent.nMargin2 = m2;
    extent.nMargin3 = m1;
    extent.nMargin4 = m4;
}

bool PrivateAreaValid(const uint8_t* priv, size_t length) {
    auto tag = devmode::Read<uint16_t>(priv, length, kPrivTag);
    auto count = devmode::Read<uint16_t>(priv, length, kPrivFormCount);
    if (!tag || !count) return false;
    return *tag == 3030 || *tag == 4530 || int32_t{*tag} == 30 + 150 * int32_t{*count};
}

bool ReadNewLayoutForms(const uint8_t* priv, size_t length, const std::vector<_TAPELIST>& tapes,
                        std::vector<_FORM>& forms) {
    if (!PrivateAreaValid(priv, length)) return false;
    size_t count = *devmode::Read<uint16_t>(priv, length, kPrivFormCount);
    forms.assign(count, _FORM{});
    size_t loaded = 0;
    for (size_t i = 0; i < count && i * kFormSize < kPrivFormsEnd; ++i) {
        size_t at = kPrivForms + i * kFormSize;
        if (at > length || !ReadForm(priv + at, length - at, forms[i])) break;
        loaded = i + 1;
    }
    for (size_t i = 0; i < loaded; ++i) {
        _FORM& f = forms[i];
        if (f.nTapeClass == 0) f.nTapeClass = 1;
        f.wPaperCode =
            FindTapeByBase(tapes, f.wPaperCode, static_cast<uint16_t>(f.nTapeClass)).wPaperCode;
        if (f.nWidthDots == 0) {
            const _TAPELIST& tape = FindTape(tapes, f.wPaperCode);
            if (&tape != &kZeroTape) f.nWidthDots = tape.nWidthDots;
        }
    }
    return true;
}

void ReadOldLayoutForms(const uint8_t* priv, size_t length, const std::vector<_TAPELIST>& tapes,
                        std::vector<_FORM>& forms) {
    auto count = devmode::Read<uint8_t>(priv, length, kOldFormCount);
    if (!count) return;
    forms.assign(*count, _FORM{});
    for (size_t i = 0; i < *count; ++i) {
        size_t at = kOldForms + i * kOldFormSize;
        if (at > length || length - at < kOldFormSize) break;
        const uint8_t* r = priv + at;
        _FORM& f = forms[i];
        f.wFormCode = static_cast<uint16_t>(306 + i);
        GetText(r, 0, f.szName, sizeof f.szName);
        std::memcpy(f.szName2, f.szName, sizeof f.szName2);
        f.wPaperCode = Get<uint16_t>(r, 64);
        f.nLengthDots = Get<int16_t>(r, 66);
        f.nValue136 = r[68];
        f.nValue138 = Get<int16_t>(r, 69);
        f.nTapeClass = 1;
        // The paper code indexes the tape table from the first tape's code; a code outside it
        // leaves the width 0.
        if (!tapes.empty()) {
            long index = long{f.wPaperCode} - long{tapes.front().wPaperCode};
            if (index >= 0 && size_t(index) < tapes.size())
                f.nWidthDots = tapes[size_t(index)].nWidthDots;
        }
    }
}

void SetTapeNames(_TAPELIST& tape, const char* name, size_t maxLength, bool split) {
    // The name is taken by whole characters: the cut to 49 bytes never leaves the lead byte of a
    // double-byte character behind, and only a '|' of its own splits, never a trail byte.
    const bool dbcs = plat::Get().system != nullptr;
    const size_t limit = sizeof tape.szName - 1;
    size_t n = 0;
    size_t bar = limit;  // no '|' found
    while (n < maxLength && name[n] != '\0') {
        size_t step = 1;
        if (dbcs && plat::System().IsDBCSLeadByte(uint8_t(name[n])) && n + 1 < maxLength &&
            name[n + 1] != '\0')
            step = 2;
        if (n + step > limit) break;
        if (step == 1 && name[n] == '|') bar = n;
        n += step;
    }
    std::memset(tape.szName, 0, sizeof tape.szName);
    std::memset(tape.szName2, 0, sizeof tape.szName2);
    if (!split || bar == limit) {
        std::memcpy(tape.szName, name, n);
        std::memcpy(tape.szName2, name, n);
        return;
    }
    std::memcpy(tape.szName, name, bar);
    std::memcpy(tape.szName2, name + bar + 1, n - bar - 1);
}

}  // namespace media
