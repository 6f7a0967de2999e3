// A simulated machine with label printers and the stand-in driver information library
// registered the way a label-printer driver installs it, for tests of the media part.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "device/devmode.h"
#include "platform/sim/machine.h"
#include "printers/qvprinter.h"
#include "standins/infosim.h"
#include "standins/sim_exports.h"

namespace mediatest {

constexpr char kDriver[] = "Vantoro QL-S100";
constexpr char kModels[] = "SOFTWARE\\Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0";
constexpr char kLibraryPath[] = "C:\\Windows\\System32\\spool\\drivers\\w32x86\\3\\qvinfo.dll";

inline void Put16(std::vector<uint8_t>& bytes, size_t offset, int value) {
    devmode::Write<uint16_t>(bytes.data(), bytes.size(), offset, uint16_t(value));
}
inline void Put32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    devmode::Write<uint32_t>(bytes.data(), bytes.size(), offset, value);
}

// A settings block: a 156-byte public part with these fields, then `privateBytes` bytes.
inline std::vector<uint8_t> DevModeBlock(uint32_t fields, size_t privateBytes) {
    std::vector<uint8_t> block(devmode::kPublicSize + privateBytes, 0);
    Put16(block, devmode::kSize, devmode::kPublicSize);
    Put16(block, devmode::kDriverExtra, int(privateBytes));
    Put32(block, devmode::kFields, fields);
    return block;
}

// Gives a printer object this settings block to hold, as ReadPrinterInfo would.
inline void Hold(CPrinter& printer, const std::vector<uint8_t>& block) {
    printer.m_pDevMode.reset(new uint8_t[block.size()]);
    std::memcpy(printer.m_pDevMode.get(), block.data(), block.size());
    printer.m_nDevModeSize = int32_t(block.size());
    printer.m_dwState |= 1;
}

inline std::vector<uint8_t> HeldBlock(const CPrinter& printer) {
    devmode::View view = printer.DevMode();
    return std::vector<uint8_t>(view.data(), view.data() + view.length());
}

inline infosim::Tape MakeTape(uint16_t code, int16_t widthTenths, int16_t lengthTenths,
                              int16_t margin = 12, int dpi = 300) {
    infosim::Tape t;
    t.code = code;
    t.widthTenths = widthTenths;
    t.lengthTenths = lengthTenths;
    t.widthDots = int16_t(widthTenths * dpi / 254);
    t.lengthDots = int16_t(lengthTenths * dpi / 254);
    t.sideMargin = t.endMargin = margin;
    t.name = "Tape " + std::to_string(code);
    return t;
}

class MediaMachine : public ::testing::Test {
  protected:
    MediaMachine() {
        infosim::Instance().SetData(infosim::DefaultData());
        infosim::Instance().ClearCalls();
    }
    // The library is process-wide: later tests find its default data again.
    ~MediaMachine() override {
        infosim::Instance().SetData(infosim::DefaultData());
        infosim::Instance().ClearCalls();
    }

    // The information library registered for a driver (or printer) name.
    void RegisterLibrary(const std::string& name, const std::string& path = kLibraryPath) {
        machine.registry.SetString(std::string(kModels) + "\\" + name, "Info Dll", path);
        if (!registered_) {
            machine.modules.Register("qvinfo.dll", simprinter::QvInfoExports());
            registered_ = true;
        }
        machine.system.AddFile(path, "");
    }

    // A label printer of kDriver whose settings block has `privateBytes` private bytes.
    sim::SimPrinter& InstallLabel(const std::string& name, uint32_t fields, size_t privateBytes,
                                  const std::string& driver = kDriver) {
        sim::SimPrinter& p = machine.spooler.InstallSimple(name, driver);
        p.devMode = DevModeBlock(fields, privateBytes);
        p.capabilities[win::DC_FIELDS] = int32_t(fields);
        return p;
    }

    std::vector<infosim::Call> Calls() const { return infosim::Instance().Calls(); }

    void SetLibrary(const infosim::Data& data) { infosim::Instance().SetData(data); }

    sim::Machine machine;

  private:
    bool registered_ = false;
};

}  // namespace mediatest
