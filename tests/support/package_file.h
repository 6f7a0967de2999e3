// Firmware package files for the tests and the fuzz targets, built as the tool reads them.
#pragma once
#include <cstdint>
#include <string>

namespace testpkg {

// The 64-byte header (its mark, and the data length at offset 16, least significant byte
// first) stating `stated` bytes of data, followed by `data`, which may be shorter or longer.
inline std::string Package(int32_t stated, const std::string& data) {
    std::string h(64, '\0');
    h[0] = static_cast<char>(0x90);
    h[1] = 0x40;
    const uint32_t v = static_cast<uint32_t>(stated);
    for (int i = 0; i < 4; ++i) h[16 + i] = static_cast<char>(v >> (8 * i));
    return h + data;
}

}  // namespace testpkg
