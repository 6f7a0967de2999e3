#include "transfer/kf7file.h"

#include <cstring>

namespace {
// Longest path the system's 260-byte path buffer holds with its terminator.
constexpr size_t kMaxPath = 259;
}  // namespace

tagQvXmFileHeader tagQvXmFileHeader::Fresh() {
    tagQvXmFileHeader h;
    h.bytes[0] = 0x90;
    h.bytes[1] = 0x40;
    return h;
}

int32_t tagQvXmFileHeader::DataLength() const {
    uint32_t v = static_cast<uint32_t>(bytes[kDataLengthOffset]) |
                 static_cast<uint32_t>(bytes[kDataLengthOffset + 1]) << 8 |
                 static_cast<uint32_t>(bytes[kDataLengthOffset + 2]) << 16 |
                 static_cast<uint32_t>(bytes[kDataLengthOffset + 3]) << 24;
    int32_t s;
    std::memcpy(&s, &v, sizeof s);
    return s;
}

CFile::CFile(const std::string& path) {
    if (path.empty() || path.size() > kMaxPath) throw CFileException(path);
    m_file = plat::System().OpenFileForReading(path);
    if (!m_file) throw CFileException(path);
}

CFile::~CFile() = default;

bool CFile::Seek(uint64_t offset) { return m_file && m_file->Seek(offset); }

uint32_t CFile::Read(void* buffer, uint32_t size) {
    return m_file ? m_file->Read(buffer, size) : 0;
}

void CFile::Close() { m_file.reset(); }

CKf7File::CKf7File(const std::string& path) : CFile(path), m_header(tagQvXmFileHeader::Fresh()) {
    Seek(0);
    // A short file leaves the rest of the header at its fresh values.
    uint8_t buffer[tagQvXmFileHeader::kSize];
    uint32_t got = Read(buffer, sizeof buffer);
    if (got > sizeof buffer) got = sizeof buffer;
    std::memcpy(m_header.bytes, buffer, got);
    Seek(0);
}

CKf7File::~CKf7File() { Close(); }
