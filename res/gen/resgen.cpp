// Draws the program icon (a label printer receiving a sheet) and the transfer animation (a sheet
// travelling from a computer to a printer) and writes them in the .ico and AVI formats.
#include "resgen.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace resgen {
namespace {

class Writer {
  public:
    void U8(uint8_t v) { out.push_back(v); }
    void U16(uint16_t v) {
        U8(static_cast<uint8_t>(v));
        U8(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void FourCC(const char* s) {
        for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(s[i]));
    }
    void Bytes(const std::vector<uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); }
    // Starts a RIFF chunk and returns the offset of its size field.
    size_t Begin(const char* id) {
        FourCC(id);
        size_t at = out.size();
        U32(0);
        return at;
    }
    // Closes a chunk: patches its size and pads it to an even length.
    void End(size_t at) {
        uint32_t size = static_cast<uint32_t>(out.size() - at - 4);
        for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(size >> (8 * i));
        if (out.size() & 1) U8(0);
    }
    size_t List(const char* type, const char* id) {
        size_t at = Begin(type);
        FourCC(id);
        return at;
    }
    std::vector<uint8_t> out;
};

void BitmapInfoHeader(Writer& w, int width, int height, uint16_t bits, uint32_t compression,
                      uint32_t sizeImage, uint32_t colours) {
    w.U32(40);
    w.I32(width);
    w.I32(height);
    w.U16(1);
    w.U16(bits);
    w.U32(compression);
    w.U32(sizeImage);
    w.I32(0);
    w.I32(0);
    w.U32(colours);
    w.U32(colours);
}

// ---- icon ------------------------------------------------------------------------------------

struct Rgba {
    uint8_t r, g, b, a;
};

// An image drawn on a 32-unit grid and sampled at the requested size.
class IconCanvas {
  public:
    explicit IconCanvas(int size) : size_(size), px_(size * size, Rgba{0, 0, 0, 0}) {}
    // Fills the grid rectangle [x0, x1) x [y0, y1).
    void Rect(int x0, int y0, int x1, int y1, Rgba c) {
        const int s = 32 / size_;
        for (int y = y0 / s; y < (y1 + s - 1) / s; ++y)
            for (int x = x0 / s; x < (x1 + s - 1) / s; ++x)
                if (x >= 0 && y >= 0 && x < size_ && y < size_) px_[y * size_ + x] = c;
    }
    void Frame(int x0, int y0, int x1, int y1, Rgba fill, Rgba line) {
        const int s = 32 / size_;
        Rect(x0, y0, x1, y1, line);
        Rect(x0 + s, y0 + s, x1 - s, y1 - s, fill);
    }
    const Rgba& At(int x, int y) const { return px_[y * size_ + x]; }
    int Size() const { return size_; }

  private:
    int size_;
    std::vector<Rgba> px_;
};

IconCanvas DrawIcon(int size) {
    const Rgba outline{40, 40, 48, 255}, body{150, 156, 168, 255}, dark{90, 94, 104, 255},
        paper{255, 255, 255, 255}, arrow{30, 110, 210, 255}, led{40, 190, 70, 255};
    IconCanvas c(size);
    c.Frame(9, 1, 23, 16, paper, outline);  // sheet going in
    c.Rect(14, 4, 18, 9, arrow);            // arrow shaft
    c.Rect(12, 9, 20, 11, arrow);           // arrow head
    c.Rect(14, 11, 18, 13, arrow);
    c.Frame(2, 12, 30, 27, body, outline);  // printer body
    c.Rect(7, 14, 25, 16, dark);            // paper slot
    c.Rect(6, 21, 18, 23, dark);            // label exit
    c.Rect(23, 20, 27, 24, led);            // ready lamp
    c.Frame(4, 26, 28, 30, dark, outline);  // base
    return c;
}

void IconImage(Writer& w, int size) {
    IconCanvas c = DrawIcon(size);
    BitmapInfoHeader(w, size, size * 2, 32, 0, 0, 0);
    for (int y = size - 1; y >= 0; --y)
        for (int x = 0; x < size; ++x) {
            const Rgba& p = c.At(x, y);
            w.U8(p.b);
            w.U8(p.g);
            w.U8(p.r);
            w.U8(p.a);
        }
    // AND mask, 1 bit a pixel, rows padded to 32 bits: set where the image is transparent.
    const int stride = ((size + 31) / 32) * 4;
    for (int y = size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < size; ++x)
            if (c.At(x, y).a == 0) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        w.Bytes(row);
    }
}

// ---- animation -------------------------------------------------------------------------------

enum Colour : uint8_t {
    kBack,
    kOutline,
    kDarkGrey,
    kGrey,
    kLightGrey,
    kScreen,
    kPaper,
    kInk,
    kLamp,
    kShadow,
    kColourCount
};
const uint8_t kPalette[kColourCount][3] = {
    {240, 240, 240},  // background (made transparent by the animation control)
    {32, 32, 40},    {88, 92, 104}, {150, 156, 168}, {200, 204, 212}, {40, 110, 200},  // screen
    {255, 255, 255},                                                                   // sheet
    {60, 130, 220},  // printed lines
    {40, 190, 70},   // ready lamp
    {120, 124, 136},
};

class Canvas {
  public:
    Canvas() : px_(kAviWidth * kAviHeight, kBack) {}
    void Rect(int x0, int y0, int x1, int y1, uint8_t c) {
        for (int y = std::max(0, y0); y < std::min(kAviHeight, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(kAviWidth, x1); ++x)
                px_[y * kAviWidth + x] = c;
    }
    void Frame(int x0, int y0, int x1, int y1, uint8_t fill) {
        Rect(x0, y0, x1, y1, kOutline);
        Rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill);
    }
    const std::vector<uint8_t>& Pixels() const { return px_; }

  private:
    std::vector<uint8_t> px_;
};

void DrawComputer(Canvas& c, int frame) {
    c.Frame(8, 3, 56, 31, kDarkGrey);  // monitor
    c.Rect(12, 7, 52, 27, kScreen);
    // A progress stripe on the screen that grows with the frames.
    c.Rect(16, 21, 16 + (frame + 1) * 32 / kAviFrames, 23, kPaper);
    c.Rect(28, 31, 36, 34, kDarkGrey);  // stand
    c.Frame(18, 34, 46, 38, kGrey);
}

void DrawPrinter(Canvas& c, int frame) {
    c.Frame(196, 14, 254, 36, kGrey);      // body
    c.Frame(204, 8, 246, 15, kLightGrey);  // top cover
    c.Rect(208, 19, 242, 21, kOutline);    // paper slot
    c.Rect(202, 30, 230, 32, kShadow);     // label exit
    c.Rect(240, 28, 246, 32, frame % 2 ? kLamp : kShadow);
}

void DrawSheet(Canvas& c, int frame) {
    // The sheet leaves the screen, flies in an arc and drops into the printer's slot.
    const double t = static_cast<double>(frame) / (kAviFrames - 1);
    const int x = 44 + static_cast<int>(std::lround(t * (212 - 44)));
    const int y = 10 - static_cast<int>(std::lround(std::sin(t * 3.14159265358979) * 8.0)) +
                  static_cast<int>(std::lround(t * 4.0));
    c.Frame(x, y, x + 16, y + 20, kPaper);
    for (int line = 0; line < 4; ++line)
        c.Rect(x + 3, y + 4 + line * 4, x + 13, y + 5 + line * 4, kInk);
}

std::vector<uint8_t> DrawFrame(int frame) {
    Canvas c;
    DrawComputer(c, frame);
    DrawPrinter(c, frame);
    DrawSheet(c, frame);
    return c.Pixels();
}

}  // namespace

std::vector<uint8_t> EncodeRle8(const std::vector<uint8_t>& pixels, int width, int height) {
    std::vector<uint8_t> out;
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = &pixels[static_cast<size_t>(y) * width];
        for (int x = 0; x < width;) {
            int n = 1;
            while (x + n < width && n < 255 && row[x + n] == row[x]) ++n;
            out.push_back(static_cast<uint8_t>(n));
            out.push_back(row[x]);
            x += n;
        }
        out.push_back(0);
        out.push_back(0);  // end of line
    }
    out.push_back(0);
    out.push_back(1);  // end of bitmap
    return out;
}

std::vector<uint8_t> MakeIcon() {
    const int sizes[] = {32, 16};
    std::vector<Writer> images(2);
    for (int i = 0; i < 2; ++i) IconImage(images[i], sizes[i]);
    Writer w;
    w.U16(0);
    w.U16(1);  // icon
    w.U16(2);
    uint32_t offset = 6 + 16 * 2;
    for (int i = 0; i < 2; ++i) {
        w.U8(static_cast<uint8_t>(sizes[i]));
        w.U8(static_cast<uint8_t>(sizes[i]));
        w.U8(0);   // colour count
        w.U8(0);   // reserved
        w.U16(1);  // planes
        w.U16(32);
        w.U32(static_cast<uint32_t>(images[i].out.size()));
        w.U32(offset);
        offset += static_cast<uint32_t>(images[i].out.size());
    }
    for (auto& img : images) w.Bytes(img.out);
    return w.out;
}

std::vector<uint8_t> MakeAvi() {
    std::vector<std::vector<uint8_t>> frames;
    uint32_t largest = 0;
    for (int f = 0; f < kAviFrames; ++f) {
        frames.push_back(EncodeRle8(DrawFrame(f), kAviWidth, kAviHeight));
        largest = std::max(largest, static_cast<uint32_t>(frames.back().size()));
    }
    const uint32_t bufferSize = (largest + 8 + 1) & ~1u;
    const uint32_t bytesPerSec = largest * (1000000 / kAviMicroSecPerFrame);
    const uint32_t kBiRle8 = 1, kAvifHasIndex = 0x10, kAviifKeyframe = 0x10;

    Writer w;
    const size_t riff = w.List("RIFF", "AVI ");
    const size_t hdrl = w.List("LIST", "hdrl");
    const size_t avih = w.Begin("avih");
    w.U32(kAviMicroSecPerFrame);
    w.U32(bytesPerSec);
    w.U32(0);  // padding granularity
    w.U32(kAvifHasIndex);
    w.U32(kAviFrames);
    w.U32(0);  // initial frames
    w.U32(1);  // streams
    w.U32(bufferSize);
    w.U32(kAviWidth);
    w.U32(kAviHeight);
    for (int i = 0; i < 4; ++i) w.U32(0);
    w.End(avih);
    const size_t strl = w.List("LIST", "strl");
    const size_t strh = w.Begin("strh");
    w.FourCC("vids");
    w.FourCC("mrle");
    w.U32(0);                     // flags
    w.U16(0);                     // priority
    w.U16(0);                     // language
    w.U32(0);                     // initial frames
    w.U32(kAviMicroSecPerFrame);  // scale / rate = seconds per frame
    w.U32(1000000);
    w.U32(0);  // start
    w.U32(kAviFrames);
    w.U32(bufferSize);
    w.U32(0xFFFFFFFFu);  // quality: default
    w.U32(0);            // sample size: varies
    w.U16(0);
    w.U16(0);
    w.U16(kAviWidth);
    w.U16(kAviHeight);
    w.End(strh);
    const size_t strf = w.Begin("strf");
    BitmapInfoHeader(w, kAviWidth, kAviHeight, 8, kBiRle8, largest, kColourCount);
    for (const auto& c : kPalette) {
        w.U8(c[2]);
        w.U8(c[1]);
        w.U8(c[0]);
        w.U8(0);
    }
    w.End(strf);
    w.End(strl);
    w.End(hdrl);

    const size_t movi = w.List("LIST", "movi");
    const size_t moviBase = movi + 4;  // index offsets count from the "movi" identifier
    std::vector<uint32_t> offsets;
    for (const auto& f : frames) {
        offsets.push_back(static_cast<uint32_t>(w.out.size() - moviBase));
        const size_t chunk = w.Begin("00dc");
        w.Bytes(f);
        w.End(chunk);
    }
    w.End(movi);
    const size_t idx1 = w.Begin("idx1");
    for (size_t i = 0; i < frames.size(); ++i) {
        w.FourCC("00dc");
        w.U32(kAviifKeyframe);
        w.U32(offsets[i]);
        w.U32(static_cast<uint32_t>(frames[i].size()));
    }
    w.End(idx1);
    w.End(riff);
    return w.out;
}

}  // namespace resgen
