// The dialog templates and string tables of the resource scripts, as data: the simulated user
// interface builds its dialogs and loads its strings from here, so every text exists once, in the
// .rc files that windres compiles for the Windows build.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace res {

enum class Lang { English, Japanese };

struct ControlTemplate {
    int id = 0;
    // "Button", "Static", "ComboBox", "msctls_progress32" or "SysAnimate32".
    std::string className;
    // UTF-8. An icon control holds its resource as "#<id>", e.g. "#512".
    std::string text;
    // Final styles as the dialog manager receives them (statement defaults applied).
    uint32_t style = 0, exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
    int id = 0;
    std::string caption, fontName;
    int fontSize = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    uint32_t style = 0, exStyle = 0;
    std::vector<ControlTemplate> controls;  // template order, which is the tab order
};

struct Catalog {
    std::map<uint32_t, std::string> strings;  // UTF-8
    std::map<int, DialogTemplate> dialogs;
};

// The catalogue of one language, parsed once from the embedded resource scripts. A script the
// parser cannot read is a build fault: the first call then throws std::runtime_error.
const Catalog& GetCatalog(Lang lang);

// Parses one resource script. `files` maps include names (as written in #include "...") to their
// text; `lang` is the LANGUAGE the script must declare. Throws std::runtime_error with the file,
// line and reason on anything outside the supported subset.
Catalog ParseResourceScript(const std::string& fileName, const std::string& text,
                            const std::map<std::string, std::string>& files, Lang lang);

// Window, dialog and control styles (values of the Windows SDK).
namespace style {
constexpr uint32_t WS_OVERLAPPED = 0x00000000;
constexpr uint32_t WS_POPUP = 0x80000000;
constexpr uint32_t WS_CHILD = 0x40000000;
constexpr uint32_t WS_MINIMIZE = 0x20000000;
constexpr uint32_t WS_VISIBLE = 0x10000000;
constexpr uint32_t WS_DISABLED = 0x08000000;
constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;
constexpr uint32_t WS_CLIPCHILDREN = 0x02000000;
constexpr uint32_t WS_CAPTION = 0x00C00000;
constexpr uint32_t WS_BORDER = 0x00800000;
constexpr uint32_t WS_DLGFRAME = 0x00400000;
constexpr uint32_t WS_VSCROLL = 0x00200000;
constexpr uint32_t WS_HSCROLL = 0x00100000;
constexpr uint32_t WS_SYSMENU = 0x00080000;
constexpr uint32_t WS_THICKFRAME = 0x00040000;
constexpr uint32_t WS_GROUP = 0x00020000;
constexpr uint32_t WS_TABSTOP = 0x00010000;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000;
constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000;

constexpr uint32_t WS_EX_DLGMODALFRAME = 0x00000001;
constexpr uint32_t WS_EX_TOPMOST = 0x00000008;
constexpr uint32_t WS_EX_TRANSPARENT = 0x00000020;
constexpr uint32_t WS_EX_TOOLWINDOW = 0x00000080;
constexpr uint32_t WS_EX_WINDOWEDGE = 0x00000100;
constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200;
constexpr uint32_t WS_EX_CONTROLPARENT = 0x00010000;
constexpr uint32_t WS_EX_STATICEDGE = 0x00020000;
constexpr uint32_t WS_EX_APPWINDOW = 0x00040000;

constexpr uint32_t DS_ABSALIGN = 0x0001;
constexpr uint32_t DS_SYSMODAL = 0x0002;
constexpr uint32_t DS_3DLOOK = 0x0004;
constexpr uint32_t DS_FIXEDSYS = 0x0008;
constexpr uint32_t DS_NOFAILCREATE = 0x0010;
constexpr uint32_t DS_LOCALEDIT = 0x0020;
constexpr uint32_t DS_SETFONT = 0x0040;
constexpr uint32_t DS_MODALFRAME = 0x0080;
constexpr uint32_t DS_NOIDLEMSG = 0x0100;
constexpr uint32_t DS_SETFOREGROUND = 0x0200;
constexpr uint32_t DS_CONTROL = 0x0400;
constexpr uint32_t DS_CENTER = 0x0800;
constexpr uint32_t DS_CENTERMOUSE = 0x1000;
constexpr uint32_t DS_CONTEXTHELP = 0x2000;
constexpr uint32_t DS_SHELLFONT = DS_SETFONT | DS_FIXEDSYS;

constexpr uint32_t BS_PUSHBUTTON = 0x0000;
constexpr uint32_t BS_DEFPUSHBUTTON = 0x0001;
constexpr uint32_t BS_CHECKBOX = 0x0002;
constexpr uint32_t BS_AUTOCHECKBOX = 0x0003;
constexpr uint32_t BS_GROUPBOX = 0x0007;
constexpr uint32_t BS_TYPEMASK = 0x000F;

constexpr uint32_t SS_LEFT = 0x0000;
constexpr uint32_t SS_CENTER = 0x0001;
constexpr uint32_t SS_RIGHT = 0x0002;
constexpr uint32_t SS_ICON = 0x0003;
constexpr uint32_t SS_TYPEMASK = 0x001F;
constexpr uint32_t SS_NOPREFIX = 0x0080;
constexpr uint32_t SS_CENTERIMAGE = 0x0200;

constexpr uint32_t CBS_SIMPLE = 0x0001;
constexpr uint32_t CBS_DROPDOWN = 0x0002;
constexpr uint32_t CBS_DROPDOWNLIST = 0x0003;
constexpr uint32_t CBS_AUTOHSCROLL = 0x0040;
constexpr uint32_t CBS_SORT = 0x0100;
constexpr uint32_t CBS_HASSTRINGS = 0x0200;

constexpr uint32_t PBS_SMOOTH = 0x01;
constexpr uint32_t PBS_VERTICAL = 0x04;

constexpr uint32_t ACS_CENTER = 0x0001;
constexpr uint32_t ACS_TRANSPARENT = 0x0002;
constexpr uint32_t ACS_AUTOPLAY = 0x0004;
constexpr uint32_t ACS_TIMER = 0x0008;
}  // namespace style

}  // namespace res
