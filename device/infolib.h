// The lookup of a driver's information library: the registry tells where a label-printer driver
// installed it, and one capability query checks that it is the right kind of library.
#pragma once
#include <cstdint>
#include <string>

namespace infolib {

// FindInfoLibrary results.
constexpr int kNoLibrary = 0;
constexpr int kLibraryUnchecked = 1;  // path found, but the library failed the check
constexpr int kLibraryChecked = 2;    // path found and the library supports special tape

// Capabilities the information library answers through MyDeviceCapabilities.
constexpr uint32_t kCapDriverFlags = 269;
constexpr uint32_t kCapTapes = 257;
constexpr uint32_t kCapFeeds = 270;
constexpr uint32_t kCapColors = 271;
constexpr uint32_t kCapOrigin = 274;
constexpr uint32_t kCapOffset = 275;
constexpr uint32_t kCap276 = 276;
constexpr uint32_t kCapModelCode = 278;
// Bit of the driver flags: the library supports special tape.
constexpr uint32_t kSpecialTapeSupport = 0x40000;

constexpr char kExport[] = "MyDeviceCapabilities";
constexpr char kValueName[] = "Info Dll";
// Buffers of subkey names and of relative key paths, terminator included.
constexpr uint32_t kKeyNameBuffer = 144;
constexpr int kMaxVendorKeys = 3000;
constexpr int kMaxModelKeys = 300;

// True for a name whose first three characters equal those of an excluded vendor prefix.
bool IsExcludedName(const char* name);
// The application's registry key name; before start-up has set it, string resource 1010.
std::string RegistryKeyName();

}  // namespace infolib

// True when this 32-bit program runs on 64-bit Windows.
bool IsWow64();
// Searches the registry for the information library of `searchedName` (a printer or a driver
// name) and writes its path into dest (destSize bytes). 0, 1 or 2 (see infolib::k*).
int FindInfoLibrary(const char* searchedName, char* dest, uint32_t destSize);
// 1 when the library at `path` loads and answers capability 269 with special-tape support.
int CheckInfoLibrary(const char* path, const char* searchedName);
