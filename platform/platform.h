// The narrow interfaces through which the tool's logic reaches the outside world. Each is shaped
// after the Windows calls the logic needs; platform/win32 implements them for real and
// platform/sim simulates a Windows machine in memory. The logic never includes <windows.h>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/wintypes.h"

namespace plat {

// An opaque reference to a window (dialog or control); 0 is "no window".
struct Window {
    uintptr_t id = 0;
    explicit operator bool() const { return id != 0; }
    friend bool operator==(Window a, Window b) { return a.id == b.id; }
    friend bool operator!=(Window a, Window b) { return a.id != b.id; }
};

struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct OsVersion {
    uint32_t major = 0, minor = 0, build = 0, platformId = 0;
};

// ---------------------------------------------------------------------------------------------
// Kernel services.

// A file opened for reading; closed when the object goes.
class IFile {
  public:
    virtual ~IFile() = default;
    // Moves to an absolute byte offset; false on failure.
    virtual bool Seek(uint64_t offset) = 0;
    // Reads up to `size` bytes; returns how many were read (0 at the end or on failure).
    virtual uint32_t Read(void* buffer, uint32_t size) = 0;
};

// A named lock that this process holds; given back when the object goes.
class IHeldLock {
  public:
    virtual ~IHeldLock() = default;
};

class ISystem {
  public:
    virtual ~ISystem() = default;
    // Full path of the running executable (GetModuleFileNameA), for 260-byte fields; false when
    // it cannot be had or is empty. The Windows layer refuses a path of 260 bytes or more.
    virtual bool GetModuleFileName(std::string& path) = 0;
    // True when a file (not a directory) exists at exactly this path.
    virtual bool FileExists(const std::string& path) = 0;
    // GetPrivateProfileStringA: copies at most size-1 bytes and a terminator into buffer, the
    // default when the key or section is missing; returns the bytes copied.
    virtual uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def,
                                             char* buffer, uint32_t size, const char* file) = 0;
    // ANSI code page character stepping.
    virtual bool IsDBCSLeadByte(uint8_t byte) = 0;
    virtual const char* CharNext(const char* p) = 0;
    // Opens a file for reading without sharing (GENERIC_READ, share 0, OPEN_EXISTING, binary);
    // null when it cannot be opened.
    virtual std::unique_ptr<IFile> OpenFileForReading(const std::string& path) = 0;
    virtual void Sleep(uint32_t ms) = 0;
    // GetVersionExA with an OSVERSIONINFOA of 148 bytes; false when the call fails.
    virtual bool GetVersionEx(OsVersion& out) = 0;
    // True when this 32-bit process runs on 64-bit Windows (IsWow64Process looked up in kernel32).
    virtual bool IsWow64() = 0;
    // Takes the current directory out of the library search order (SetDllDirectoryA("")).
    virtual bool RemoveCurrentDirectoryFromDllSearch() = 0;
    // Starts a thread at normal priority with the default stack; the caller never joins it.
    // Returns false when it cannot be started.
    virtual bool StartThread(std::function<uint32_t()> entry) = 0;
    // SetThreadExecutionState; returns the previous state (0 on failure).
    virtual uint32_t SetThreadExecutionState(uint32_t flags) = 0;
    // Takes the named lock that every process on the computer shares (a named mutex). Null when
    // another process holds it; a lock that cannot be made at all is reported as held here, so
    // that the caller goes on as it would without the lock.
    virtual std::unique_ptr<IHeldLock> HoldNamedLock(const std::string& name) = 0;
};

// A loaded library; freed (FreeLibrary) when the object goes.
class IModule {
  public:
    virtual ~IModule() = default;
    virtual void* GetProcAddress(const char* name) = 0;
};

class IModules {
  public:
    virtual ~IModules() = default;
    // LoadLibraryA with this name or path; null on failure.
    virtual std::unique_ptr<IModule> LoadLibrary(const std::string& name) = 0;
};

// Resolves an export with the function type the caller expects: the one typed GetProcAddress.
template <class Fn>
Fn GetProc(IModule& module, const char* name) {
    return reinterpret_cast<Fn>(module.GetProcAddress(name));
}

// ---------------------------------------------------------------------------------------------
// Print spooler and GDI.

// The fields of a PRINTER_INFO_2A record that the tool reads.
struct PrinterInfo2 {
    const char* pServerName = nullptr;
    const char* pPrinterName = nullptr;
    const char* pPortName = nullptr;
    const char* pDriverName = nullptr;
};

// An open printer (OpenPrinterA); ClosePrinter when the object goes.
class IPrinterHandle {
  public:
    virtual ~IPrinterHandle() = default;
    // GetPrinterA level 2 into buffer; needed receives the size the spooler asks for.
    virtual bool GetPrinter2(uint8_t* buffer, uint32_t size, uint32_t* needed) = 0;
    // DocumentPropertiesA(no window, this handle, deviceName, out, in, mode).
    virtual int32_t DocumentProperties(const char* deviceName, void* out, const void* in,
                                       uint32_t mode) = 0;
};

class ISpooler {
  public:
    virtual ~ISpooler() = default;
    // EnumPrintersA(flags, no name, level, buffer, size, needed, returned).
    virtual bool EnumPrinters(uint32_t flags, uint32_t level, uint8_t* buffer, uint32_t size,
                              uint32_t* needed, uint32_t* returned) = 0;
    // The record at index of a level-2 buffer filled by EnumPrinters or GetPrinter2.
    virtual PrinterInfo2 Info2At(const uint8_t* buffer, uint32_t index) = 0;
    // The size in bytes of one record of such a buffer.
    virtual size_t Info2Size() const = 0;
    // OpenPrinterA(name, &handle, no defaults); null on failure.
    virtual std::unique_ptr<IPrinterHandle> OpenPrinter(const char* name) = 0;
    // The name in the form under which the spooler compares queue names: two names that open
    // the same queue, as they differ only in the case of letters (any letters, not only A to
    // Z), give the same key.
    virtual std::string QueueNameKey(const std::string& name) = 0;
    // DeviceCapabilitiesA(device, port, capability, output, devmode). outputSize is the size of
    // the output buffer in bytes; no more than that is ever written, even when the driver has
    // more entries than fit (the real call cannot pass the size on, so the layer sees to it).
    virtual int32_t DeviceCapabilities(const char* device, const char* port, uint16_t capability,
                                       void* output, size_t outputSize, const void* devmode) = 0;
};

// An information context (CreateICA); DeleteDC when the object goes.
class IDeviceContext {
  public:
    virtual ~IDeviceContext() = default;
    virtual int Escape(int code, int inSize, const void* in, void* out) = 0;
};

class IGdi {
  public:
    virtual ~IGdi() = default;
    virtual std::unique_ptr<IDeviceContext> CreateIC(const char* driver, const char* device,
                                                     const char* port, const void* devmode) = 0;
};

// ---------------------------------------------------------------------------------------------
// Registry, read only.

// An open key; RegCloseKey when the object goes.
class IRegKey {
  public:
    virtual ~IRegKey() = default;
    // RegEnumKeyExA: name receives the subkey name; nameLength is in/out in characters.
    virtual long EnumKey(uint32_t index, char* name, uint32_t* nameLength) = 0;
    // RegQueryValueExA.
    virtual long QueryValue(const char* valueName, uint32_t* type, uint8_t* data,
                            uint32_t* dataSize) = 0;
};

class IRegistry {
  public:
    virtual ~IRegistry() = default;
    // RegOpenKeyExA below HKEY_LOCAL_MACHINE (parent null) or below an open key.
    virtual long OpenKey(IRegKey* parent, const char* subKey, uint32_t access,
                         std::unique_ptr<IRegKey>& out) = 0;
};

// ---------------------------------------------------------------------------------------------
// User interface.

// Receives the messages of one dialog window: implemented by the dialog base class.
class IDialogHost {
  public:
    virtual ~IDialogHost() = default;
    // The dialog procedure: non-zero when the message was handled. Never throws.
    virtual intptr_t DialogProc(Window window, uint32_t message, uintptr_t wParam,
                                intptr_t lParam) noexcept = 0;
};

class IUi {
  public:
    virtual ~IUi() = default;
    // String resource by id in the user's language; empty when there is none.
    virtual std::string LoadString(uint32_t id) = 0;
    // MessageBoxA; returns the button pressed.
    virtual int MessageBox(Window owner, const std::string& text, const std::string& caption,
                           uint32_t type) = 0;
    virtual Window GetActiveWindow() = 0;
    // DialogBoxParamA: runs a modal loop; -1 when the dialog cannot be created.
    virtual intptr_t DialogBox(int templateId, Window parent, IDialogHost* host) = 0;
    // CreateDialogParamA: a modeless dialog; no window on failure.
    virtual Window CreateDialog(int templateId, Window parent, IDialogHost* host) = 0;
    virtual bool EndDialog(Window dialog, intptr_t result) = 0;
    virtual bool DestroyWindow(Window window) = 0;
    virtual bool IsWindow(Window window) = 0;
    virtual Window GetDlgItem(Window dialog, int id) = 0;
    virtual bool SetWindowText(Window window, const std::string& text) = 0;
    virtual std::string GetWindowText(Window window) = 0;
    virtual bool EnableWindow(Window window, bool enable) = 0;
    virtual bool IsWindowEnabled(Window window) = 0;
    virtual bool ShowWindow(Window window, int command) = 0;
    virtual bool IsWindowVisible(Window window) = 0;
    virtual bool IsIconic(Window window) = 0;
    virtual bool GetWindowRect(Window window, Rect& rect) = 0;
    virtual bool GetClientRect(Window window, Rect& rect) = 0;
    // SetWindowPos to the top of the z-order without changing the size.
    virtual bool MoveToTop(Window window, int x, int y) = 0;
    // SendMessageA: from another thread the call waits until the window's thread serves it.
    virtual intptr_t SendMessage(Window window, uint32_t message, uintptr_t wParam,
                                 intptr_t lParam) = 0;
    virtual bool PostMessage(Window window, uint32_t message, uintptr_t wParam,
                             intptr_t lParam) = 0;
    // The window's system menu, 0 when it has none; AppendMenuA on it.
    virtual uintptr_t GetSystemMenu(Window window) = 0;
    virtual bool AppendMenu(uintptr_t menu, uint32_t flags, uintptr_t id, const char* text) = 0;
    // Icon resource of the program; 0 when it cannot be loaded.
    virtual uintptr_t LoadIcon(int resourceId) = 0;
    // The module whose resources hold the animation clips (wParam of ACM_OPENA).
    virtual uintptr_t ResourceModule() = 0;
    virtual int GetSystemMetrics(uint32_t index) = 0;
    // Paints the minimised window's icon centred (WM_ICONERASEBKGND with the paint DC, then
    // DrawIcon at x, y); used by the paint handler.
    virtual void PaintIcon(Window window, uintptr_t icon, int x, int y) = 0;
    // Shows the wait cursor and returns what to restore; RestoreCursor puts it back.
    virtual uintptr_t BeginWaitCursor() = 0;
    virtual void RestoreCursor(uintptr_t previous) = 0;
    // Asks Windows to hold a shutdown or log-off, giving string resource reasonId as the reason;
    // UnblockShutdown releases it.
    virtual bool BlockShutdown(Window window, uint32_t reasonId) = 0;
    virtual bool UnblockShutdown(Window window) = 0;
    // Serves the pending paint messages of this thread's windows and the messages other threads
    // sent to them (but no input), so that windows stay painted and a sending thread is answered
    // while the thread waits. The default does nothing.
    virtual void PumpPaintMessages() {}
    // Drops the keyboard and mouse input that arrived while this thread read none, so that keys
    // typed at a window that did not respond do not answer the next window. The default does
    // nothing.
    virtual void DiscardTypedInput() {}
};

// ---------------------------------------------------------------------------------------------

// The platform in use by this process: installed once by the real entry point or by a test's
// simulated machine.
struct Platform {
    ISystem* system = nullptr;
    IModules* modules = nullptr;
    ISpooler* spooler = nullptr;
    IGdi* gdi = nullptr;
    IRegistry* registry = nullptr;
    IUi* ui = nullptr;
};

Platform& Get();
void Install(const Platform& platform);

inline ISystem& System() { return *Get().system; }
inline IModules& Modules() { return *Get().modules; }
inline ISpooler& Spooler() { return *Get().spooler; }
inline IGdi& Gdi() { return *Get().gdi; }
inline IRegistry& Registry() { return *Get().registry; }
inline IUi& Ui() { return *Get().ui; }

}  // namespace plat
