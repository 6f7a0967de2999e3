// Checks the built stand-in DLLs from outside, as the tool uses them: loads them from this
// program's folder by bare name, resolves the exports by undecorated name, runs an information
// query, a status check, a transfer and a cancelled transfer, and reads back the log, the received
// package and the version written into the state file. Prints each failed check; exit code 0
// when all pass. Run it under Wine from the folder that holds the DLLs.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using PInit = int(WINAPI*)(const char*, unsigned char*);
using PCmdInit = int(WINAPI*)(int);
using PStatus = int(WINAPI*)(unsigned char*, int);
using PCallback = int(WINAPI*)(unsigned);
using PSend = int(WINAPI*)(const unsigned char*, const unsigned char*, const unsigned*,
                           unsigned char*, int, PCallback);
using PCaps = int(WINAPI*)(const char*, const char*, unsigned, char*, const void*);
using PQv = int(WINAPI*)(char*, int, unsigned char*, unsigned, unsigned*, unsigned);

int g_failures = 0;
std::vector<unsigned> g_percents;
DWORD g_callbackThread = 0;
unsigned g_stopAt = 1000;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++g_failures;
    }
}

int WINAPI Progress(unsigned percent) {
    g_percents.push_back(percent);
    g_callbackThread = GetCurrentThreadId();
    return percent >= g_stopAt ? 0 : 1;
}

template <typename Fn>
Fn Proc(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string ExeDir() {
    char buffer[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string path = buffer;
    return path.substr(0, path.find_last_of("\\/"));
}

std::string QueryVersion(PQv write, PQv read) {
    char name[256] = "P1";
    unsigned char preamble[4] = {0x1B, 0x69, 0x61, 0x01};
    unsigned char info[4] = {0x1B, 0x69, 0x58, 0x53};
    unsigned char reply[32] = {};
    unsigned count = 0;
    if (!write(name, 0, preamble, 4, &count, 10000) || !write(name, 0, info, 4, &count, 10000) ||
        !read(name, 0, reply, 32, &count, 2000))
        return "(failed)";
    return std::string(reinterpret_cast<char*>(reply + 27), 5);
}

}  // namespace

int main() {
    const std::string dir = ExeDir();
    const std::string state = dir + "\\dllcheck.ini";
    for (const char* suffix : {"", ".log", ".recv1.bin", ".recv2.bin"})
        DeleteFileA((state + suffix).c_str());
    std::ofstream(state) << "printer=P1\nversion=1.05\nsysinfo=c\nnew_version=1.06\n"
                            "progress_step=20\ncancel_limit=300\n";
    SetEnvironmentVariableA("ULMA_SIMPRINTER", state.c_str());

    HMODULE xm = LoadLibraryA("XmLink.dll");
    HMODULE qv = LoadLibraryA("qvfilo.dll");
    if (!xm || !qv) {
        std::printf("FAILED: cannot load the stand-in DLLs\n");
        return 1;
    }
    const char* names[] = {"XMInitPrinter", "XMCheckSupportPrinter", "XMCmdInit",
                           "XMGetStatus",   "XMGetFileList",         "XMSendFile",
                           "XMReceiveFile", "XMDeleteFile"};
    for (const char* n : names) Check(GetProcAddress(xm, n) != nullptr, n);
    auto init = Proc<PInit>(xm, "XMInitPrinter");
    auto cmdInit = Proc<PCmdInit>(xm, "XMCmdInit");
    auto status = Proc<PStatus>(xm, "XMGetStatus");
    auto send = Proc<PSend>(xm, "XMSendFile");
    auto write = Proc<PQv>(qv, "QVWriteFile");
    auto read = Proc<PQv>(qv, "QVReadFile");
    if (!init || !cmdInit || !status || !send || !write || !read) {
        std::printf("FAILED: missing exports\n");
        return 1;
    }

    Check(QueryVersion(write, read) == "1.05c", "version before the update");

    unsigned char record[10] = {};
    unsigned char block[32] = {};
    Check(init("P1", record) == 0, "XMInitPrinter");
    Check(cmdInit(1000) == 0, "XMCmdInit");
    Check(status(block, 1000) == 0, "XMGetStatus");
    Check(block[0] == 0x81 && block[1] == 0x20 && block[2] == 0x42, "status 81 20 42");
    Check(block[24] == 0x2C && block[25] == 0x01, "cancel limit at offset 24");

    unsigned char header[64] = {0x90, 0x40};
    unsigned char data[200];
    for (int i = 0; i < 200; ++i) data[i] = static_cast<unsigned char>(i);
    unsigned length = 200;
    header[16] = 200;
    std::memset(block, 0, sizeof(block));
    Check(send(header, data, &length, block, 500000, &Progress) == 0, "XMSendFile");
    Check(g_percents == std::vector<unsigned>({0, 20, 40, 60, 80, 100}), "percentages");
    Check(g_callbackThread == GetCurrentThreadId(), "callback on the calling thread");
    Check(QueryVersion(write, read) == "1.06c", "version after the update");

    g_percents.clear();
    g_stopAt = 40;
    Check(cmdInit(1000) == 0, "XMCmdInit again");
    Check(send(header, data, &length, block, 500000, &Progress) == 8, "cancel gives 8");

    std::string received = ReadAll(state + ".recv1.bin");
    Check(received.size() == 264 &&
              received.compare(64, 200, reinterpret_cast<char*>(data), 200) == 0,
          "received package bytes");
    Check(ReadAll(state + ".recv2.bin").empty(), "a cancelled package is not kept");
    std::string log = ReadAll(state + ".log");
    Check(log.find("QVWriteFile printer=\"P1\" len=4 data=1B696101 timeout=10000\n") == 0,
          "first log line");
    Check(log.find(" value=500000 printer=\"P1\" result=8\n") != std::string::npos,
          "cancelled send logged");
    Check(ReadAll(state).find("\nversion=1.06\n") != std::string::npos, "version written back");
    FreeLibrary(xm);
    FreeLibrary(qv);

    HMODULE nodelete = LoadLibraryA((dir + "\\variants\\nodelete\\XmLink.dll").c_str());
    Check(nodelete && GetProcAddress(nodelete, "XMSendFile") &&
              !GetProcAddress(nodelete, "XMDeleteFile"),
          "XmLink variant without XMDeleteFile");
    HMODULE noread = LoadLibraryA((dir + "\\variants\\noread\\qvfilo.dll").c_str());
    Check(noread && GetProcAddress(noread, "QVWriteFile") && !GetProcAddress(noread, "QVReadFile"),
          "qvfilo variant without QVReadFile");
    HMODULE info = LoadLibraryA("qvinfo.dll");
    auto caps = info ? Proc<PCaps>(info, "MyDeviceCapabilities") : nullptr;
    Check(caps != nullptr, "qvinfo.dll exports MyDeviceCapabilities");
    if (caps) {
        char tapes[2 * 138] = {};
        Check((caps("QL", "", 269, nullptr, nullptr) & 0x40000) != 0, "special-tape bit");
        Check(caps("QL", "", 257, nullptr, nullptr) == 2, "tape count");
        Check(caps("QL", "", 257, tapes, nullptr) == 2 && tapes[138] == 1 && tapes[138 + 1] == 1,
              "second tape record has code 257");
        Check(caps("QL", "", 9999, nullptr, nullptr) == -1, "unanswered capability");
    }
    if (info) FreeLibrary(info);
    if (nodelete) FreeLibrary(nodelete);
    if (noread) FreeLibrary(noread);

    std::printf(g_failures == 0 ? "stand-in DLLs: all checks passed\n"
                                : "stand-in DLLs: %d checks failed\n",
                g_failures);
    return g_failures == 0 ? 0 : 1;
}
