// Move-only owners of the Windows handles the platform layer acquires, and the one typed
// GetProcAddress helper. Each owner releases its handle with the matching call when it goes.
#pragma once
#include <utility>

#include "platform/win32/windows_api.h"

namespace plat::win32 {

// Owns one handle of type H; Close is called with it unless it equals the Invalid value.
template <class H, class Traits>
class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(H handle) noexcept : m_handle(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    H get() const noexcept { return m_handle; }
    explicit operator bool() const noexcept { return m_handle != Traits::Invalid(); }
    H release() noexcept { return std::exchange(m_handle, Traits::Invalid()); }
    void reset(H handle = Traits::Invalid()) noexcept {
        H old = std::exchange(m_handle, handle);
        if (old != Traits::Invalid()) Traits::Close(old);
    }
    // For calls that return the handle through an out-parameter; releases the current one.
    H* put() noexcept {
        reset();
        return &m_handle;
    }

  private:
    H m_handle = Traits::Invalid();
};

struct KernelHandleTraits {  // files: CloseHandle, invalid is INVALID_HANDLE_VALUE
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct ThreadHandleTraits {  // CreateThread and CreateMutexA answer null on failure
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { ::FindClose(h); }
};
struct ModuleTraits {
    static HMODULE Invalid() noexcept { return nullptr; }
    static void Close(HMODULE h) noexcept { ::FreeLibrary(h); }
};
struct RegKeyTraits {
    static HKEY Invalid() noexcept { return nullptr; }
    static void Close(HKEY h) noexcept { ::RegCloseKey(h); }
};
struct PrinterTraits {
    static HANDLE Invalid() noexcept { return nullptr; }
    static void Close(HANDLE h) noexcept { ::ClosePrinter(h); }
};
struct DcTraits {  // a DC made by CreateICA / CreateDCA
    static HDC Invalid() noexcept { return nullptr; }
    static void Close(HDC h) noexcept { ::DeleteDC(h); }
};
struct GlobalTraits {
    static HGLOBAL Invalid() noexcept { return nullptr; }
    static void Close(HGLOBAL h) noexcept { ::GlobalFree(h); }
};
struct IconTraits {
    static HICON Invalid() noexcept { return nullptr; }
    static void Close(HICON h) noexcept { ::DestroyIcon(h); }
};

using FileHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using ThreadHandle = UniqueHandle<HANDLE, ThreadHandleTraits>;
using MutexHandle = UniqueHandle<HANDLE, ThreadHandleTraits>;
using FindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using ModuleHandle = UniqueHandle<HMODULE, ModuleTraits>;
using RegKeyHandle = UniqueHandle<HKEY, RegKeyTraits>;
using PrinterHandle = UniqueHandle<HANDLE, PrinterTraits>;
using DcHandle = UniqueHandle<HDC, DcTraits>;
using GlobalHandle = UniqueHandle<HGLOBAL, GlobalTraits>;
using IconHandle = UniqueHandle<HICON, IconTraits>;

// Keeps a movable global memory block locked while it lives.
class GlobalLockScope {
  public:
    explicit GlobalLockScope(HGLOBAL block) noexcept
        : m_block(block), m_data(block ? ::GlobalLock(block) : nullptr) {}
    ~GlobalLockScope() {
        if (m_data) ::GlobalUnlock(m_block);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    void* data() const noexcept { return m_data; }

  private:
    HGLOBAL m_block;
    void* m_data;
};

// BeginPaint / EndPaint around one paint message.
class PaintScope {
  public:
    explicit PaintScope(HWND window) noexcept : m_window(window) {
        m_dc = ::BeginPaint(window, &m_paint);
    }
    ~PaintScope() { ::EndPaint(m_window, &m_paint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const noexcept { return m_dc; }

  private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc = nullptr;
};

// The one typed GetProcAddress: the export `name` of `module` as a pointer of type Fn, or null.
template <class Fn>
Fn GetProcAs(HMODULE module, const char* name) noexcept {
    if (!module) return nullptr;
    FARPROC proc = ::GetProcAddress(module, name);
    // Through the generic function pointer type, which the compiler accepts as a cast source
    // for any function type.
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace plat::win32
