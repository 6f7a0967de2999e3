// The registry search for a driver's information library and its check: what is opened, with
// which rights, what matches, the limits, and that every key opened is closed on every way out.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device/infolib.h"
#include "media_fixture.h"

namespace {

using mediatest::kLibraryPath;
using mediatest::kModels;

class InfoLibrarySearch : public mediatest::MediaMachine {
  protected:
    int Find(const std::string& name) {
        std::memset(dest, 'Z', sizeof dest);
        int result = FindInfoLibrary(name.c_str(), dest, sizeof dest - 1);
        EXPECT_EQ(machine.registry.openKeys(), 0) << "a key was left open searching " << name;
        EXPECT_EQ(dest[sizeof dest - 1], 'Z') << "written past the buffer searching " << name;
        return result;
    }
    // 260 bytes are offered; the last one only watches for writes past them.
    char dest[261];
};

TEST_F(InfoLibrarySearch, FindsChecksAndClosesEveryKey) {
    RegisterLibrary("QL-S100");
    machine.registry.SetString("SOFTWARE\\Another Vendor\\Printers", "x", "y");
    EXPECT_EQ(Find("QL-S100"), 2);
    EXPECT_STREQ(dest, kLibraryPath);

    // SOFTWARE, the level-3 path and the level-4 path, all with read access; the check asks
    // the library for capability 269 under the searched name, with an empty port.
    ASSERT_EQ(machine.registry.openLog.size(), 3u);
    EXPECT_EQ(machine.registry.openLog[0].path, "SOFTWARE");
    EXPECT_EQ(machine.registry.openLog[1].path, "Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0");
    EXPECT_EQ(machine.registry.openLog[2].path,
              "Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0\\QL-S100");
    for (const auto& open : machine.registry.openLog) EXPECT_EQ(open.access, 0x20019u);
    auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(infosim::Library::FormatCall(calls[0]),
              "MyDeviceCapabilities device=\"QL-S100\" port=\"\" capability=269 output=null "
              "devmode=null answer=262144");
    EXPECT_EQ(machine.modules.LiveModules(), 0);

    // A 32-bit program on 64-bit Windows reads the 64-bit view.
    machine.registry.openLog.clear();
    machine.system.SetWow64(true);
    EXPECT_EQ(Find("QL-S100"), 2);
    for (const auto& open : machine.registry.openLog) EXPECT_EQ(open.access, 0x20119u);
}

TEST_F(InfoLibrarySearch, ExcludedPrefixesAreNeverSearchedAndMatchesAreExact) {
    for (const char* name : {"EPS-1", "Mic", "Canon", "DECx", "HP x", "IBM", "NEC"}) {
        RegisterLibrary(name);
        machine.registry.openLog.clear();
        EXPECT_EQ(Find(name), 0) << name;
        EXPECT_TRUE(machine.registry.openLog.empty()) << name;
    }
    // Sharing only two characters with a row, or a different case, is not excluded.
    for (const char* name : {"EPx", "HPx", "nECx"}) {
        RegisterLibrary(name);
        EXPECT_EQ(Find(name), 2) << name;
    }
    // The subkey must match the searched name exactly, case included: neither another case
    // nor a model whose name begins the searched one.
    RegisterLibrary("QL-s100");
    RegisterLibrary("QL-S1");
    EXPECT_EQ(Find("QL-S100"), 0);
    EXPECT_EQ(Find("QL-s10"), 0);
    EXPECT_EQ(Calls().size(), 3u);
}

TEST_F(InfoLibrarySearch, SubkeyLimits) {
    // 299 other model keys before the model: found. With 300 the search ends at the limit
    // without a library, and the 300th model's own library is never taken for this one.
    RegisterLibrary("Z-model");
    for (int i = 0; i < 299; ++i)
        machine.registry.CreateKey(std::string(kModels) + "\\A" + std::to_string(1000 + i));
    EXPECT_EQ(Find("Z-model"), 2);
    RegisterLibrary("A9999");
    machine.registry.openLog.clear();
    EXPECT_EQ(Find("Z-model"), 0);
    EXPECT_EQ(machine.registry.openLog.size(), 2u);
    EXPECT_EQ(Find("A9999"), 2) << "the 300th model still finds its own library";

    // Below SOFTWARE the search goes on after 3000 other vendors: the open of the path decides.
    for (int i = 0; i < 3000; ++i)
        machine.registry.CreateKey("SOFTWARE\\B" + std::to_string(10000 + i));
    RegisterLibrary("A1001");
    machine.registry.enumCalls = 0;
    EXPECT_EQ(Find("A1001"), 2);
    EXPECT_EQ(machine.registry.enumCalls, 3000 + 2);
}

TEST_F(InfoLibrarySearch, APathLongerThanTheBufferIsNotSearched) {
    // A level-4 path of 143 characters is searched; one of 144 is not.
    const size_t prefix = std::strlen("Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0\\");
    std::string fits(143 - prefix, 'f'), tooLong(144 - prefix, 'g');
    RegisterLibrary(fits);
    RegisterLibrary(tooLong);
    EXPECT_EQ(Find(fits), 2);
    machine.registry.openLog.clear();
    EXPECT_EQ(Find(tooLong), 0);
    EXPECT_EQ(machine.registry.openLog.size(), 2u);
}

TEST_F(InfoLibrarySearch, LongKeyNamesOfOtherProgramsAreSkipped) {
    // Names of 144 characters or more do not fit the name buffer. Another program's such key
    // before the vendor's, or another model's before the searched one, does not hide the library.
    RegisterLibrary("QL-S100");
    machine.registry.CreateKey("SOFTWARE\\A" + std::string(200, 'x'));
    machine.registry.CreateKey(std::string(kModels) + "\\A" + std::string(150, 'y'));
    EXPECT_EQ(Find("QL-S100"), 2);
    EXPECT_STREQ(dest, kLibraryPath);
    // A skipped key is never taken for a model, not even for an empty searched name, and still
    // counts towards the limit of model keys.
    EXPECT_EQ(Find(""), 0);
    for (int i = 0; i < 299; ++i)
        machine.registry.CreateKey(std::string(kModels) + "\\B" + std::to_string(1000 + i));
    EXPECT_EQ(Find("QL-S100"), 0);
}

TEST_F(InfoLibrarySearch, UnreadableValuesAndLibrariesThatFailTheCheck) {
    RegisterLibrary("QL-S100");
    const std::string key = std::string(kModels) + "\\QL-S100";

    // A value filling the buffer exactly without a terminator is not a path.
    std::vector<uint8_t> full(260, 'C');
    machine.registry.SetBytes(key, "Info Dll", win::REG_SZ, full);
    EXPECT_EQ(Find("QL-S100"), 0);
    EXPECT_EQ(dest[0], '\0');
    // One byte longer than the buffer: the read fails.
    std::vector<uint8_t> longer(261, 'C');
    longer.back() = 0;
    machine.registry.SetBytes(key, "Info Dll", win::REG_SZ, longer);
    EXPECT_EQ(Find("QL-S100"), 0);
    // 259 characters and the terminator fit; no such library exists: found, not checked.
    std::vector<uint8_t> fits(259, 'C');
    fits.push_back(0);
    machine.registry.SetBytes(key, "Info Dll", win::REG_SZ, fits);
    EXPECT_EQ(Find("QL-S100"), 1);
    EXPECT_EQ(std::string(dest), std::string(259, 'C'));

    machine.registry.SetString(key, "Info Dll", kLibraryPath);
    EXPECT_EQ(Find("QL-S100"), 2);
    // A check answer of -1, or one without bit 0x40000, fails the check.
    infosim::Data data = infosim::DefaultData();
    data.answers[269] = -1;
    SetLibrary(data);
    EXPECT_EQ(Find("QL-S100"), 1);
    data.answers[269] = 0x3FFFF;
    SetLibrary(data);
    EXPECT_EQ(Find("QL-S100"), 1);
    // A library without the entry point fails it too.
    machine.modules.Register("noexport.dll", {});
    machine.system.AddFile("C:\\Drivers\\noexport.dll", "");
    machine.registry.SetString(key, "Info Dll", "C:\\Drivers\\noexport.dll");
    EXPECT_EQ(Find("QL-S100"), 1);
    EXPECT_EQ(machine.modules.LiveModules(), 0);
}

TEST_F(InfoLibrarySearch, RegistryFailuresEndTheSearchWithEveryKeyClosed) {
    RegisterLibrary("QL-S100");
    RegisterLibrary("A-model");
    auto& registry = machine.registry;
    registry.CreateKey("SOFTWARE\\Acme");
    registry.failOpen["SOFTWARE"] = 5;
    EXPECT_EQ(Find("QL-S100"), 0);
    registry.failOpen.clear();
    registry.failOpen["Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0"] = 5;
    EXPECT_EQ(Find("QL-S100"), 0);
    registry.failOpen.clear();
    registry.failOpen["Vantoro Industries, Ltd.\\Q-varni\\Driver\\3.0\\QL-S100"] = 5;
    EXPECT_EQ(Find("QL-S100"), 0);
    registry.failOpen.clear();
    for (int64_t index : {0, 1}) {
        registry.failEnumIndex = index;
        EXPECT_EQ(Find("QL-S100"), 0);
    }
    registry.failEnumIndex = -1;
    registry.queryError = win::ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(Find("QL-S100"), 0);
    registry.queryError = 0;
    EXPECT_EQ(Find("QL-S100"), 2);
    EXPECT_GT(registry.opened, 10);
    EXPECT_EQ(registry.opened, registry.closed);
    // No vendor key at all, or one whose name is only similar, finds nothing.
    registry.root.subkeys["SOFTWARE"].subkeys.erase("Vantoro Industries, Ltd.");
    registry.CreateKey("SOFTWARE\\vantoro industries, ltd.x");
    EXPECT_EQ(Find("QL-S100"), 0);
    EXPECT_EQ(Find(""), 0);
}

}  // namespace
