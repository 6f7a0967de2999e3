// Kernel, library and registry services of the Windows platform layer, on a real
// (Wine) system.
#include "platform/win32/win32_platform.h"
// After the platform headers, whose names the API macros would rewrite.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using plat::win32::Modules;
using plat::win32::Registry;
using plat::win32::System;

// A fresh folder under the temporary directory, removed with its files afterwards.
class TempDir {
  public:
    TempDir() {
        char base[MAX_PATH];
        ::GetTempPathA(MAX_PATH, base);
        m_path = std::string(base) + "ulma_win32_test_" + std::to_string(::GetCurrentProcessId());
        ::CreateDirectoryA(m_path.c_str(), nullptr);
    }
    ~TempDir() {
        for (const auto& f : m_files) ::DeleteFileA(f.c_str());
        for (auto it = m_dirs.rbegin(); it != m_dirs.rend(); ++it) ::RemoveDirectoryA(it->c_str());
        ::RemoveDirectoryA(m_path.c_str());
    }
    std::string Write(const std::string& name, const std::string& content) {
        std::string path = m_path + "\\" + name;
        std::ofstream(path, std::ios::binary) << content;
        m_files.push_back(path);
        return path;
    }
    std::string MakeDir(const std::string& name) {
        std::string path = m_path + "\\" + name;
        ::CreateDirectoryA(path.c_str(), nullptr);
        m_dirs.push_back(path);
        return path;
    }
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
    std::vector<std::string> m_files, m_dirs;
};

TEST(Win32System, FileExistsFindsOnlyThatFile) {
    TempDir dir;
    std::string file = dir.Write("present.bin", "x");
    std::string folder = dir.MakeDir("folder.dll");
    System system;
    EXPECT_TRUE(system.FileExists(file));
    EXPECT_FALSE(system.FileExists(folder)) << "a directory is not a file";
    EXPECT_FALSE(system.FileExists(dir.path() + "\\absent.bin"));
    EXPECT_FALSE(system.FileExists(dir.path() + "\\*.bin")) << "a pattern names no one file";
    EXPECT_FALSE(system.FileExists(dir.path() + "\\present.bi?"));
    EXPECT_FALSE(system.FileExists(dir.path() + "\\present<"));
    EXPECT_FALSE(system.FileExists(dir.path() + "\\present.bi>"));
    EXPECT_FALSE(system.FileExists(dir.path() + "\\present\".bin"));
    EXPECT_FALSE(system.FileExists(""));

    // Device names are found in every folder as if they were files there: none names a file.
    for (const char* device : {"NUL", "nul.kf7", "COM1", "com9.bin", "LPT1", "Lpt3.dll", "PRN",
                               "AUX", "con", "CON .kf7", "NUL:", "aux.a.b"}) {
        EXPECT_FALSE(system.FileExists(dir.path() + "\\" + device)) << device;
    }
    // Names that only begin like a device, and other three-letter names, are files like any
    // other.
    for (const char* name :
         {"nul1.bin", "COM0.bin", "COM10.bin", "LPTX", "console.kf7", "COM", "fw1.bin"}) {
        std::string path = dir.Write(name, "x");
        EXPECT_TRUE(system.FileExists(path)) << name;
    }
}

TEST(Win32System, ModuleFileNameIsThisProgram) {
    System system;
    std::string path;
    ASSERT_TRUE(system.GetModuleFileName(path));
    ASSERT_GE(path.size(), 4u);
    EXPECT_EQ(0, _stricmp(path.c_str() + path.size() - 4, ".exe"));
    EXPECT_TRUE(system.FileExists(path));
}

// Run in a copy of this program by the test below: writes what GetModuleFileName answers.
TEST(Win32System, ReportsItsModuleFileNameWhenAsked) {
    const char* report = std::getenv("ULMA_MODULE_NAME_REPORT");
    if (!report) GTEST_SKIP() << "run by ModuleFileNameInALongDoubleByteFolderIsRefusedNotCut";
    System system;
    std::string path;
    bool ok = system.GetModuleFileName(path);
    std::ofstream(report, std::ios::binary) << (ok ? "1" : "0") << path;
}

// Makes a folder, or takes the one a run that crashed left behind: Wine gives out process ids
// again, and the folders below are named after them.
bool MakeFolder(const std::wstring& dir) {
    return ::CreateDirectoryW(dir.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// What a copy of this program at `exe`, in the folders `dirs` (made here, outermost first),
// answers for its module file name: "1" and the path, "0", or empty when it did not run.
std::string ModuleFileNameOfACopy(const std::vector<std::wstring>& dirs, const std::wstring& exe) {
    std::string answer;
    bool made = true;
    for (const auto& dir : dirs) made = made && MakeFolder(dir);
    wchar_t self[MAX_PATH];
    if (made && ::GetModuleFileNameW(nullptr, self, MAX_PATH) != 0 &&
        ::CopyFileW(self, exe.c_str(), FALSE)) {
        char tempA[MAX_PATH];
        ::GetTempPathA(MAX_PATH, tempA);
        std::string report =
            std::string(tempA) + "ulma_module_report_" + std::to_string(::GetCurrentProcessId());
        ::SetEnvironmentVariableA("ULMA_MODULE_NAME_REPORT", report.c_str());
        std::wstring command =
            L"\"" + exe + L"\" --gtest_filter=Win32System.ReportsItsModuleFileNameWhenAsked";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process)) {
            ::WaitForSingleObject(process.hProcess, 60000);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
        ::SetEnvironmentVariableA("ULMA_MODULE_NAME_REPORT", nullptr);
        std::ifstream in(report, std::ios::binary);
        answer.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        in.close();
        ::DeleteFileA(report.c_str());
        ::DeleteFileW(exe.c_str());
    }
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) ::RemoveDirectoryW(it->c_str());
    return answer;
}

std::wstring TempFolder(const wchar_t* prefix) {
    wchar_t temp[MAX_PATH];
    if (::GetTempPathW(MAX_PATH, temp) == 0) return std::wstring();
    return std::wstring(temp) + prefix + std::to_wstring(::GetCurrentProcessId());
}

TEST(Win32System, ModuleFileNameInALongDoubleByteFolderIsRefusedNotCut) {
    if (::GetACP() != 932) GTEST_SKIP() << "needs the Japanese code page";
    auto ansiLength = [](const std::wstring& text) {
        return ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    };
    std::vector<std::wstring> dirs{TempFolder(L"ulma_dbcs_")};
    // Folders of double-byte characters (U+3042, two bytes in code page 932) arranged so that
    // one character starts at byte 259: a 260-byte buffer has room for its first byte only.
    for (;;) {
        int used = ansiLength(dirs.back() + L"\\");
        std::wstring name;
        if (259 - used > 80) {
            name.assign(40, L'\x3042');
        } else {
            if ((259 - used) % 2) name = L"a";
            name.append(static_cast<size_t>((259 - used) / 2 + 3), L'\x3042');
        }
        dirs.push_back(dirs.back() + L"\\" + name);
        if (259 - used <= 80) break;
    }
    std::wstring exe = dirs.back() + L"\\copy.exe";
    ASSERT_GT(ansiLength(exe), 260);
    ASSERT_LT(exe.size(), static_cast<size_t>(MAX_PATH)) << "the wide path itself fits";
    // The path does not fit the tool's 260-byte fields: refused, never answered cut inside a
    // folder name, which would make the folder above it pass for the program's own.
    EXPECT_EQ("0", ModuleFileNameOfACopy(dirs, exe));
}

TEST(Win32System, ModuleFileNameInAFolderTheCodePageCannotHoldIsRefused) {
    if (::GetACP() == 932) GTEST_SKIP() << "full-width letters are in the Japanese code page";
    // A folder named in full-width letters, beside one with the same name in plain letters:
    // the program must not take the plain one for its own.
    std::wstring base = TempFolder(L"ulma_bestfit_");
    ASSERT_TRUE(MakeFolder(base));
    std::wstring plain = base + L"\\FW";
    ASSERT_TRUE(MakeFolder(plain));
    std::wstring wide = base + L"\\\xFF26\xFF37";
    std::string answer = ModuleFileNameOfACopy({wide}, wide + L"\\copy.exe");
    ::RemoveDirectoryW(plain.c_str());
    ::RemoveDirectoryW(base.c_str());
    EXPECT_EQ("0", answer);
}

// Run in a second process by the test below: exits with 1 when it can take the named lock.
TEST(Win32System, TakesTheNamedLockWhenAsked) {
    const char* name = std::getenv("ULMA_LOCK_NAME");
    if (!name) GTEST_SKIP() << "run by NamedLockIsHeldByOneProcessAtATime";
    System system;
    std::exit(system.HoldNamedLock(name) ? 1 : 0);
}

TEST(Win32System, NamedLockIsHeldByOneProcessAtATime) {
    const std::string name =
        "Global\\ulma_win32_test_lock_" + std::to_string(::GetCurrentProcessId());
    // Whether another process can take the lock: 1 yes, 0 no, -1 not run.
    auto takenByAnotherProcess = [&name]() -> int {
        char self[MAX_PATH];
        if (::GetModuleFileNameA(nullptr, self, MAX_PATH) == 0) return -1;
        std::string command =
            std::string("\"") + self + "\" --gtest_filter=Win32System.TakesTheNamedLockWhenAsked";
        ::SetEnvironmentVariableA("ULMA_LOCK_NAME", name.c_str());
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        BOOL started = ::CreateProcessA(self, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process);
        ::SetEnvironmentVariableA("ULMA_LOCK_NAME", nullptr);
        if (!started) return -1;
        DWORD code = 2;
        if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            ::GetExitCodeProcess(process.hProcess, &code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return code <= 1 ? static_cast<int>(code) : -1;
    };

    System system;
    auto held = system.HoldNamedLock(name);
    ASSERT_TRUE(held);
    EXPECT_FALSE(system.HoldNamedLock(name)) << "a second take in the same process";
    EXPECT_EQ(0, takenByAnotherProcess());
    held.reset();
    EXPECT_EQ(1, takenByAnotherProcess()) << "given back when the holder lets go";
    // The other process has ended, and its hold with it.
    EXPECT_TRUE(system.HoldNamedLock(name));
}

TEST(Win32System, PrivateProfileReading) {
    TempDir dir;
    std::string longValue(300, 'v');
    std::string ini = dir.Write("settings.ini",
                                "[OTHER]\r\nKey=other\r\n"
                                "[UPDATE]\r\nKey=value\r\nEmpty=\r\nLong=" +
                                    longValue + "\r\n");
    System system;
    char buffer[260];

    EXPECT_EQ(5u, system.GetPrivateProfileString("UPDATE", "Key", "", buffer, 260, ini.c_str()));
    EXPECT_STREQ("value", buffer);
    EXPECT_EQ(0u, system.GetPrivateProfileString("UPDATE", "Empty", "d", buffer, 260, ini.c_str()));
    EXPECT_STREQ("", buffer);
    EXPECT_EQ(1u,
              system.GetPrivateProfileString("UPDATE", "Missing", "d", buffer, 260, ini.c_str()));
    EXPECT_STREQ("d", buffer);
    system.GetPrivateProfileString("MISSING", "Key", "", buffer, 260, ini.c_str());
    EXPECT_STREQ("", buffer) << "other sections are not searched";

    // A value longer than the buffer arrives cut to size - 1 bytes and terminated.
    system.GetPrivateProfileString("UPDATE", "Long", "", buffer, 260, ini.c_str());
    EXPECT_EQ(std::string(259, 'v'), std::string(buffer));
}

TEST(Win32System, AnsiCharacterStepping) {
    System system;
    const char ascii[] = "ab";
    EXPECT_EQ(ascii + 1, system.CharNext(ascii));
    EXPECT_EQ(ascii + 2, system.CharNext(ascii + 2)) << "the terminator is not passed";
    EXPECT_FALSE(system.IsDBCSLeadByte('\\'));
    // "\x83\x5c" is one double-byte character in code page 932 whose second byte is '\'.
    const char dbcs[] =
        "\x83\x5c"
        "x";
    // The runner names the code page it set up, so a locale that did not take is caught.
    if (const char* expected = std::getenv("ULMA_EXPECT_ACP")) {
        ASSERT_EQ(std::strtoul(expected, nullptr, 10), ::GetACP());
    }
    if (::GetACP() == 932) {
        EXPECT_TRUE(system.IsDBCSLeadByte(0x83));
        EXPECT_EQ(dbcs + 2, system.CharNext(dbcs));
    } else if (::GetACP() == 1252) {
        EXPECT_FALSE(system.IsDBCSLeadByte(0x83));
        EXPECT_EQ(dbcs + 1, system.CharNext(dbcs));
    }
}

TEST(Win32System, OpenFileForReadingIsExclusive) {
    TempDir dir;
    std::string path = dir.Write("package.bin", "0123456789");
    System system;
    auto file = system.OpenFileForReading(path);
    ASSERT_NE(nullptr, file);
    EXPECT_EQ(nullptr, system.OpenFileForReading(path)) << "opened without sharing";

    char buffer[8] = {};
    EXPECT_EQ(4u, file->Read(buffer, 4));
    EXPECT_EQ("0123", std::string(buffer, 4));
    ASSERT_TRUE(file->Seek(8));
    EXPECT_EQ(2u, file->Read(buffer, 8));
    EXPECT_EQ("89", std::string(buffer, 2));
    EXPECT_EQ(0u, file->Read(buffer, 8)) << "end of file";

    file.reset();  // closing releases the file
    EXPECT_NE(nullptr, system.OpenFileForReading(path));
    EXPECT_EQ(nullptr, system.OpenFileForReading(dir.path() + "\\absent.bin"));
    // The null device opens in any folder under these names; it is no file.
    EXPECT_EQ(nullptr, system.OpenFileForReading(dir.path() + "\\NUL"));
    EXPECT_EQ(nullptr, system.OpenFileForReading(dir.path() + "\\nul.kf7"));
}

TEST(Win32System, StartedThreadRunsAndContainsExceptions) {
    System system;
    std::atomic<int> stage{0};
    HANDLE done = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(system.StartThread([&]() -> uint32_t {
        stage = 1;
        ::SetEvent(done);
        throw std::runtime_error("must not leave the thread");
    }));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(done, 5000));
    ::Sleep(100);  // the exception unwinds after the event; the process must live on
    EXPECT_EQ(1, stage.load());
    ::CloseHandle(done);
    EXPECT_FALSE(system.StartThread(nullptr));
}

TEST(Win32System, VersionAndWow64) {
    System system;
    plat::OsVersion version;
    ASSERT_TRUE(system.GetVersionEx(version));
    EXPECT_GE(version.major, 5u);
    EXPECT_EQ(2u, version.platformId);  // VER_PLATFORM_WIN32_NT
    if (sizeof(void*) == 8) {
        EXPECT_FALSE(system.IsWow64()) << "a 64-bit process is never WOW64";
    }
    EXPECT_TRUE(system.RemoveCurrentDirectoryFromDllSearch());
}

TEST(Win32System, ExecutionStateIsTheOneAskedFor) {
    // The transfer keeps the system from sleeping and lets it sleep again afterwards; each call
    // answers the state the call before set (per thread on Windows, per process under Wine).
    System system;
    const uint32_t awake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED;
    system.SetThreadExecutionState(ES_CONTINUOUS);
    EXPECT_EQ(static_cast<uint32_t>(ES_CONTINUOUS), system.SetThreadExecutionState(awake));
    EXPECT_EQ(awake, system.SetThreadExecutionState(ES_CONTINUOUS));
}

TEST(Win32Platform, AsksWindowsForNoBoxOfItsOwnOnADriveWithoutItsDisk) {
    const UINT before = ::SetErrorMode(0);
    {
        plat::win32::Platform platform(::GetModuleHandleA(nullptr));
        UINT mode = ::SetErrorMode(0);
        ::SetErrorMode(mode);
        EXPECT_NE(0u, mode & SEM_FAILCRITICALERRORS);
        // Loading a library changes the mode for the call only.
        EXPECT_EQ(nullptr, platform.modules.LoadLibrary("no_such_library_ulma.dll"));
        mode = ::SetErrorMode(0);
        ::SetErrorMode(mode);
        EXPECT_EQ(static_cast<UINT>(SEM_FAILCRITICALERRORS), mode);
    }
    ::SetErrorMode(before);
}

TEST(Win32Modules, LoadsResolvesAndFails) {
    Modules modules;
    auto kernel = modules.LoadLibrary("kernel32");
    ASSERT_NE(nullptr, kernel);
    using GetTickCountFn = DWORD(WINAPI*)();
    auto tick = plat::GetProc<GetTickCountFn>(*kernel, "GetTickCount");
    ASSERT_NE(nullptr, tick);
    EXPECT_NE(0u, tick());
    EXPECT_EQ(nullptr, kernel->GetProcAddress("NoSuchExportAnywhere"));
    EXPECT_EQ(nullptr, modules.LoadLibrary("no_such_library_ulma.dll"));

    // A library the program loaded is given back when its owner goes (a copy of this program,
    // loaded by no one else).
    TempDir dir;
    char self[MAX_PATH];
    ASSERT_NE(0u, ::GetModuleFileNameA(nullptr, self, MAX_PATH));
    const std::string copy = dir.path() + "\\ulma_loaded_copy.dll";
    ASSERT_TRUE(::CopyFileA(self, copy.c_str(), FALSE));
    auto loaded = modules.LoadLibrary(copy);
    ASSERT_NE(nullptr, loaded);
    EXPECT_NE(nullptr, ::GetModuleHandleA(copy.c_str()));
    loaded.reset();
    EXPECT_EQ(nullptr, ::GetModuleHandleA(copy.c_str()));
    ::DeleteFileA(copy.c_str());
}

// Creates a key below HKEY_LOCAL_MACHINE for one test and deletes it afterwards.
class RegistryFixture : public ::testing::Test {
  protected:
    static constexpr const char* kRoot = "SOFTWARE\\UlmaWin32Test";
    void SetUp() override {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\UlmaWin32Test\\Driver\\3.0", 0,
                                    nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        const char value[] = "C:\\drivers\\info.dll";
        ::RegSetValueExA(key, "Info Dll", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         sizeof value);
        ::RegCloseKey(key);
    }
    void TearDown() override {
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\UlmaWin32Test\\Driver\\3.0");
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\UlmaWin32Test\\Driver");
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRoot);
    }
};

TEST_F(RegistryFixture, OpensEnumeratesAndReads) {
    Registry registry;
    std::unique_ptr<plat::IRegKey> root;
    ASSERT_EQ(ERROR_SUCCESS, registry.OpenKey(nullptr, kRoot, KEY_READ, root));
    ASSERT_NE(nullptr, root);

    char name[144];
    uint32_t length = sizeof name;
    ASSERT_EQ(ERROR_SUCCESS, root->EnumKey(0, name, &length));
    EXPECT_STREQ("Driver", name);
    EXPECT_EQ(6u, length);
    length = sizeof name;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, root->EnumKey(1, name, &length));

    // A relative path of several components below an open key.
    std::unique_ptr<plat::IRegKey> version;
    ASSERT_EQ(ERROR_SUCCESS, registry.OpenKey(root.get(), "Driver\\3.0", KEY_READ, version));
    char data[64] = {};
    uint32_t type = 0, size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS,
              version->QueryValue("Info Dll", &type, reinterpret_cast<uint8_t*>(data), &size));
    EXPECT_EQ(static_cast<uint32_t>(REG_SZ), type);
    EXPECT_STREQ("C:\\drivers\\info.dll", data);
    EXPECT_EQ(sizeof "C:\\drivers\\info.dll", size);

    // Too small a buffer: ERROR_MORE_DATA and the size needed.
    size = 4;
    EXPECT_EQ(ERROR_MORE_DATA,
              version->QueryValue("Info Dll", nullptr, reinterpret_cast<uint8_t*>(data), &size));
    EXPECT_EQ(sizeof "C:\\drivers\\info.dll", size);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, version->QueryValue("Absent", &type, nullptr, &size));

    std::unique_ptr<plat::IRegKey> missing;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, registry.OpenKey(root.get(), "Absent", KEY_READ, missing));
    EXPECT_EQ(nullptr, missing);
}

}  // namespace
