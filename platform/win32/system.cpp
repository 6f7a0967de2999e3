// Kernel services and library loading over the Windows API.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace plat::win32 {

namespace {

// Characters of the longest path Windows knows, and a terminator.
constexpr size_t kLongestPath = 32768;

class File : public IFile {
  public:
    explicit File(FileHandle handle) : m_handle(std::move(handle)) {}

    bool Seek(uint64_t offset) override {
        LARGE_INTEGER distance;
        distance.QuadPart = static_cast<LONGLONG>(offset);
        return ::SetFilePointerEx(m_handle.get(), distance, nullptr, FILE_BEGIN) != 0;
    }

    uint32_t Read(void* buffer, uint32_t size) override {
        DWORD read = 0;
        if (!::ReadFile(m_handle.get(), buffer, size, &read, nullptr)) return 0;
        return read;
    }

  private:
    FileHandle m_handle;
};

class Module : public IModule {
  public:
    explicit Module(ModuleHandle handle) : m_handle(std::move(handle)) {}

    void* GetProcAddress(const char* name) override {
        return reinterpret_cast<void*>(GetProcAs<void (*)()>(m_handle.get(), name));
    }

  private:
    ModuleHandle m_handle;
};

// The thread entry of StartThread: runs the function it is handed and lets no exception out.
DWORD WINAPI ThreadEntry(LPVOID parameter) {
    std::unique_ptr<std::function<uint32_t()>> entry(
        static_cast<std::function<uint32_t()>*>(parameter));
    try {
        return (*entry)();
    } catch (...) {
        return static_cast<DWORD>(-1);
    }
}

// True when the last part of path is a name Windows takes for a device in any folder: CON, PRN,
// AUX, NUL, COM1 to COM9 or LPT1 to LPT9, with any extension, trailing spaces or colons.
bool NamesADevice(const std::string& path) {
    std::string whole = path;
    while (!whole.empty() && whole.back() == ':') whole.pop_back();
    // The name starts after the last separator, stepping by characters so that the trail byte
    // of a double-byte character is never taken for one.
    size_t start = 0;
    for (const char* p = whole.c_str(); *p;) {
        size_t at = static_cast<size_t>(p - whole.c_str());
        if (!::IsDBCSLeadByte(static_cast<BYTE>(*p)) &&
            (*p == '\\' || *p == '/' || (*p == ':' && at == 1))) {
            start = at + 1;
        }
        const char* next = ::CharNextA(p);
        if (next <= p) break;
        p = next;
    }
    std::string name = whole.substr(start);
    name.resize(std::min(name.size(), name.find_first_of(".:")));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.size() == 3) {
        for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
            if (::lstrcmpiA(name.c_str(), device) == 0) return true;
        }
        return false;
    }
    if (name.size() == 4 && name[3] >= '1' && name[3] <= '9') {
        std::string stem = name.substr(0, 3);
        return ::lstrcmpiA(stem.c_str(), "COM") == 0 || ::lstrcmpiA(stem.c_str(), "LPT") == 0;
    }
    return false;
}

}  // namespace

bool System::GetModuleFileName(std::string& path) {
    // Asked in UTF-16 with room for the longest path there is, then turned into the code page
    // without "best fit": a folder name the code page cannot hold is refused, never answered as
    // a look-alike that names another folder (a name in full-width letters would become the
    // same name in plain letters, and the configuration and packages would be read from that
    // folder). A path too long for the 260-byte name fields is refused too, never cut: in a
    // 260-byte buffer a double-byte path can arrive cut before a character that did not fit,
    // terminated and answered as if whole.
    std::vector<wchar_t> wide(kLongestPath);
    DWORD length = ::GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
    if (length == 0 || length >= wide.size()) return false;
    // UTF-8 holds every character, and takes neither the flag nor the question.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL lossy = FALSE;
    int bytes = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(length), nullptr,
                                      0, nullptr, utf8 ? nullptr : &lossy);
    if (bytes <= 0 || lossy || bytes >= MAX_PATH) return false;
    std::string ansi(static_cast<size_t>(bytes), '\0');
    if (::WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(length), &ansi[0], bytes,
                              nullptr, utf8 ? nullptr : &lossy) != bytes ||
        lossy)
        return false;
    path = std::move(ansi);
    return true;
}

bool System::FileExists(const std::string& path) {
    // The search is for this one path: a wildcard (the search also takes <, > and " as ones)
    // would match other names, and no file name holds one.
    if (path.empty() || path.find_first_of("*?<>\"") != std::string::npos) return false;
    // A device name is found in every folder that exists, as if it were a file there; opening
    // it would reach the device (a serial port, a printer port, the console).
    if (NamesADevice(path)) return false;
    WIN32_FIND_DATAA data;
    FindHandle find(::FindFirstFileA(path.c_str(), &data));
    if (!find) return false;
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

uint32_t System::GetPrivateProfileString(const char* section, const char* key, const char* def,
                                         char* buffer, uint32_t size, const char* file) {
    return ::GetPrivateProfileStringA(section, key, def, buffer, size, file);
}

bool System::IsDBCSLeadByte(uint8_t byte) { return ::IsDBCSLeadByte(byte) != 0; }

const char* System::CharNext(const char* p) { return ::CharNextA(p); }

std::unique_ptr<IFile> System::OpenFileForReading(const std::string& path) {
    // A device name would open the device itself: a serial port whose read blocks, a printer port.
    if (NamesADevice(path)) return nullptr;
    FileHandle handle(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return nullptr;
    return std::make_unique<File>(std::move(handle));
}

void System::Sleep(uint32_t ms) { ::Sleep(ms); }

bool System::GetVersionEx(OsVersion& out) {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!::GetVersionExA(&info)) return false;
#pragma GCC diagnostic pop
    out.major = info.dwMajorVersion;
    out.minor = info.dwMinorVersion;
    out.build = info.dwBuildNumber;
    out.platformId = info.dwPlatformId;
    return true;
}

bool System::IsWow64() {
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    ModuleHandle kernel(::LoadLibraryA("kernel32"));
    auto isWow64Process = GetProcAs<IsWow64ProcessFn>(kernel.get(), "IsWow64Process");
    if (!isWow64Process) return false;
    BOOL wow64 = FALSE;
    if (!isWow64Process(::GetCurrentProcess(), &wow64)) return false;
    return wow64 != FALSE;
}

bool System::RemoveCurrentDirectoryFromDllSearch() { return ::SetDllDirectoryA("") != 0; }

bool System::StartThread(std::function<uint32_t()> entry) {
    if (!entry) return false;
    // Out of memory is answered as a thread that could not start, as the interface promises.
    std::unique_ptr<std::function<uint32_t()>> parameter(
        new (std::nothrow) std::function<uint32_t()>(std::move(entry)));
    if (!parameter) return false;
    ThreadHandle thread(::CreateThread(nullptr, 0, ThreadEntry, parameter.get(), 0, nullptr));
    if (!thread) return false;  // the function is freed here
    (void)parameter.release();  // now owned by the thread entry
    // The thread runs on by itself; its handle is not needed.
    return true;
}

uint32_t System::SetThreadExecutionState(uint32_t flags) {
    return ::SetThreadExecutionState(static_cast<EXECUTION_STATE>(flags));
}

namespace {

class HeldMutex : public IHeldLock {
  public:
    explicit HeldMutex(MutexHandle mutex) : m_mutex(std::move(mutex)) {}

  private:
    MutexHandle m_mutex;  // the name is given up when the last handle to it closes
};

}  // namespace

std::unique_ptr<IHeldLock> System::HoldNamedLock(const std::string& name) {
    ::SetLastError(ERROR_SUCCESS);
    MutexHandle mutex(::CreateMutexA(nullptr, FALSE, name.c_str()));
    DWORD error = ::GetLastError();
    // The name exists already: another copy holds it. Access denied: a copy run by another user
    // holds it under its own rights.
    if (error == ERROR_ALREADY_EXISTS || (!mutex && error == ERROR_ACCESS_DENIED)) return nullptr;
    // Any other failure leaves the caller as it would be without the lock.
    return std::make_unique<HeldMutex>(std::move(mutex));
}

std::unique_ptr<IModule> Modules::LoadLibrary(const std::string& name) {
    // A library that cannot be loaded is reported in the tool's own words: the loader's own
    // error box (a damaged file, a drive without its disk) is kept from coming up first.
    const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    ModuleHandle handle(::LoadLibraryA(name.c_str()));
    ::SetErrorMode(previous);
    if (!handle) return nullptr;
    return std::make_unique<Module>(std::move(handle));
}

}  // namespace plat::win32
