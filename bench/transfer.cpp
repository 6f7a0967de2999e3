// Time and peak memory of a transfer of one package of 4 KB, 1, 16 and 64 MB through RunTransfer,
// to a transfer-driver library that takes the data at memory speed. Beside each time stands the
// floor: reading the file once and copying the data once. Beside the package size stands the
// peak memory the transfer added to the process. Before the transfers stands what a thread and
// its hand-overs alone cost on this machine. The small packages run once more with every thread
// on one core.
#include <malloc.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/framework.h"
#include "app/maindlg.h"
#include "app/rawio.h"
#include "platform/sim/machine.h"
#include "transfer/xmlink.h"

namespace {

constexpr char kPackage[] = "C:\\Tools\\fw.kf7";

// Where the stand-in library copies what it receives.
std::vector<uint8_t> g_sink;

int32_t ULMA_WINAPI Ok0(int32_t) { return 0; }
int32_t ULMA_WINAPI InitPrinter(const char*, uint8_t*) { return 0; }
int32_t ULMA_WINAPI CheckSupport(const char*) { return 0; }
int32_t ULMA_WINAPI GetStatus(uint8_t* status, int32_t) {
    status[0] = 0x81;
    status[1] = 0x20;
    status[2] = 0x42;
    return 0;
}
int32_t ULMA_WINAPI GetFileList(char*, int32_t) { return 0; }
int32_t ULMA_WINAPI ReceiveFile(const char*, uint8_t*, int32_t) { return 0; }
int32_t ULMA_WINAPI DeleteFile(const char*) { return 0; }
// Takes the data in ten slices, reporting progress after each, as fast as memory allows.
int32_t ULMA_WINAPI SendFile(const uint8_t*, const uint8_t* data, const uint32_t* length, uint8_t*,
                             int32_t, maker::XMProgressCallback callback) {
    uint32_t size = *length;
    if (callback(0) == 0) return maker::XM_RESULT_STOPPED;
    for (uint32_t step = 1; step <= 10; ++step) {
        uint32_t from = static_cast<uint32_t>(static_cast<uint64_t>(size) * (step - 1) / 10);
        uint32_t to = static_cast<uint32_t>(static_cast<uint64_t>(size) * step / 10);
        std::memcpy(g_sink.data() + from, data + from, to - from);
        if (callback(step * 10) == 0) return maker::XM_RESULT_STOPPED;
    }
    return 0;
}
int32_t ULMA_WINAPI WriteFile(char*, int32_t, const uint8_t*, uint32_t length, uint32_t* count,
                              uint32_t) {
    *count = length;
    return 1;
}
int32_t ULMA_WINAPI ReadFile(char*, int32_t, uint8_t*, uint32_t, uint32_t*, uint32_t) { return 1; }

template <class F>
void* Fn(F f) {
    return reinterpret_cast<void*>(f);
}

long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::stol(line.substr(n + 1));
    return -1;
}

// Resets the process's peak resident size to its current size (Linux 4.0 and later).
bool ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    return static_cast<bool>(out.flush());
}

std::string Package(uint32_t size) {
    std::string bytes(64 + static_cast<size_t>(size), '\0');
    bytes[0] = static_cast<char>(0x90);
    bytes[1] = 0x40;
    for (int i = 0; i < 4; ++i) bytes[16 + i] = static_cast<char>(size >> (8 * i));
    for (size_t i = 64; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
    return bytes;
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Reading the package once from the file and copying its data once; the buffer is given back
// inside the timing, as the transfer gives back its own.
double Floor(uint32_t size) {
    auto start = std::chrono::steady_clock::now();
    {
        std::unique_ptr<uint8_t[]> buffer(new uint8_t[size]);
        auto file = plat::System().OpenFileForReading(kPackage);
        file->Seek(64);
        file->Read(buffer.get(), size);
        std::memcpy(g_sink.data(), buffer.get(), size);
    }
    return Ms(std::chrono::steady_clock::now() - start);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The least a transfer's hand-overs can cost on this machine: a thread started, eleven
// synchronous requests it makes of the starting thread, each answered, and its final notice,
// with nothing else done by either thread.
void BareHandOvers(int rounds) {
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        std::mutex mutex;
        std::condition_variable cv;
        int asked = 0, answered = 0;
        bool finished = false;
        auto start = std::chrono::steady_clock::now();
        std::thread worker([&] {
            for (int i = 0; i < 11; ++i) {
                std::unique_lock<std::mutex> lock(mutex);
                int mine = ++asked;
                lock.unlock();
                cv.notify_all();
                lock.lock();
                cv.wait(lock, [&] { return answered >= mine; });
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                finished = true;
            }
            cv.notify_all();
        });
        {
            std::unique_lock<std::mutex> lock(mutex);
            while (!finished) {
                cv.wait(lock, [&] { return finished || asked > answered; });
                if (asked > answered) {
                    answered = asked;
                    lock.unlock();
                    cv.notify_all();
                    lock.lock();
                }
            }
        }
        times.push_back(Ms(std::chrono::steady_clock::now() - start));
        worker.join();
    }
    std::printf(
        "bare hand-overs (a thread, 11 answered requests, a final notice): best %8.3f ms, "
        "median %8.3f ms\n",
        *std::min_element(times.begin(), times.end()), Median(times));
}

void Run(const char* label, uint32_t size, int rounds) {
    sim::Machine machine;
    machine.modules.Register("XmLink.dll", {{"XMInitPrinter", Fn(&InitPrinter)},
                                            {"XMCheckSupportPrinter", Fn(&CheckSupport)},
                                            {"XMCmdInit", Fn(&Ok0)},
                                            {"XMGetStatus", Fn(&GetStatus)},
                                            {"XMGetFileList", Fn(&GetFileList)},
                                            {"XMSendFile", Fn(&SendFile)},
                                            {"XMReceiveFile", Fn(&ReceiveFile)},
                                            {"XMDeleteFile", Fn(&DeleteFile)}});
    machine.modules.Register("qvfilo.dll",
                             {{"QVWriteFile", Fn(&WriteFile)}, {"QVReadFile", Fn(&ReadFile)}});
    machine.system.AddFile(kPackage, Package(size));
    g_sink.assign(size, 0);
    BindXmLink();
    BindQVFilo();

    CulmaUpDateDlg dlg;
    dlg.m_strPrinterName = "P1";
    dlg.m_strMachineName = "M100";
    dlg.m_strKF7FileName = "fw.kf7";
    dlg.m_strKF7FilePath = kPackage;

    std::vector<double> times, floors;
    long peakKb = -1;
    int completed = 0;
    for (int i = 0; i < rounds; ++i) {
        floors.push_back(Floor(size));
        long before = StatusKb("VmRSS:");
        bool peakReset = ResetPeak();
        auto start = std::chrono::steady_clock::now();
        completed += dlg.RunTransfer();
        times.push_back(Ms(std::chrono::steady_clock::now() - start));
        if (peakReset) peakKb = std::max(peakKb, StatusKb("VmHWM:") - before);
        // The ended worker is joined outside the timing, as Windows frees an ended thread.
        machine.system.JoinThreads();
    }
    double best = *std::min_element(times.begin(), times.end());
    double floor = *std::min_element(floors.begin(), floors.end());
    std::printf(
        "%-6s package: best %8.3f ms, median %8.3f ms (floor best %8.3f ms, median %8.3f ms; "
        "best x%.2f); peak added %6.1f MB; %d of %d completed\n",
        label, best, Median(times), floor, Median(floors), best / floor, peakKb / 1024.0, completed,
        rounds);

    UnbindQVFilo();
    UnbindXmLink();
}

}  // namespace

int main() {
    // Every package-sized buffer, the floor's and the transfer's, comes fresh from the system
    // (as in a program that sends one update): without this the allocator would hand the floor
    // a buffer already touched in the round before while the worker thread gets new pages.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    std::printf("transfer through RunTransfer to a library taking data at memory speed\n");
    // A package of 4 KB shows the fixed cost of a transfer: the preamble, the progress dialog,
    // the worker thread and its eleven synchronous progress reports.
    BareHandOvers(200);
    Run("4 KB", 4u << 10, 200);
    Run("1 MB", 1u << 20, 100);
    Run("16 MB", 16u << 20, 10);
    Run("64 MB", 64u << 20, 5);
    // The same on one core: the worker and the user-interface thread then hand over without
    // waking another core, which separates the cost of the hand-overs from the transfer's own.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu() < 0 ? 0 : sched_getcpu(), &one);
    if (sched_setaffinity(0, sizeof one, &one) == 0) {
        std::printf("the same with every thread on one core\n");
        BareHandOvers(200);
        Run("4 KB", 4u << 10, 200);
        Run("1 MB", 1u << 20, 100);
    }
    return 0;
}
