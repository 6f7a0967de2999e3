// The real Windows implementations of the platform interfaces.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win32/handles.h"
#include "platform/win32/windows_api.h"

namespace plat::win32 {

class System : public ISystem {
  public:
    bool GetModuleFileName(std::string& path) override;
    bool FileExists(const std::string& path) override;
    uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def,
                                     char* buffer, uint32_t size, const char* file) override;
    bool IsDBCSLeadByte(uint8_t byte) override;
    const char* CharNext(const char* p) override;
    std::unique_ptr<IFile> OpenFileForReading(const std::string& path) override;
    void Sleep(uint32_t ms) override;
    bool GetVersionEx(OsVersion& out) override;
    bool IsWow64() override;
    bool RemoveCurrentDirectoryFromDllSearch() override;
    bool StartThread(std::function<uint32_t()> entry) override;
    uint32_t SetThreadExecutionState(uint32_t flags) override;
    std::unique_ptr<IHeldLock> HoldNamedLock(const std::string& name) override;
};

class Modules : public IModules {
  public:
    std::unique_ptr<IModule> LoadLibrary(const std::string& name) override;
};

class Spooler : public ISpooler {
  public:
    bool EnumPrinters(uint32_t flags, uint32_t level, uint8_t* buffer, uint32_t size,
                      uint32_t* needed, uint32_t* returned) override;
    PrinterInfo2 Info2At(const uint8_t* buffer, uint32_t index) override;
    size_t Info2Size() const override;
    std::unique_ptr<IPrinterHandle> OpenPrinter(const char* name) override;
    std::string QueueNameKey(const std::string& name) override;
    int32_t DeviceCapabilities(const char* device, const char* port, uint16_t capability,
                               void* output, size_t outputSize, const void* devmode) override;
};

// The array part of DeviceCapabilities: `call` asks the driver with an output pointer (null for
// the count) and entry is the size of one entry. No more than outputSize bytes reach output;
// -1 when the driver counts entries of more than 2 GB or no buffer of its size can be had.
int32_t FillCapabilityArray(const std::function<int32_t(void*)>& call, size_t entry, void* output,
                            size_t outputSize);

class Gdi : public IGdi {
  public:
    std::unique_ptr<IDeviceContext> CreateIC(const char* driver, const char* device,
                                             const char* port, const void* devmode) override;
};

class Registry : public IRegistry {
  public:
    long OpenKey(IRegKey* parent, const char* subKey, uint32_t access,
                 std::unique_ptr<IRegKey>& out) override;
};

class Ui : public IUi {
  public:
    // instance: the module whose resources hold the dialogs, strings and icons.
    explicit Ui(HINSTANCE instance);
    ~Ui() override;

    std::string LoadString(uint32_t id) override;
    int MessageBox(Window owner, const std::string& text, const std::string& caption,
                   uint32_t type) override;
    Window GetActiveWindow() override;
    intptr_t DialogBox(int templateId, Window parent, IDialogHost* host) override;
    Window CreateDialog(int templateId, Window parent, IDialogHost* host) override;
    bool EndDialog(Window dialog, intptr_t result) override;
    bool DestroyWindow(Window window) override;
    bool IsWindow(Window window) override;
    Window GetDlgItem(Window dialog, int id) override;
    bool SetWindowText(Window window, const std::string& text) override;
    std::string GetWindowText(Window window) override;
    bool EnableWindow(Window window, bool enable) override;
    bool IsWindowEnabled(Window window) override;
    bool ShowWindow(Window window, int command) override;
    bool IsWindowVisible(Window window) override;
    bool IsIconic(Window window) override;
    bool GetWindowRect(Window window, Rect& rect) override;
    bool GetClientRect(Window window, Rect& rect) override;
    bool MoveToTop(Window window, int x, int y) override;
    intptr_t SendMessage(Window window, uint32_t message, uintptr_t wParam,
                         intptr_t lParam) override;
    bool PostMessage(Window window, uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    uintptr_t GetSystemMenu(Window window) override;
    bool AppendMenu(uintptr_t menu, uint32_t flags, uintptr_t id, const char* text) override;
    uintptr_t LoadIcon(int resourceId) override;
    uintptr_t ResourceModule() override;
    int GetSystemMetrics(uint32_t index) override;
    void PaintIcon(Window window, uintptr_t icon, int x, int y) override;
    uintptr_t BeginWaitCursor() override;
    void RestoreCursor(uintptr_t previous) override;
    bool BlockShutdown(Window window, uint32_t reasonId) override;
    bool UnblockShutdown(Window window) override;
    void PumpPaintMessages() override;
    void DiscardTypedInput() override;

    // The one dialog procedure of every dialog: forwards each message to the IDialogHost given
    // at creation.
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    struct IconPair {
        IconHandle big, small;
    };
    HINSTANCE m_instance;
    // Icons loaded by LoadIcon, by resource id; the small one stands in for the big one when it
    // is set as a window's small icon.
    // SendMessage may run on another thread, hence the lock.
    std::map<int, IconPair> m_icons;
    std::mutex m_iconsLock;
};

// Owns one instance of each implementation and installs them as the process's platform.
class Platform {
  public:
    explicit Platform(HINSTANCE instance);
    ~Platform();
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    System system;
    Modules modules;
    Spooler spooler;
    Gdi gdi;
    Registry registry;
    Ui ui;
};

// Window <-> HWND.
inline HWND ToHwnd(Window w) { return reinterpret_cast<HWND>(w.id); }
inline Window FromHwnd(HWND h) { return Window{reinterpret_cast<uintptr_t>(h)}; }

}  // namespace plat::win32
