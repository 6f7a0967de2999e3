// Inputs found by fuzzing that once misbehaved, kept as regression checks.
#include <gtest/gtest.h>
#include <malloc.h>

#include <fstream>
#include <string>

#include "app_harness.h"
#include "device/infolib.h"
#include "support/package_file.h"
#include "transfer/kf7file.h"
#include "transfer/transferstate.h"

namespace {

using testpkg::Package;

// Peak resident memory of this process in kB since the last ResetPeakMemory; -1 if unknown.
long PeakMemoryKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}
bool ResetPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return static_cast<bool>(clear.flush());
}

// While it lives, the C library writes to every block it hands out (glibc; a no-op elsewhere),
// so that memory taken shows in the resident peak even when the code never writes to it.
class WrittenAllocations {
  public:
    WrittenAllocations() { Set(0xA5); }
    ~WrittenAllocations() { Set(0); }

  private:
    static void Set(int fill) {
#ifdef M_PERTURB
        mallopt(M_PERTURB, fill);
#else
        (void)fill;
#endif
    }
};

}  // namespace

TEST(HostileInput, PackageAnnouncingMoreDataThanItHoldsFailsWithoutTakingTheMemory) {
    apptest::Program p;
    p.machine.system.AddFile("C:\\Tools\\big.kf7", Package(0x40000000, std::string(10, 'x')));
    p.machine.system.AddFile("C:\\Tools\\one_short.kf7", Package(16, std::string(15, 'y')));
    p.machine.system.AddFile("C:\\Tools\\exact.kf7", Package(16, std::string(16, 'z')));
    ASSERT_EQ(BindXmLink(), 1);
    ASSERT_EQ(XmInitPrinter("P1"), 0);

    if (!ResetPeakMemory()) GTEST_SKIP() << "peak memory cannot be reset here";
    long before = PeakMemoryKb();
    {
        // A buffer for the data would be read into only where the file has data, so untouched
        // it would never count as resident: every block taken here is written to in full.
        WrittenAllocations written;
        CKf7File big("C:\\Tools\\big.kf7");
        EXPECT_EQ(SendPackageFile(big), 0);
        EXPECT_EQ(g_nLastResult.load(), kTransferLocalFailure);
    }
    long after = PeakMemoryKb();
    // The header claims 1 GB; the file holds ten bytes of it.
    EXPECT_LT(after - before, 128L * 1024) << "peak memory grew by " << (after - before) << " kB";

    CKf7File oneShort("C:\\Tools\\one_short.kf7");
    EXPECT_EQ(SendPackageFile(oneShort), 0);
    EXPECT_EQ(g_nLastResult.load(), kTransferLocalFailure);
    // Neither package reached the library.
    for (const auto& line : simprinter::Instance().Log())
        EXPECT_NE(line.rfind("XMSendFile", 0), 0u);

    // A package holding exactly its data reaches the library (which, without a progress dialog
    // to report to, is stopped at once).
    CKf7File exact("C:\\Tools\\exact.kf7");
    SendPackageFile(exact);
    EXPECT_EQ(g_nLastResult.load(), maker::XM_RESULT_STOPPED);
}

TEST(HostileInput, DriverWithNothingToFillLeavesTheBufferAlone) {
    sim::Machine m;
    sim::SimPrinter& p = m.spooler.InstallSimple("P1", apptest::kDriver);
    p.arrays[win::DC_PAPERS] = sim::CapabilityArray{3, 3, {}};
    uint16_t codes[3] = {7, 7, 7};
    EXPECT_EQ(
        m.spooler.DeviceCapabilities("P1", "USB001", win::DC_PAPERS, codes, sizeof codes, nullptr),
        3);
    EXPECT_EQ(codes[0], 7);
    EXPECT_EQ(codes[2], 7);
    EXPECT_EQ(m.spooler.counters.overruns, 0);
}

TEST(HostileInput, EmptyInfoLibraryValueIsNoLibrary) {
    apptest::Program p;
    const std::string key = "SOFTWARE\\Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0\\QL-S100";
    p.machine.registry.SetBytes(key, "Info Dll", 1, {});
    std::unique_ptr<plat::IRegKey> model;
    ASSERT_EQ(p.machine.registry.OpenKey(nullptr, key.c_str(), win::KEY_READ, model),
              win::ERROR_SUCCESS);
    char path[8] = "x";
    uint32_t type = 0, size = sizeof path;
    EXPECT_EQ(model->QueryValue("Info Dll", &type, reinterpret_cast<uint8_t*>(path), &size),
              win::ERROR_SUCCESS);
    EXPECT_EQ(size, 0u);
    model.reset();

    // A value without a single byte holds no path: no library is looked for.
    char dest[260] = "junk";
    EXPECT_EQ(FindInfoLibrary("QL-S100", dest, sizeof dest), infolib::kNoLibrary);
    EXPECT_EQ(dest[0], '\0');
    EXPECT_EQ(p.machine.registry.openKeys(), 0);
}
