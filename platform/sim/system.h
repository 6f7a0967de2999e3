// The kernel services of the simulated Windows machine: an in-memory file system with
// case-insensitive Windows paths, private-profile reading with the rules of the Windows API, ANSI
// character stepping for code pages 1252 and 932, a virtual clock and real threads.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace sim {

// The user's language; Japanese also means the ANSI code page 932.
enum class Language { English, Japanese };

// Converts UTF-8 text to the ANSI code page (1252 or 932); unmappable characters become '?'.
std::string Utf8ToAnsi(const std::string& utf8, int codePage);
// Converts ANSI text of the code page (1252 or 932) to UTF-8; invalid bytes become '?'.
std::string AnsiToUtf8(const std::string& ansi, int codePage);
// Converts UTF-16LE bytes to the ANSI code page.
std::string Utf16ToAnsi(const std::string& utf16le, int codePage);
// True when the byte opens a double-byte character in the code page.
bool IsLeadByte(int codePage, uint8_t byte);
// Upper-cases the single-byte letters of ANSI text, leaving double-byte characters untouched.
std::string FoldAnsi(const std::string& text, int codePage);

class SimSystem : public plat::ISystem {
  public:
    explicit SimSystem(Language language = Language::English,
                       std::string exePath = "C:\\Tools\\ulmaupdate.exe");
    ~SimSystem() override;
    SimSystem(const SimSystem&) = delete;
    SimSystem& operator=(const SimSystem&) = delete;

    // ---- configuration and inspection used by tests ----

    // The ANSI code page: 1252 for English, 932 for Japanese.
    int CodePage() const { return m_codePage; }
    Language GetLanguage() const { return m_language; }
    // Path that GetModuleFileName reports.
    void SetExePath(const std::string& path);
    std::string ExePath() const;
    // The folder of the executable, without the trailing separator.
    std::string ExeDir() const;
    // Makes GetModuleFileName fail.
    void FailModuleFileName(bool fail) { m_failModuleFileName = fail; }
    // Current directory, against which relative paths are resolved.
    void SetCurrentDirectory(const std::string& path);

    // Adds (or replaces) a file; its folders come into being with it.
    void AddFile(const std::string& path, const std::string& bytes);
    void AddDirectory(const std::string& path);
    // Removes a file; false when there was none.
    bool RemoveFile(const std::string& path);
    // A locked file cannot be opened (another process holds it open without sharing).
    void LockFile(const std::string& path, bool locked = true);
    // Reads of the file give at most maxPerRead bytes each (0: no limit), and the byte at
    // badOffset cannot be read, as in a damaged sector: a read stops before it, and a read
    // starting at it gives nothing. Reads after it go on as usual.
    void SetReadFaults(const std::string& path, uint32_t maxPerRead,
                       uint64_t badOffset = UINT64_MAX);
    // The bytes of a file; empty when there is none.
    std::string ReadFile(const std::string& path) const;
    // True when a folder exists at this path.
    bool DirectoryExists(const std::string& path) const;
    // Every write to the file system made through the platform (the platform has no write call,
    // so the tool can never add to it).
    std::vector<std::string> Writes() const;
    // Every path opened for reading, in order (successful opens only).
    std::vector<std::string> OpenedFiles() const;
    // Files open right now (a handle leak shows here).
    int OpenFileCount() const;
    // Every GetPrivateProfileString call as "file|section|key".
    std::vector<std::string> ProfileReads() const;

    // OS version reported by GetVersionEx, or a failing GetVersionEx.
    void SetOsVersion(const plat::OsVersion& version) { m_osVersion = version; }
    void FailGetVersionEx(bool fail) { m_failVersion = fail; }
    void SetWow64(bool wow64) { m_wow64 = wow64; }
    // Calls of RemoveCurrentDirectoryFromDllSearch so far.
    int DllSearchCurrentDirectoryRemovals() const { return m_dllSearchRemovals; }
    bool CurrentDirectoryInDllSearch() const { return m_dllSearchRemovals == 0; }

    // Virtual time: the sum of every Sleep so far, and each Sleep in order. A Sleep outside the
    // started threads while one of them runs also gives up the processor for a real moment.
    uint64_t TotalSleptMs() const { return m_totalSlept; }
    std::vector<uint32_t> Sleeps() const;
    // Called on the sleeping thread at every Sleep, after the time was counted: the test can
    // act while the program waits (set it before the program runs).
    void OnSleep(std::function<void(uint32_t ms)> hook) { m_onSleep = std::move(hook); }

    // Makes StartThread fail.
    void FailStartThread(bool fail) { m_failStartThread = fail; }
    // Makes StartThread throw std::bad_alloc, as a layer does that cannot allocate what it hands
    // the new thread.
    void ThrowOnStartThread(bool fail) { m_throwOnStartThread = fail; }
    // Threads started so far and threads still running.
    int ThreadsStarted() const { return m_threadsStarted; }
    int LiveThreads() const { return m_liveThreads; }
    // Waits (really) until every started thread has finished; false on timeout.
    bool WaitForThreads(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    // Joins every finished thread and waits for the others (called by the machine's destructor).
    void JoinThreads();
    // Called on the thread that ends, after its entry returned (the dialog manager wakes up).
    void SetThreadExitHook(std::function<void()> hook);
    // Exit codes of the threads that ended, in the order they ended.
    std::vector<uint32_t> ThreadExitCodes() const;

    // Named locks: held by another process (so that this one cannot take them), and the names
    // this process holds right now.
    void HoldLockElsewhere(const std::string& name, bool held = true);
    std::vector<std::string> HeldLocks() const;
    struct LockTable;

    // Every SetThreadExecutionState argument in order.
    std::vector<uint32_t> ExecutionStates() const;
    // The virtual time (TotalSleptMs) at each of those calls.
    std::vector<uint64_t> ExecutionStateTimes() const;
    uint32_t CurrentExecutionState() const { return m_executionState; }

    // Windows path rules: '/' counts as '\', relative paths are relative to the current
    // directory; the result is the absolute path in its original letter case.
    std::string Resolve(const std::string& path) const;
    // Whether a file exists (case-insensitive); used by the module loader too.
    bool HasFile(const std::string& path) const;

    // ---- plat::ISystem ----
    bool GetModuleFileName(std::string& path) override;
    bool FileExists(const std::string& path) override;
    uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def,
                                     char* buffer, uint32_t size, const char* file) override;
    bool IsDBCSLeadByte(uint8_t byte) override;
    const char* CharNext(const char* p) override;
    std::unique_ptr<plat::IFile> OpenFileForReading(const std::string& path) override;
    void Sleep(uint32_t ms) override;
    bool GetVersionEx(plat::OsVersion& out) override;
    bool IsWow64() override;
    bool RemoveCurrentDirectoryFromDllSearch() override;
    bool StartThread(std::function<uint32_t()> entry) override;
    uint32_t SetThreadExecutionState(uint32_t flags) override;
    std::unique_ptr<plat::IHeldLock> HoldNamedLock(const std::string& name) override;

    struct FileEntry {
        std::string path;  // as added
        std::shared_ptr<const std::string> bytes;
        bool locked = false;
        int openCount = 0;
        uint32_t maxPerRead = 0;
        uint64_t badOffset = UINT64_MAX;
    };
    struct FileTable;  // shared with open files, so a file may outlive the machine safely

  private:
    std::string Key(const std::string& absolutePath) const;
    // The folders that contain an absolute path, outermost first.
    std::vector<std::string> Folders(const std::string& absolutePath) const;

    const Language m_language;
    const int m_codePage;
    mutable std::mutex m_mutex;
    std::string m_exePath;
    std::string m_currentDir = "C:\\Users\\user";
    std::atomic<bool> m_failModuleFileName{false};
    std::shared_ptr<FileTable> m_files;
    std::vector<std::string> m_profileReads;
    plat::OsVersion m_osVersion{6, 1, 7601, 2};
    std::atomic<bool> m_failVersion{false};
    std::atomic<bool> m_wow64{false};
    std::atomic<int> m_dllSearchRemovals{0};
    std::atomic<uint64_t> m_totalSlept{0};
    std::function<void(uint32_t)> m_onSleep;
    std::vector<uint32_t> m_sleeps;
    std::atomic<bool> m_failStartThread{false};
    std::atomic<bool> m_throwOnStartThread{false};
    std::atomic<int> m_threadsStarted{0};
    std::atomic<int> m_liveThreads{0};
    std::vector<std::thread> m_threads;
    std::vector<uint32_t> m_exitCodes;
    std::condition_variable m_threadsCv;
    std::function<void()> m_threadExitHook;
    std::atomic<uint32_t> m_executionState{win::ES_CONTINUOUS};
    std::vector<uint32_t> m_executionStates;
    std::vector<uint64_t> m_executionStateTimes;
    std::shared_ptr<LockTable> m_locks;
};

}  // namespace sim
