// Firmware package files: a 64-byte header followed by the firmware data.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/platform.h"

// The package header. The program reads only the data length; the transfer-driver library
// receives all 64 bytes unchanged.
struct tagQvXmFileHeader {
    static constexpr size_t kSize = 64;
    static constexpr size_t kDataLengthOffset = 16;

    uint8_t bytes[kSize] = {};

    // A header as it stands before anything is read: 0x90, 0x40 (the header's size), the rest 0.
    static tagQvXmFileHeader Fresh();
    // The data length at offset 16, little-endian, as a signed 32-bit value.
    int32_t DataLength() const;
};
static_assert(sizeof(tagQvXmFileHeader) == 64, "the package header is 64 bytes");

// Raised when a file cannot be opened; carries the path.
class CFileException : public std::runtime_error {
  public:
    explicit CFileException(const std::string& path)
        : std::runtime_error("cannot open " + path), m_strFileName(path) {}
    std::string m_strFileName;
};

// A file opened for reading only and without sharing; closed when the object goes.
class CFile {
  public:
    // Opens the file; raises CFileException when it cannot be opened or the path does not fit
    // a 260-byte path buffer.
    explicit CFile(const std::string& path);
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    bool Seek(uint64_t offset);
    // Reads up to size bytes; returns how many were read.
    uint32_t Read(void* buffer, uint32_t size);
    void Close();

  private:
    std::unique_ptr<plat::IFile> m_file;
};

// A package file: opened at construction, its header read, the position left at 0.
class CKf7File : public CFile {
  public:
    explicit CKf7File(const std::string& path);
    ~CKf7File() override;

    tagQvXmFileHeader m_header;
};
