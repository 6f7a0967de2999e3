#include "device/infolib.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "app/app.h"
#include "app/framework.h"
#include "platform/maker_api.h"
#include "platform/platform.h"
#include "platform/wintypes.h"
#include "res/resource.h"

namespace infolib {

namespace {

// Vendor name beginnings that never have an information library of ours; only the first three
// characters of each row take part.
const char* const kExcluded[] = {"EPS", "Mic", "Can", "DECP", "HP Sports", "IBML", "NECS", ""};

constexpr char kProduct[] = "Q-varni";
constexpr char kDriverKey[] = "Driver";
constexpr char kVersionKey[] = "3.0";

enum class Subkey { Named, TooLong, End };

// Reads the subkey at `index` into name. An enumeration error or an empty name ends the search.
// A name too long for the buffer cannot be one the search looks for (no path built from it
// would fit either), so another program's long key is passed over rather than ending it.
Subkey EnumName(plat::IRegKey& key, uint32_t index, char (&name)[kKeyNameBuffer]) {
    uint32_t length = kKeyNameBuffer;
    name[0] = '\0';
    long status = key.EnumKey(index, name, &length);
    if (status == win::ERROR_MORE_DATA) {
        name[0] = '\0';
        return Subkey::TooLong;
    }
    if (status != win::ERROR_SUCCESS) return Subkey::End;
    name[kKeyNameBuffer - 1] = '\0';
    return name[0] != '\0' ? Subkey::Named : Subkey::End;
}

}  // namespace

bool IsExcludedName(const char* name) {
    if (!name) return true;
    for (const char* row : kExcluded) {
        if (!*row) break;
        if (std::strncmp(name, row, 3) == 0) return true;
    }
    return false;
}

std::string RegistryKeyName() {
    const std::string& key = GetApp().RegistryKey();
    return key.empty() ? app::LoadStr(IDS_REGISTRY_KEY) : key;
}

}  // namespace infolib

using namespace infolib;

bool IsWow64() { return plat::System().IsWow64(); }

int FindInfoLibrary(const char* searchedName, char* dest, uint32_t destSize) {
    if (!searchedName || !dest || destSize == 0) return kNoLibrary;
    const uint32_t access = win::KEY_READ | (IsWow64() ? win::KEY_WOW64_64KEY : 0);
    if (IsExcludedName(searchedName)) return kNoLibrary;

    // Every key is closed when its holder goes, on every way out.
    plat::IRegistry& registry = plat::Registry();
    std::unique_ptr<plat::IRegKey> software;
    if (registry.OpenKey(nullptr, "SOFTWARE", access, software) != win::ERROR_SUCCESS || !software)
        return kNoLibrary;

    const std::string vendor = RegistryKeyName();
    char name[kKeyNameBuffer];
    // After the limit without a match the search goes on; opening the path then decides.
    for (int i = 0; i < kMaxVendorKeys; ++i) {
        Subkey read = EnumName(*software, uint32_t(i), name);
        if (read == Subkey::End) return kNoLibrary;
        if (read == Subkey::Named && vendor == name) break;
    }

    char path[kKeyNameBuffer];
    int n = std::snprintf(path, sizeof path, "%s\\%s\\%s\\%s", vendor.c_str(), kProduct, kDriverKey,
                          kVersionKey);
    if (n < 0 || size_t(n) >= sizeof path) return kNoLibrary;
    std::unique_ptr<plat::IRegKey> models;
    if (registry.OpenKey(software.get(), path, access, models) != win::ERROR_SUCCESS || !models)
        return kNoLibrary;
    // Only the searched model's own key is opened: after the limit without a match there is no
    // library, never the library of whichever model came last.
    bool matched = false;
    for (int i = 0; i < kMaxModelKeys && !matched; ++i) {
        Subkey read = EnumName(*models, uint32_t(i), name);
        if (read == Subkey::End) return kNoLibrary;
        matched = read == Subkey::Named && std::strcmp(name, searchedName) == 0;
    }
    models.reset();
    if (!matched) return kNoLibrary;

    // A path that does not fit the buffer is not searched rather than cut to another key's.
    n = std::snprintf(path, sizeof path, "%s\\%s\\%s\\%s\\%s", vendor.c_str(), kProduct, kDriverKey,
                      kVersionKey, name);
    if (n < 0 || size_t(n) >= sizeof path) return kNoLibrary;
    std::unique_ptr<plat::IRegKey> model;
    if (registry.OpenKey(software.get(), path, access, model) != win::ERROR_SUCCESS || !model)
        return kNoLibrary;

    uint32_t type = 0;
    uint32_t size = destSize;
    long status = model->QueryValue(kValueName, &type, reinterpret_cast<uint8_t*>(dest), &size);
    model.reset();
    software.reset();

    // A value that does not end inside the buffer is not a usable path: the buffer would hold
    // no terminator.
    bool readable = status == win::ERROR_SUCCESS && size <= destSize &&
                    std::memchr(dest, '\0', size) != nullptr;
    if (!readable) {
        dest[0] = '\0';
        return kNoLibrary;
    }
    return CheckInfoLibrary(dest, searchedName) ? kLibraryChecked : kLibraryUnchecked;
}

int CheckInfoLibrary(const char* path, const char* searchedName) {
    if (!path) return 0;
    std::unique_ptr<plat::IModule> module = plat::Modules().LoadLibrary(path);
    if (!module) return 0;
    auto query = plat::GetProc<maker::PFN_MyDeviceCapabilities>(*module, kExport);
    if (!query) return 0;
    int32_t answer = query(searchedName, "", kCapDriverFlags, nullptr, nullptr);
    return answer != -1 && (uint32_t(answer) & kSpecialTapeSupport) ? 1 : 0;
}
