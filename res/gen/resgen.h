// Generators of the binary resources: the program icon and the transfer animation clip. Both
// are drawn in code so that the committed files can be rebuilt and checked byte for byte.
#pragma once
#include <cstdint>
#include <vector>

namespace resgen {

// Clip geometry of the transfer animation.
constexpr int kAviWidth = 260;
constexpr int kAviHeight = 40;
constexpr int kAviFrames = 17;
constexpr uint32_t kAviMicroSecPerFrame = 100000;

// A .ico file with a 32x32 and a 16x16 image (32-bit colour with alpha and an AND mask).
std::vector<uint8_t> MakeIcon();

// An AVI file: one video stream of kAviFrames frames, 8-bit palette, every frame a complete
// RLE8 image (no deltas against the previous frame), with an idx1 index.
std::vector<uint8_t> MakeAvi();

// Encodes a bottom-up 8-bit image (rows top to bottom in `pixels`) as RLE8: runs only, an
// end-of-line after every row and an end-of-bitmap at the end.
std::vector<uint8_t> EncodeRle8(const std::vector<uint8_t>& pixels, int width, int height);

}  // namespace resgen
