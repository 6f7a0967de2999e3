// The layout of the public part of a DEVMODEA settings block, and bounded little-endian reads and
// writes over a block of bytes whose length the driver reported. Every access checks that the
// whole value lies inside the block: a block too short for a field reads as if the field were
// absent, and a write outside it does nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

namespace devmode {

// Byte offsets of the DEVMODEA fields the tool reads (values of the Windows SDK layout).
constexpr size_t kDeviceName = 0;  // char[32]
constexpr size_t kSpecVersion = 32;
constexpr size_t kDriverVersion = 34;
constexpr size_t kSize = 36;         // u16 dmSize: size of the public part
constexpr size_t kDriverExtra = 38;  // u16 dmDriverExtra: size of the private part
constexpr size_t kFields = 40;       // u32 dmFields
constexpr size_t kOrientation = 44;  // i16
constexpr size_t kPaperSize = 46;    // i16
constexpr size_t kPaperLength = 48;  // i16, tenths of a millimetre
constexpr size_t kPaperWidth = 50;   // i16, tenths of a millimetre
constexpr size_t kScale = 52;        // i16
constexpr size_t kCopies = 54;
constexpr size_t kDefaultSource = 56;
constexpr size_t kPrintQuality = 58;  // i16
constexpr size_t kColor = 60;         // i16
constexpr size_t kDuplex = 62;
constexpr size_t kYResolution = 64;  // i16
constexpr size_t kFormName = 70;     // char[32]
// Size of the public part as this SDK version defines it.
constexpr size_t kPublicSize = 156;

// Reads a little-endian value of type T at offset; empty when it does not lie inside the block.
template <class T>
std::optional<T> Read(const uint8_t* data, size_t length, size_t offset) {
    if (!data || offset > length || length - offset < sizeof(T)) return std::nullopt;
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, data + offset, sizeof(T));
    using U = std::make_unsigned_t<T>;
    U value = 0;
    for (size_t i = sizeof(T); i-- > 0;) value = static_cast<U>((value << 8) | bytes[i]);
    return static_cast<T>(value);
}

// Writes a little-endian value at offset; false (and nothing written) outside the block.
template <class T>
bool Write(uint8_t* data, size_t length, size_t offset, T value) {
    if (!data || offset > length || length - offset < sizeof(T)) return false;
    using U = std::make_unsigned_t<T>;
    U v = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i) {
        data[offset + i] = static_cast<uint8_t>(v & 0xFF);
        v = static_cast<U>(v >> 8);
    }
    return true;
}

// A read-only view of a settings block of the given length. Public fields are present only when
// they lie inside both the block and the public part that dmSize announces; the driver-private
// part starts dmSize bytes in.
class View {
  public:
    View(const uint8_t* data, size_t length) : data_(data), length_(data ? length : 0) {}

    const uint8_t* data() const { return data_; }
    size_t length() const { return length_; }

    // dmSize, when the block holds it.
    std::optional<uint16_t> Size() const { return Read<uint16_t>(data_, length_, kSize); }
    // dmFields; 0 when the block is too short to hold it.
    uint32_t Fields() const {
        if (!PublicHolds(kFields, 4)) return 0;
        return Read<uint32_t>(data_, length_, kFields).value_or(0);
    }
    // A 16-bit public field: present when dmFields has `bit` (0 means "no bit required") and the
    // field lies inside the public part and the block.
    std::optional<int16_t> Field16(size_t offset, uint32_t bit) const {
        if (bit != 0 && (Fields() & bit) == 0) return std::nullopt;
        if (!PublicHolds(offset, 2)) return std::nullopt;
        return Read<int16_t>(data_, length_, offset);
    }
    // A 16-bit public field read regardless of dmFields (still bounded by the block).
    std::optional<int16_t> Raw16(size_t offset) const { return Field16(offset, 0); }

    // Values in the driver-private part, `offset` bytes after its start.
    template <class T>
    std::optional<T> Private(size_t offset) const {
        auto size = Size();
        if (!size) return std::nullopt;
        return Read<T>(data_, length_, size_t{*size} + offset);
    }

  private:
    bool PublicHolds(size_t offset, size_t bytes) const {
        auto size = Size();
        if (!size) return false;
        size_t publicEnd = *size < length_ ? *size : length_;
        return offset <= publicEnd && publicEnd - offset >= bytes;
    }

    const uint8_t* data_;
    size_t length_;
};

// Writes into the driver-private part of a block; false when the value would not lie inside it.
template <class T>
bool WritePrivate(uint8_t* data, size_t length, size_t offset, T value) {
    auto size = Read<uint16_t>(data, length, kSize);
    if (!size) return false;
    return Write<T>(data, length, size_t{*size} + offset, value);
}

}  // namespace devmode
