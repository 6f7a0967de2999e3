// Helpers for tests that run against the simulated Windows machine: a machine whose failures
// (a dialog waiting for a user who does nothing, a message never served) become test failures,
// with the executable in C:\Tools and helpers for the files beside it.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/sim/machine.h"

namespace test {

constexpr char kExeDir[] = "C:\\Tools";
constexpr char kExePath[] = "C:\\Tools\\ulmaupdate.exe";

// A simulated machine for one test.
class SimMachine {
  public:
    explicit SimMachine(sim::Language language = sim::Language::English)
        : machine(sim::MachineOptions{language, kExePath}) {
        machine.ui.OnFailure(
            [](const std::string& message) { ADD_FAILURE() << "simulated machine: " << message; });
    }

    // A file beside the executable.
    std::string Path(const std::string& name) const { return std::string(kExeDir) + "\\" + name; }
    void AddFile(const std::string& name, const std::string& bytes) {
        machine.system.AddFile(Path(name), bytes);
    }
    // ulmaupdate.ini beside the executable, from its text.
    void AddIni(const std::string& text) { AddFile("ulmaupdate.ini", text); }
    // An [UPDATE] section with these lines (each "Key=Value"), joined with CR LF.
    void AddUpdateIni(std::initializer_list<std::string> lines) {
        std::string text = "[UPDATE]\r\n";
        for (const auto& l : lines) text += l + "\r\n";
        AddIni(text);
    }

    sim::Machine machine;
};

// A GoogleTest fixture holding an English machine.
class SimFixture : public ::testing::Test {
  protected:
    SimFixture() = default;
    explicit SimFixture(sim::Language language) : sim_(language) {}

    sim::Machine& machine() { return sim_.machine; }
    SimMachine& sim() { return sim_; }

  private:
    SimMachine sim_;
};

// A dialog host for tests of the dialog manager: records every message and lets a test attach
// actions to messages.
class RecordingHost : public plat::IDialogHost {
  public:
    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
    };
    std::function<intptr_t(plat::Window, uint32_t, uintptr_t, intptr_t)> onMessage;
    std::vector<Message> messages;
    plat::Window window;

    intptr_t DialogProc(plat::Window w, uint32_t message, uintptr_t wParam,
                        intptr_t lParam) noexcept override {
        if (message == win::WM_INITDIALOG) window = w;
        messages.push_back({message, wParam, lParam});
        intptr_t handled = onMessage ? onMessage(w, message, wParam, lParam) : 0;
        // Without a handler of its own, OK and Cancel end the dialog as the framework does.
        if (!handled && message == win::WM_COMMAND) {
            int id = static_cast<int>(wParam & 0xFFFF);
            if (id == win::IDOK || id == win::IDCANCEL) {
                plat::Ui().EndDialog(w, id);
                return 1;
            }
        }
        return handled;
    }
    // The commands received, by id.
    std::vector<int> Commands() const {
        std::vector<int> ids;
        for (const auto& m : messages) {
            if (m.message == win::WM_COMMAND) ids.push_back(static_cast<int>(m.wParam & 0xFFFF));
        }
        return ids;
    }
    int Count(uint32_t message) const {
        int n = 0;
        for (const auto& m : messages) n += m.message == message ? 1 : 0;
        return n;
    }
};

}  // namespace test
