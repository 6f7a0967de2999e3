#include "memory/failing_new.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

std::atomic<long> g_from{-1};
std::atomic<bool> g_armed{false};
std::atomic<bool> g_onwards{false};
std::atomic<long> g_failed{-1};
std::atomic<long> g_toolRequests{0};
void* g_toolBase = nullptr;
void* g_testBase = nullptr;
void* g_frames[64];
int g_frameCount = 0;
// Where the simulated string loading's code starts and ends: a return address into it lies
// after the first and at most at the second.
struct CodeRange {
    uintptr_t first = 0, second = 0;
};
CodeRange g_loadString;

// Whether the request was made by the tool's code: the first caller outside the shared C and
// C++ runtimes lies in the tool's library, with none of this program's code in between; or the
// request is the simulated string loading's, which asks for memory on Windows too and hands its
// failure to the tool the same way.
bool FromTool(void* const* frames, int count) {
    bool throughThisProgram = false;
    for (int i = 1; i < count; ++i) {
        Dl_info info;
        if (!dladdr(frames[i], &info)) return false;
        if (info.dli_fbase == g_toolBase) return !throughThisProgram;
        if (info.dli_fbase != g_testBase) continue;
        auto at = reinterpret_cast<uintptr_t>(frames[i]);
        if (at > g_loadString.first && at <= g_loadString.second) return true;
        throughThisProgram = true;
    }
    return false;
}

}  // namespace

namespace failing_new {

bool Arm(long from, void* toolCode, bool onwards) {
    Dl_info info;
    g_toolBase = dladdr(toolCode, &info) ? info.dli_fbase : nullptr;
    g_testBase = dladdr(reinterpret_cast<void*>(&Arm), &info) ? info.dli_fbase : nullptr;
    void* loadString = dlsym(RTLD_DEFAULT, "_ZN3sim5SimUi10LoadStringB5cxx11Ej");
    void* entry = nullptr;
    g_loadString = CodeRange{};
    if (loadString && dladdr1(loadString, &info, &entry, RTLD_DL_SYMENT) && entry) {
        auto start = reinterpret_cast<uintptr_t>(loadString);
        g_loadString = CodeRange{start, start + static_cast<const ElfW(Sym)*>(entry)->st_size};
    }
    void* warm[2];
    backtrace(warm, 2);  // loads the unwinder before any request is watched
    g_failed = -1;
    g_frameCount = 0;
    g_toolRequests = 0;
    g_from = from;
    g_onwards = onwards;
    g_armed = true;
    return g_toolBase && g_testBase && g_loadString.second > g_loadString.first;
}

void Disarm() { g_armed = false; }
long ToolRequests() { return g_toolRequests; }
long Failed() { return g_failed; }

std::string FailedWhere() {
    std::string where;
    for (int i = 1; i < g_frameCount; ++i) {
        Dl_info info;
        if (!dladdr(g_frames[i], &info) || info.dli_fbase != g_toolBase || !info.dli_sname)
            continue;
        int status = 0;
        std::unique_ptr<char, decltype(&std::free)> name(
            abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status), &std::free);
        std::string text = status == 0 ? name.get() : info.dli_sname;
        if (text.rfind("std::", 0) == 0 || text.rfind("void std::", 0) == 0) continue;
        if (!where.empty()) where += " <- ";
        where += text.substr(0, text.find('('));
    }
    return where;
}

}  // namespace failing_new

void* operator new(std::size_t size) {
    if (g_armed.load(std::memory_order_relaxed)) {
        long from = g_from.load(std::memory_order_relaxed);
        void* frames[64];
        int count = backtrace(frames, 64);
        long k = FromTool(frames, count) ? g_toolRequests.fetch_add(1) : -1;
        if (from >= 0 && (k == from || (k > from && g_onwards.load()))) {
            if (k == from) {
                for (int i = 0; i < count; ++i) g_frames[i] = frames[i];
                g_frameCount = count;
                g_failed = from;
            }
            throw std::bad_alloc();
        }
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
