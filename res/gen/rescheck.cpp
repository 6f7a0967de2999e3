// Compares the resources windres compiled (a .res file) with the catalogue parsed from the same
// scripts: every dialog, control and string of both languages must agree, so the simulated
// dialogs are the real ones. Also checks that the icon, clip, manifest and version are present.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "res/catalog.h"
#include "res/resource.h"

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s\n", what.c_str());
        ++g_failures;
    }
}

std::string Utf8(const std::u16string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size())
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string Lower(std::string s) {
    for (auto& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

struct Reader {
    const std::vector<uint8_t>& b;
    size_t p;
    uint16_t U16() {
        if (p + 2 > b.size()) throw std::out_of_range("truncated");
        uint16_t v = static_cast<uint16_t>(b[p] | b[p + 1] << 8);
        p += 2;
        return v;
    }
    uint32_t U32() {
        uint32_t lo = U16();
        return lo | static_cast<uint32_t>(U16()) << 16;
    }
    // A name or ordinal: ordinals come back as "#<n>".
    std::string SzOrId() {
        uint16_t first = U16();
        if (first == 0xFFFF) return "#" + std::to_string(U16());
        std::u16string s;
        for (uint16_t c = first; c != 0; c = U16()) s += static_cast<char16_t>(c);
        return Utf8(s);
    }
    void Align4(size_t base) { p = base + ((p - base + 3) & ~size_t{3}); }
};

std::string ClassName(const std::string& c) {
    static const std::map<std::string, std::string> ordinals = {{"#128", "Button"},
                                                                {"#129", "Edit"},
                                                                {"#130", "Static"},
                                                                {"#131", "ListBox"},
                                                                {"#133", "ComboBox"}};
    auto it = ordinals.find(c);
    return it != ordinals.end() ? it->second : c;
}

void CompareDialog(const res::DialogTemplate& want, const std::vector<uint8_t>& data,
                   const std::string& where) {
    Reader r{data, 0};
    Check(r.U16() == 1 && r.U16() == 0xFFFF, where + ": not a DIALOGEX");
    r.U32();  // help id
    Check(r.U32() == want.exStyle, where + ": extended style");
    Check(r.U32() == want.style, where + ": style");
    const uint16_t count = r.U16();
    const int x = static_cast<int16_t>(r.U16()), y = static_cast<int16_t>(r.U16());
    const int cx = static_cast<int16_t>(r.U16()), cy = static_cast<int16_t>(r.U16());
    Check(x == want.x && y == want.y && cx == want.cx && cy == want.cy, where + ": geometry");
    Check(r.SzOrId().empty(), where + ": menu");
    Check(r.SzOrId().empty(), where + ": class");
    Check(r.SzOrId() == want.caption, where + ": caption");
    Check(r.U16() == want.fontSize, where + ": font size");
    r.U16();  // weight
    r.U16();  // italic, character set
    Check(r.SzOrId() == want.fontName, where + ": font name");
    Check(count == want.controls.size(), where + ": control count");
    for (size_t i = 0; i < count && i < want.controls.size(); ++i) {
        const auto& c = want.controls[i];
        const std::string at = where + " control #" + std::to_string(i);
        r.Align4(0);
        r.U32();  // help id
        Check(r.U32() == c.exStyle, at + ": extended style");
        Check(r.U32() == c.style, at + ": style");
        const int cxp = static_cast<int16_t>(r.U16()), cyp = static_cast<int16_t>(r.U16());
        const int cw = static_cast<int16_t>(r.U16()), ch = static_cast<int16_t>(r.U16());
        Check(cxp == c.x && cyp == c.y && cw == c.cx && ch == c.cy, at + ": geometry");
        Check(static_cast<int32_t>(r.U32()) == c.id, at + ": id");
        Check(Lower(ClassName(r.SzOrId())) == Lower(c.className), at + ": class");
        Check(r.SzOrId() == c.text, at + ": text");
        r.p += r.U16();  // creation data
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file.res>\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
    if (file.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    const uint16_t kEnglish = 0x409, kJapanese = 0x411;
    std::map<uint16_t, std::map<uint32_t, std::string>> strings;
    std::set<std::string> seen;
    try {
        Reader r{file, 0};
        while (r.p + 8 <= file.size()) {
            const size_t start = r.p;
            const uint32_t dataSize = r.U32(), headerSize = r.U32();
            const std::string type = r.SzOrId(), name = r.SzOrId();
            r.Align4(start);
            r.U32();  // data version
            r.U16();  // memory flags
            const uint16_t lang = r.U16();
            const size_t data = start + headerSize;
            if (data + dataSize > file.size()) throw std::out_of_range("truncated resource");
            const std::vector<uint8_t> bytes(file.begin() + data, file.begin() + data + dataSize);
            seen.insert(type + "/" + name);
            if (type == "#5") {
                const res::Lang l = lang == kJapanese ? res::Lang::Japanese : res::Lang::English;
                const auto& dialogs = res::GetCatalog(l).dialogs;
                const int id = std::stoi(name.substr(1));
                const std::string where = "dialog " + name + " lang " + std::to_string(lang);
                Check(lang == kEnglish || lang == kJapanese, where + ": language");
                auto it = dialogs.find(id);
                Check(it != dialogs.end(), where + ": not in the catalogue");
                if (it != dialogs.end()) CompareDialog(it->second, bytes, where);
            } else if (type == "#6") {
                Reader s{bytes, 0};
                const uint32_t base = (std::stoul(name.substr(1)) - 1) * 16;
                for (uint32_t i = 0; i < 16; ++i) {
                    std::u16string text;
                    for (uint16_t n = s.U16(); n > 0; --n) text += static_cast<char16_t>(s.U16());
                    if (!text.empty()) strings[lang][base + i] = Utf8(text);
                }
            }
            r.p = (data + dataSize + 3) & ~size_t{3};
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
    Check(strings[kEnglish] == res::GetCatalog(res::Lang::English).strings, "English strings");
    Check(strings[kJapanese] == res::GetCatalog(res::Lang::Japanese).strings, "Japanese strings");
    for (const char* r : {"#14/#512", "#3/#1", "AVI/#900", "#24/#1", "#16/#1"})
        Check(seen.count(r) == 1, std::string("resource ") + r + " present");
    for (int id : {IDD_ABOUTBOX, IDD_ULMAUPDATE_DIALOG, IDD_WARNING, IDD_PROGRESS, IDD_DEVPROG})
        Check(seen.count("#5/#" + std::to_string(id)) == 1, "dialog " + std::to_string(id));
    if (g_failures == 0) std::printf("%s matches the resource catalogue\n", argv[1]);
    return g_failures == 0 ? 0 : 1;
}
