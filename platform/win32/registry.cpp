// Read-only registry access over the Windows API.
#include <utility>

#include "platform/win32/win32_platform.h"

namespace plat::win32 {

namespace {

class Key : public IRegKey {
  public:
    explicit Key(RegKeyHandle handle) : m_handle(std::move(handle)) {}

    long EnumKey(uint32_t index, char* name, uint32_t* nameLength) override {
        DWORD length = nameLength ? *nameLength : 0;
        LONG status = ::RegEnumKeyExA(m_handle.get(), index, name, &length, nullptr, nullptr,
                                      nullptr, nullptr);
        if (nameLength) *nameLength = length;
        return status;
    }

    long QueryValue(const char* valueName, uint32_t* type, uint8_t* data,
                    uint32_t* dataSize) override {
        DWORD valueType = 0;
        DWORD size = dataSize ? *dataSize : 0;
        LONG status = ::RegQueryValueExA(m_handle.get(), valueName, nullptr, &valueType, data,
                                         dataSize ? &size : nullptr);
        if (type) *type = valueType;
        if (dataSize) *dataSize = size;
        return status;
    }

    HKEY get() const { return m_handle.get(); }

  private:
    RegKeyHandle m_handle;
};

}  // namespace

long Registry::OpenKey(IRegKey* parent, const char* subKey, uint32_t access,
                       std::unique_ptr<IRegKey>& out) {
    HKEY base = HKEY_LOCAL_MACHINE;
    if (parent) {
        auto* key = dynamic_cast<Key*>(parent);
        if (!key) return ERROR_INVALID_HANDLE;
        base = key->get();
    }
    RegKeyHandle handle;
    LONG status = ::RegOpenKeyExA(base, subKey, 0, access, handle.put());
    if (status != ERROR_SUCCESS) return status;
    out = std::make_unique<Key>(std::move(handle));
    return ERROR_SUCCESS;
}

}  // namespace plat::win32
