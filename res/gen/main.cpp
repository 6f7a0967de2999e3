// Writes the program icon and the transfer animation into the folder given on the command line.
#include <cstdio>
#include <string>

#include "resgen.h"

namespace {
bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    if (!Write(dir + "/ulmaupdate.ico", resgen::MakeIcon()) ||
        !Write(dir + "/transfer.avi", resgen::MakeAvi())) {
        std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
