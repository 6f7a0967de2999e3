// The application framework services the tool's classes share: the display name that captions
// every message box, the main window, string resources and their formatting, and the program's
// message-box operation with its icon rule.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/platform.h"

namespace app {

// The caption of every message box: the executable's base name until start-up sets the title.
std::string& DisplayName();
// The application's main window (the main dialog while it runs); no window otherwise.
plat::Window& MainWindow();

// A string resource in the user's language; empty when missing.
std::string LoadStr(uint32_t id);
// Fills each "%s" of fmt with the next argument, in order, and turns "%%" into "%"; every other
// character stays as it is. Text from outside (configuration values) is only ever an argument,
// never the format.
std::string FormatText(const std::string& fmt, std::initializer_list<std::string> args);
// LoadStr(id) formatted as above.
std::string FormatString(uint32_t id, std::initializer_list<std::string> args);

// Shows a message box owned by the active window with the display name as caption. A box with
// an OK or OK/Cancel button and no icon gets the warning icon; a Yes/No box without an icon gets
// the question icon. Returns the button pressed.
int AfxMessageBox(const std::string& text, uint32_t type);

// Resets the framework's process-wide state (used by tests that run the program twice).
void ResetFramework();

}  // namespace app
