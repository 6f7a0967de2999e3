// Small whole-file and line helpers for the stand-ins, on C stdio: the stand-in DLLs stay small
// and load quickly because they carry no stream library.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace standin_text {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

inline File Open(const std::string& path, const char* mode) {
    return File(std::fopen(path.c_str(), mode));
}

// The whole file as bytes; false when it cannot be opened.
inline bool ReadWholeFile(const std::string& path, std::string& text) {
    File f = Open(path, "rb");
    if (!f) return false;
    text.clear();
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) text.append(buffer, n);
    return true;
}

inline bool FileExists(const std::string& path) { return static_cast<bool>(Open(path, "rb")); }

// Replaces the file with the bytes.
inline void WriteWholeFile(const std::string& path, const void* data, size_t size) {
    if (File f = Open(path, "wb")) std::fwrite(data, 1, size, f.get());
}

// Appends the line and a line feed.
inline void AppendLine(const std::string& path, const std::string& line) {
    if (File f = Open(path, "ab")) {
        std::fwrite(line.data(), 1, line.size(), f.get());
        std::fputc('\n', f.get());
    }
}

// The lines of a text, split at line feeds, the way repeated std::getline splits them: a last
// line without a line feed counts, an empty remainder after the last line feed does not.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace standin_text
