#include "platform/sim/system.h"

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <set>
#include <thread>

namespace sim {

// ---------------------------------------------------------------------------------------------
// Code pages.

namespace {

const char* IconvName(int codePage) { return codePage == 932 ? "CP932" : "CP1252"; }

// Converts with iconv; on an unconvertible or invalid sequence writes '?' and skips one unit of
// `skipUnit` bytes (or one UTF-8 character when skipUnit is 0).
std::string Convert(const std::string& in, const char* to, const char* from, size_t skipUnit) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out;
    out.reserve(in.size() * 2 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof(buffer);
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: replace one character and go on.
        out.push_back('?');
        size_t skip = skipUnit;
        if (skip == 0) {
            unsigned char c = static_cast<unsigned char>(*src);
            skip = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            // Never skip into the middle of the next character.
            for (size_t i = 1; i < skip && i < srcLeft; ++i) {
                if ((static_cast<unsigned char>(src[i]) & 0xC0) != 0x80) {
                    skip = i;
                    break;
                }
            }
        }
        skip = std::min(skip, srcLeft);
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string Utf8ToAnsi(const std::string& utf8, int codePage) {
    return Convert(utf8, IconvName(codePage), "UTF-8", 0);
}

std::string AnsiToUtf8(const std::string& ansi, int codePage) {
    return Convert(ansi, "UTF-8", IconvName(codePage), 1);
}

std::string Utf16ToAnsi(const std::string& utf16le, int codePage) {
    return Convert(utf16le, IconvName(codePage), "UTF-16LE", 2);
}

bool IsLeadByte(int codePage, uint8_t byte) {
    return codePage == 932 && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

std::string FoldAnsi(const std::string& text, int codePage) {
    std::string out = text;
    for (size_t i = 0; i < out.size(); ++i) {
        uint8_t c = static_cast<uint8_t>(out[i]);
        if (IsLeadByte(codePage, c)) {
            ++i;  // the trail byte is never a letter of its own
            continue;
        }
        if (c >= 'a' && c <= 'z') {
            out[i] = static_cast<char>(c - 0x20);
        } else if (codePage == 1252 && c >= 0xE0 && c <= 0xFE && c != 0xF7) {
            out[i] = static_cast<char>(c - 0x20);  // Latin-1 letters
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Files.

struct SimSystem::FileTable {
    std::mutex mutex;
    std::map<std::string, FileEntry> files;  // by folded absolute path
    std::map<std::string, std::string> directories;
    std::vector<std::string> opened;
    int openFiles = 0;
};

namespace {

class SimFile : public plat::IFile {
  public:
    SimFile(std::shared_ptr<SimSystem::FileTable> table, std::string key,
            std::shared_ptr<const std::string> bytes)
        : m_table(std::move(table)), m_key(std::move(key)), m_bytes(std::move(bytes)) {}
    ~SimFile() override {
        std::lock_guard<std::mutex> lock(m_table->mutex);
        auto it = m_table->files.find(m_key);
        if (it != m_table->files.end() && it->second.openCount > 0) --it->second.openCount;
        --m_table->openFiles;
    }
    bool Seek(uint64_t offset) override {
        if (offset > 0xFFFFFFFFull) return false;
        m_pos = offset;  // past the end is allowed, reads then give 0 bytes
        return true;
    }
    uint32_t Read(void* buffer, uint32_t size) override {
        if (!buffer || m_pos >= m_bytes->size()) return 0;
        uint64_t n = std::min<uint64_t>(size, m_bytes->size() - m_pos);
        {
            std::lock_guard<std::mutex> lock(m_table->mutex);
            auto it = m_table->files.find(m_key);
            if (it != m_table->files.end()) {
                const SimSystem::FileEntry& e = it->second;
                if (e.maxPerRead != 0) n = std::min<uint64_t>(n, e.maxPerRead);
                if (m_pos == e.badOffset) return 0;
                if (m_pos < e.badOffset) n = std::min<uint64_t>(n, e.badOffset - m_pos);
            }
        }
        std::memcpy(buffer, m_bytes->data() + m_pos, n);
        m_pos += n;
        return static_cast<uint32_t>(n);
    }

  private:
    std::shared_ptr<SimSystem::FileTable> m_table;
    std::string m_key;
    std::shared_ptr<const std::string> m_bytes;
    uint64_t m_pos = 0;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

SimSystem::SimSystem(Language language, std::string exePath)
    : m_language(language),
      m_codePage(language == Language::Japanese ? 932 : 1252),
      m_exePath(std::move(exePath)),
      m_files(std::make_shared<FileTable>()),
      m_locks(std::make_shared<LockTable>()) {
    AddDirectory("C:\\Windows\\System32");
    AddDirectory(m_currentDir);
    AddDirectory(ExeDir());
}

SimSystem::~SimSystem() { JoinThreads(); }

void SimSystem::SetExePath(const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_exePath = path;
    }
    AddDirectory(ExeDir());
}

std::string SimSystem::ExePath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exePath;
}

std::string SimSystem::ExeDir() const {
    std::string path = ExePath();
    size_t cut = std::string::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsLeadByte(m_codePage, static_cast<uint8_t>(path[i]))) {
            ++i;
        } else if (IsSeparator(path[i]) || path[i] == ':') {
            cut = i;
        }
    }
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void SimSystem::SetCurrentDirectory(const std::string& path) {
    std::string abs = Resolve(path);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_currentDir = abs;
    }
    AddDirectory(abs);
}

std::string SimSystem::Resolve(const std::string& path) const {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');  // '/' is never a trail byte
    bool absolute =
        (p.size() >= 2 && p[1] == ':') || (p.size() >= 2 && p[0] == '\\' && p[1] == '\\');
    if (!absolute) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!p.empty() && p[0] == '\\') {
            p = m_currentDir.substr(0, 2) + p;  // root of the current drive
        } else {
            p = m_currentDir + "\\" + p;
        }
    }
    // Collapse "\.\", "\..\" and doubled separators, as Windows' path normalisation does. A
    // byte 0x5C after a lead byte is part of a double-byte character, not a separator.
    std::vector<std::string> parts;
    std::string part;
    std::string prefix = p.substr(0, 2);
    for (size_t i = 2; i <= p.size(); ++i) {
        if (i < p.size() && IsLeadByte(m_codePage, static_cast<uint8_t>(p[i])) &&
            i + 1 < p.size()) {
            part.push_back(p[i]);
            part.push_back(p[++i]);
            continue;
        }
        if (i == p.size() || p[i] == '\\') {
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part.push_back(p[i]);
        }
    }
    std::string out = prefix;
    for (const auto& s : parts) out += "\\" + s;
    return out;
}

std::vector<std::string> SimSystem::Folders(const std::string& absolutePath) const {
    std::vector<std::string> out;
    for (size_t i = 2; i < absolutePath.size(); ++i) {
        if (IsLeadByte(m_codePage, static_cast<uint8_t>(absolutePath[i]))) {
            ++i;
        } else if (absolutePath[i] == '\\' && i > 2) {
            out.push_back(absolutePath.substr(0, i));
        }
    }
    return out;
}

std::string SimSystem::Key(const std::string& absolutePath) const {
    return FoldAnsi(absolutePath, m_codePage);
}

void SimSystem::AddDirectory(const std::string& path) {
    std::string abs = Resolve(path);
    std::vector<std::string> folders = Folders(abs);
    folders.push_back(abs);  // and every folder on the way
    std::lock_guard<std::mutex> lock(m_files->mutex);
    for (const auto& f : folders) m_files->directories.emplace(Key(f), f);
}

void SimSystem::AddFile(const std::string& path, const std::string& bytes) {
    std::string abs = Resolve(path);
    std::vector<std::string> folders = Folders(abs);
    std::lock_guard<std::mutex> lock(m_files->mutex);
    for (const auto& f : folders) m_files->directories.emplace(Key(f), f);
    FileEntry& e = m_files->files[Key(abs)];
    e.path = abs;
    e.bytes = std::make_shared<const std::string>(bytes);
}

bool SimSystem::RemoveFile(const std::string& path) {
    std::string key = Key(Resolve(path));
    std::lock_guard<std::mutex> lock(m_files->mutex);
    return m_files->files.erase(key) > 0;
}

void SimSystem::LockFile(const std::string& path, bool locked) {
    std::string key = Key(Resolve(path));
    std::lock_guard<std::mutex> lock(m_files->mutex);
    auto it = m_files->files.find(key);
    if (it != m_files->files.end()) it->second.locked = locked;
}

void SimSystem::SetReadFaults(const std::string& path, uint32_t maxPerRead, uint64_t badOffset) {
    std::string key = Key(Resolve(path));
    std::lock_guard<std::mutex> lock(m_files->mutex);
    auto it = m_files->files.find(key);
    if (it == m_files->files.end()) return;
    it->second.maxPerRead = maxPerRead;
    it->second.badOffset = badOffset;
}

std::string SimSystem::ReadFile(const std::string& path) const {
    std::string key = Key(Resolve(path));
    std::lock_guard<std::mutex> lock(m_files->mutex);
    auto it = m_files->files.find(key);
    return it == m_files->files.end() ? std::string() : *it->second.bytes;
}

bool SimSystem::DirectoryExists(const std::string& path) const {
    std::string key = Key(Resolve(path));
    std::lock_guard<std::mutex> lock(m_files->mutex);
    return m_files->directories.count(key) > 0;
}

bool SimSystem::HasFile(const std::string& path) const {
    if (path.empty()) return false;
    std::string key = Key(Resolve(path));
    std::lock_guard<std::mutex> lock(m_files->mutex);
    return m_files->files.count(key) > 0;
}

std::vector<std::string> SimSystem::Writes() const { return {}; }

std::vector<std::string> SimSystem::OpenedFiles() const {
    std::lock_guard<std::mutex> lock(m_files->mutex);
    return m_files->opened;
}

int SimSystem::OpenFileCount() const {
    std::lock_guard<std::mutex> lock(m_files->mutex);
    return m_files->openFiles;
}

std::vector<std::string> SimSystem::ProfileReads() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_profileReads;
}

bool SimSystem::GetModuleFileName(std::string& path) {
    if (m_failModuleFileName) return false;
    std::string p = ExePath();
    if (p.empty()) return false;
    // As the Windows layer does: a path too long for the 260-byte fields is refused, never cut.
    if (p.size() >= 260) return false;
    path = p;
    return true;
}

bool SimSystem::FileExists(const std::string& path) { return HasFile(path); }

std::unique_ptr<plat::IFile> SimSystem::OpenFileForReading(const std::string& path) {
    if (path.empty()) return nullptr;
    std::string abs = Resolve(path);
    std::string key = Key(abs);
    std::lock_guard<std::mutex> lock(m_files->mutex);
    auto it = m_files->files.find(key);
    // Opened without sharing: a locked file or one already open cannot be opened again.
    if (it == m_files->files.end() || it->second.locked || it->second.openCount > 0) return nullptr;
    ++it->second.openCount;
    ++m_files->openFiles;
    m_files->opened.push_back(it->second.path);
    return std::make_unique<SimFile>(m_files, key, it->second.bytes);
}

// ---------------------------------------------------------------------------------------------
// Private profiles, parsed the way the Windows API reads them.

namespace {

struct ProfileKey {
    std::string name;
    bool hasValue = false;
    std::string value;
};
struct ProfileSection {
    std::string name;
    std::vector<ProfileKey> keys;
};

bool IsProfileSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x1A;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsProfileSpace(s[b])) ++b;
    while (e > b && IsProfileSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::vector<ProfileSection> ParseProfile(std::string text, int codePage) {
    // The encoding follows the byte-order mark: UTF-8 or UTF-16LE text arrives in the ANSI
    // code page, anything else is ANSI already.
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text = Utf8ToAnsi(text.substr(3), codePage);
    } else if (text.size() >= 2 && text.compare(0, 2, "\xFF\xFE") == 0) {
        text = Utf16ToAnsi(text.substr(2), codePage);
    }
    std::vector<ProfileSection> sections;
    ProfileSection* current = nullptr;  // keys before the first section belong to none
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close != std::string::npos) {
                sections.push_back({line.substr(1, close - 1), {}});
                current = &sections.back();
                continue;
            }
            // A header without its bracket reads as an ordinary line.
        }
        if (!current) continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            current->keys.push_back({line, false, {}});
        } else {
            current->keys.push_back({Trim(line.substr(0, eq)), true, Trim(line.substr(eq + 1))});
        }
    }
    return sections;
}

// Copies a C string into the caller's buffer, cut to size-1 bytes; returns the bytes copied.
uint32_t CopyOut(const std::string& value, char* buffer, uint32_t size) {
    size_t len = std::min<size_t>(std::strlen(value.c_str()), size - 1);
    std::memcpy(buffer, value.data(), len);
    buffer[len] = '\0';
    return static_cast<uint32_t>(len);
}

// Copies a list of names, each NUL-terminated, with a final NUL; cut lists return size-2.
uint32_t CopyList(const std::vector<std::string>& names, char* buffer, uint32_t size) {
    std::string all;
    for (const auto& n : names) {
        all += n.substr(0, n.find('\0'));  // a name ends at its first NUL
        all.push_back('\0');
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    if (all.size() + 1 <= size) {
        std::memcpy(buffer, all.data(), all.size());
        buffer[all.size()] = '\0';
        return static_cast<uint32_t>(all.empty() ? 0 : all.size());
    }
    std::memcpy(buffer, all.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

}  // namespace

uint32_t SimSystem::GetPrivateProfileString(const char* section, const char* key, const char* def,
                                            char* buffer, uint32_t size, const char* file) {
    if (!buffer || size == 0) return 0;
    std::string fileName = file ? file : "";
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_profileReads.push_back(fileName + "|" + (section ? section : "") + "|" +
                                 (key ? key : ""));
    }
    // A bare file name lives in the Windows folder.
    std::string path = fileName;
    if (!path.empty() && path.find_first_of("\\/:") == std::string::npos) {
        path = "C:\\Windows\\" + path;
    }
    std::string text;
    bool readable = false;
    if (!path.empty()) {
        std::string k = Key(Resolve(path));
        std::lock_guard<std::mutex> lock(m_files->mutex);
        auto it = m_files->files.find(k);
        if (it != m_files->files.end() && !it->second.locked) {
            text = *it->second.bytes;
            readable = true;
        }
    }
    std::vector<ProfileSection> sections;
    if (readable) sections = ParseProfile(text, m_codePage);

    if (!section) {
        std::vector<std::string> names;
        for (const auto& s : sections) names.push_back(s.name);
        return CopyList(names, buffer, size);
    }
    std::string wantSection = FoldAnsi(Trim(section), m_codePage);
    const ProfileSection* found = nullptr;
    for (const auto& s : sections) {
        if (FoldAnsi(s.name, m_codePage) == wantSection) {
            found = &s;  // only the first section of that name is searched
            break;
        }
    }
    if (!key) {
        std::vector<std::string> names;
        if (found) {
            for (const auto& k : found->keys) names.push_back(k.name);
        }
        return CopyList(names, buffer, size);
    }
    if (found) {
        std::string wantKey = FoldAnsi(Trim(key), m_codePage);
        for (const auto& k : found->keys) {
            if (FoldAnsi(k.name, m_codePage) != wantKey) continue;
            if (!k.hasValue) break;  // a line without '=' has no value: the default applies
            std::string value = k.value;
            // One pair of surrounding quotes goes.
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                value.back() == value[0]) {
                value = value.substr(1, value.size() - 2);
            }
            return CopyOut(value, buffer, size);
        }
    }
    // The default loses its trailing blanks.
    std::string d = def ? def : "";
    while (!d.empty() && d.back() == ' ') d.pop_back();
    return CopyOut(d, buffer, size);
}

// ---------------------------------------------------------------------------------------------
// Characters, time, versions, threads.

bool SimSystem::IsDBCSLeadByte(uint8_t byte) { return IsLeadByte(m_codePage, byte); }

const char* SimSystem::CharNext(const char* p) {
    if (!p || *p == '\0') return p;
    if (IsLeadByte(m_codePage, static_cast<uint8_t>(*p)) && p[1] != '\0') return p + 2;
    return p + 1;
}

namespace {
// True on the threads started through StartThread.
thread_local bool t_startedThread = false;
}  // namespace

void SimSystem::Sleep(uint32_t ms) {
    m_totalSlept += ms;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sleeps.push_back(ms);
    }
    if (m_onSleep) m_onSleep(ms);
    // Time is virtual, but a thread that waits in a Sleep loop for a started thread gives it
    // the processor for up to a real moment, as a real Sleep would, instead of spinning; it
    // goes on at once when the started threads have ended.
    if (t_startedThread) return;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_threadsCv.wait_for(lock, std::chrono::milliseconds(1), [this] { return m_liveThreads == 0; });
}

std::vector<uint32_t> SimSystem::Sleeps() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sleeps;
}

bool SimSystem::GetVersionEx(plat::OsVersion& out) {
    if (m_failVersion) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    out = m_osVersion;
    return true;
}

bool SimSystem::IsWow64() { return m_wow64; }

bool SimSystem::RemoveCurrentDirectoryFromDllSearch() {
    ++m_dllSearchRemovals;
    return true;
}

void SimSystem::SetThreadExitHook(std::function<void()> hook) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threadExitHook = std::move(hook);
}

bool SimSystem::StartThread(std::function<uint32_t()> entry) {
    if (m_throwOnStartThread) throw std::bad_alloc();
    if (m_failStartThread || !entry) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_threadsStarted;
    ++m_liveThreads;
    try {
        m_threads.emplace_back([this, entry = std::move(entry)]() {
            t_startedThread = true;
            uint32_t code = 0;
            try {
                code = entry();
            } catch (...) {
                // No exception leaves a thread entry: it ends with an error code.
                code = 0xFFFFFFFFu;
            }
            std::function<void()> hook;
            {
                std::lock_guard<std::mutex> inner(m_mutex);
                m_exitCodes.push_back(code);
                --m_liveThreads;
                hook = m_threadExitHook;
                m_threadsCv.notify_all();
            }
            if (hook) hook();
        });
    } catch (...) {
        --m_threadsStarted;
        --m_liveThreads;
        return false;
    }
    return true;
}

bool SimSystem::WaitForThreads(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_threadsCv.wait_for(lock, timeout, [this] { return m_liveThreads == 0; });
}

void SimSystem::JoinThreads() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        threads.swap(m_threads);
    }
    for (auto& t : threads) {
        if (t.joinable()) t.join();
    }
}

std::vector<uint32_t> SimSystem::ThreadExitCodes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_exitCodes;
}

// Names of the named locks taken in this process and of those another process holds; shared
// with the held locks, which may outlive the system.
struct SimSystem::LockTable {
    std::mutex mutex;
    std::set<std::string> held;
    std::set<std::string> elsewhere;
};

namespace {

class SimHeldLock : public plat::IHeldLock {
  public:
    SimHeldLock(std::shared_ptr<SimSystem::LockTable> table, std::string name)
        : m_table(std::move(table)), m_name(std::move(name)) {}
    ~SimHeldLock() override {
        std::lock_guard<std::mutex> lock(m_table->mutex);
        m_table->held.erase(m_name);
    }

  private:
    std::shared_ptr<SimSystem::LockTable> m_table;
    std::string m_name;
};

}  // namespace

void SimSystem::HoldLockElsewhere(const std::string& name, bool held) {
    std::lock_guard<std::mutex> lock(m_locks->mutex);
    if (held)
        m_locks->elsewhere.insert(name);
    else
        m_locks->elsewhere.erase(name);
}

std::vector<std::string> SimSystem::HeldLocks() const {
    std::lock_guard<std::mutex> lock(m_locks->mutex);
    return {m_locks->held.begin(), m_locks->held.end()};
}

// Names compare with their letter case, as the names of kernel objects do. A second take in
// the same process fails too: the lock stands for one running copy of the program.
std::unique_ptr<plat::IHeldLock> SimSystem::HoldNamedLock(const std::string& name) {
    std::lock_guard<std::mutex> lock(m_locks->mutex);
    if (m_locks->elsewhere.count(name) || !m_locks->held.insert(name).second) return nullptr;
    return std::make_unique<SimHeldLock>(m_locks, name);
}

uint32_t SimSystem::SetThreadExecutionState(uint32_t flags) {
    // Only a continuous request changes the state; others just reset the idle timers.
    uint32_t previous =
        (flags & win::ES_CONTINUOUS) ? m_executionState.exchange(flags) : m_executionState.load();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_executionStates.push_back(flags);
    m_executionStateTimes.push_back(m_totalSlept);
    return previous;
}

std::vector<uint32_t> SimSystem::ExecutionStates() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_executionStates;
}

std::vector<uint64_t> SimSystem::ExecutionStateTimes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_executionStateTimes;
}

}  // namespace sim
