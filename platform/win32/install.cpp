// Installs the real Windows implementations as the process's platform.
#include "platform/win32/win32_platform.h"

namespace plat::win32 {

namespace {

// Texts reach the program in the ANSI code page. Japanese texts on a system whose code page is
// not the Japanese one would arrive as question marks, the warning not to unplug the printer
// among them, so there the program shows its English texts and dialogs instead. Windows picks
// resources by the thread's user-interface language, Wine by the thread's locale: both are set.
void KeepToTextsTheCodePageHolds() {
    if (::GetACP() == 932) return;
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    using GetUiLanguageFn = LANGID(WINAPI*)();
    using SetUiLanguageFn = LANGID(WINAPI*)(LANGID);
    HMODULE kernel = ::GetModuleHandleA("kernel32");
    // Looked up at run time: older Windows versions lack the calls.
    auto getUi = GetProcAs<GetUiLanguageFn>(kernel, "GetThreadUILanguage");
    auto setUi = GetProcAs<SetUiLanguageFn>(kernel, "SetThreadUILanguage");
    if (getUi && setUi && PRIMARYLANGID(getUi()) == LANG_JAPANESE) setUi(english);
    if (PRIMARYLANGID(LANGIDFROMLCID(::GetThreadLocale())) == LANG_JAPANESE)
        ::SetThreadLocale(MAKELCID(english, SORT_DEFAULT));
}

// A file on a drive without its disk (a card reader emptied during a transfer) fails its call,
// and the tool says so in its own words; Windows would otherwise first stop the calling thread,
// the transfer's worker among them, in a box of its own asking for the disk.
void NoDiskBoxes() {
    const UINT previous = ::SetErrorMode(SEM_FAILCRITICALERRORS);
    ::SetErrorMode(previous | SEM_FAILCRITICALERRORS);
}

}  // namespace

Platform::Platform(HINSTANCE instance) : ui(instance) {
    KeepToTextsTheCodePageHolds();
    NoDiskBoxes();
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS;
    ::InitCommonControlsEx(&controls);

    plat::Platform installed;
    installed.system = &system;
    installed.modules = &modules;
    installed.spooler = &spooler;
    installed.gdi = &gdi;
    installed.registry = &registry;
    installed.ui = &ui;
    plat::Install(installed);
}

Platform::~Platform() { plat::Install(plat::Platform{}); }

}  // namespace plat::win32
