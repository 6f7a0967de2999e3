#include "standins/simprinter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "standins/textfile.h"

namespace simprinter {
namespace {

constexpr uint8_t kPreamble[4] = {0x1B, 0x69, 0x61, 0x01};
constexpr uint8_t kInfoRequest[4] = {0x1B, 0x69, 0x58, 0x53};
constexpr uint32_t kReplySize = 32;
constexpr uint32_t kHeaderSize = 64;

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

std::string Hex(const uint8_t* p, size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 0x0F];
    }
    return out;
}

std::string Quoted(const char* s) { return s ? "\"" + std::string(s) + "\"" : std::string("null"); }

// Decimal digits (leading zeros allowed, never octal) or 0x and hexadecimal digits; no sign.
bool ParseMagnitude(const std::string& v, unsigned long long& out) {
    bool hex = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
    const std::string digits = hex ? v.substr(2) : v;
    if (digits.empty() || digits.size() > 16) return false;
    for (char c : digits) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!(hex ? std::isxdigit(u) : std::isdigit(u))) return false;
    }
    out = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    return true;
}

bool ParseUnsigned(const std::string& v, uint32_t& out) {
    unsigned long long x = 0;
    if (!ParseMagnitude(v, x) || x > 0xFFFFFFFFull) return false;
    out = static_cast<uint32_t>(x);
    return true;
}

bool ParseSigned(const std::string& v, int32_t& out) {
    const bool negative = !v.empty() && v[0] == '-';
    unsigned long long x = 0;
    if (!ParseMagnitude(negative ? v.substr(1) : v, x)) return false;
    if (x > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return false;
    out = static_cast<int32_t>(negative ? -static_cast<long long>(x) : static_cast<long long>(x));
    return true;
}

bool ParseBool(const std::string& v, bool& out) {
    uint32_t x = 0;
    if (!ParseUnsigned(v, x) || x > 1) return false;
    out = x != 0;
    return true;
}

// Up to 32 hex bytes separated by blanks (or written together); the rest of the block is zero.
bool ParseStatus(const std::string& v, std::array<uint8_t, 32>& out) {
    std::string digits;
    for (char c : v) {
        if (c == ' ' || c == '\t' || c == ',') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2 != 0 || digits.size() > 64) return false;
    out.fill(0);
    for (size_t i = 0; i < digits.size() / 2; ++i)
        out[i] = static_cast<uint8_t>(std::stoul(digits.substr(i * 2, 2), nullptr, 16));
    return true;
}

// A single character, 0xNN for any byte, or empty for 0.
bool ParseByte(const std::string& v, uint8_t& out) {
    if (v.empty()) {
        out = 0;
        return true;
    }
    if (v.size() == 1) {
        out = static_cast<uint8_t>(v[0]);
        return true;
    }
    uint32_t x = 0;
    if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X') && ParseUnsigned(v, x) &&
        x <= 0xFF) {
        out = static_cast<uint8_t>(x);
        return true;
    }
    return false;
}

using standin_text::AppendLine;
using standin_text::FileExists;
using standin_text::ReadWholeFile;
using standin_text::SplitLines;

// Replaces the value of every `key=` line of a state text (or appends the line): the last of
// them is the one read, so none may keep the old value.
std::string ReplaceKey(const std::string& text, const std::string& key, const std::string& value) {
    std::string out;
    bool done = false;
    for (const std::string& line : SplitLines(text)) {
        std::string t = Trim(line);
        size_t eq = t.find('=');
        if (eq != std::string::npos && Trim(t.substr(0, eq)) == key) {
            out += key + "=" + value + "\n";
            done = true;
        } else {
            out += line + "\n";
        }
    }
    if (!done) out += key + "=" + value + "\n";
    return out;
}

}  // namespace

State ParseState(const std::string& text, std::vector<std::string>* errors) {
    State s;
    bool sawPrinter = false;
    int lineNo = 0;
    for (const std::string& raw : SplitLines(text)) {
        ++lineNo;
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
        size_t eq = line.find('=');
        auto fail = [&](const std::string& why) {
            if (errors) errors->push_back("line " + std::to_string(lineNo) + ": " + why);
        };
        if (eq == std::string::npos) {
            fail("no '='");
            continue;
        }
        std::string key = Trim(line.substr(0, eq));
        std::string v = Trim(line.substr(eq + 1));
        bool ok = true;
        if (key == "printer") {
            if (!sawPrinter) s.printerNames.clear();
            sawPrinter = true;
            if (!v.empty()) s.printerNames.push_back(v);
        } else if (key == "version") {
            ok = v.size() <= 4;
            if (ok) s.version = v;
        } else if (key == "sysinfo") {
            ok = ParseByte(v, s.sysInfo);
        } else if (key == "new_version") {
            ok = v.size() <= 4;
            if (ok) s.newVersion = v;
        } else if (key == "status") {
            ok = ParseStatus(v, s.status);
        } else if (key == "cancel_limit") {
            ok = ParseUnsigned(v, s.cancelLimit);
        } else if (key == "speed") {
            ok = ParseUnsigned(v, s.speed);
        } else if (key == "progress_step") {
            ok = ParseUnsigned(v, s.progressStep) && s.progressStep >= 1 && s.progressStep <= 100;
        } else if (key == "packages") {
            ok = ParseUnsigned(v, s.packages);
        } else if (key == "fault_no_answer_preamble") {
            ok = ParseBool(v, s.noAnswerPreamble);
        } else if (key == "fault_no_answer_info") {
            ok = ParseBool(v, s.noAnswerInfo);
        } else if (key == "fault_no_answer_read") {
            ok = ParseBool(v, s.noAnswerRead);
        } else if (key == "fault_reply_length") {
            ok = ParseUnsigned(v, s.replyLength) && s.replyLength <= kReplySize;
        } else if (key == "fault_status_not_ready") {
            ok = ParseBool(v, s.statusNotReady);
        } else if (key == "fault_init_printer") {
            ok = ParseSigned(v, s.initPrinterResult);
        } else if (key == "fault_cmd_init") {
            ok = ParseSigned(v, s.cmdInitResult);
        } else if (key == "fault_send_package") {
            ok = ParseUnsigned(v, s.sendFailPackage);
        } else if (key == "fault_send_percent") {
            ok = ParseUnsigned(v, s.sendFailPercent) && s.sendFailPercent <= 100;
        } else if (key == "fault_send_result") {
            ok = ParseSigned(v, s.sendFailResult);
        } else if (key == "fault_percent_over_100") {
            ok = ParseUnsigned(v, s.percentOver100);
        } else if (key == "fault_slow_answer") {
            ok = ParseBool(v, s.slowAnswer);
        } else {
            fail("unknown key '" + key + "'");
            continue;
        }
        if (!ok) fail("bad value for '" + key + "': '" + v + "'");
    }
    return s;
}

std::string FormatState(const State& s) {
    std::string o;
    auto put = [&o](const char* key, const std::string& value) {
        o += key;
        o += '=';
        o += value;
        o += '\n';
    };
    auto num = [](auto v) { return std::to_string(v); };
    for (const std::string& name : s.printerNames) put("printer", name);
    if (s.printerNames.empty()) put("printer", "");
    put("version", s.version);
    if (s.sysInfo == 0)
        put("sysinfo", "");
    else if (s.sysInfo > 0x20 && s.sysInfo < 0x7F)
        put("sysinfo", std::string(1, static_cast<char>(s.sysInfo)));
    else
        put("sysinfo", "0x" + Hex(&s.sysInfo, 1));
    put("new_version", s.newVersion);
    std::string status;
    for (size_t i = 0; i < s.status.size(); ++i) status += (i ? " " : "") + Hex(&s.status[i], 1);
    put("status", status);
    put("cancel_limit", num(s.cancelLimit));
    put("speed", num(s.speed));
    put("progress_step", num(s.progressStep));
    put("packages", num(s.packages));
    put("fault_no_answer_preamble", num(int(s.noAnswerPreamble)));
    put("fault_no_answer_info", num(int(s.noAnswerInfo)));
    put("fault_no_answer_read", num(int(s.noAnswerRead)));
    put("fault_reply_length", num(s.replyLength));
    put("fault_status_not_ready", num(int(s.statusNotReady)));
    put("fault_init_printer", num(s.initPrinterResult));
    put("fault_cmd_init", num(s.cmdInitResult));
    put("fault_send_package", num(s.sendFailPackage));
    put("fault_send_percent", num(s.sendFailPercent));
    put("fault_send_result", num(s.sendFailResult));
    put("fault_percent_over_100", num(s.percentOver100));
    put("fault_slow_answer", num(int(s.slowAnswer)));
    return o;
}

Core::Core() { Reset(); }

void Core::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = State();
    sleep_ = nullptr;
    file_.clear();
    log_.clear();
    received_.clear();
    currentPrinter_.clear();
    sendsSinceInit_ = 0;
    okSinceInit_ = 0;
    pendingReplyFor_.clear();
    refusedText_.clear();
}

void Core::SetState(const State& state) {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
}

State Core::GetState() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

bool Core::SetStateText(const std::string& text) {
    std::vector<std::string> errors;
    State s = ParseState(text, &errors);
    if (!errors.empty()) return false;
    SetState(s);
    return true;
}

void Core::SetSleep(std::function<void(uint32_t)> sleep) {
    std::lock_guard<std::mutex> lock(mutex_);
    sleep_ = std::move(sleep);
}

void Core::BindFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    file_ = path;
    RefreshLocked();
}

std::string Core::BoundFile() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return file_;
}

std::vector<std::string> Core::Log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::vector<Received> Core::ReceivedPackages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void Core::ClearLog() {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.clear();
    received_.clear();
}

std::string Core::CurrentPrinter() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return currentPrinter_;
}

void Core::RefreshLocked() {
    if (file_.empty()) return;
    std::string text;
    if (!ReadWholeFile(file_, text)) {
        state_ = State();
        return;
    }
    std::vector<std::string> errors;
    state_ = ParseState(text, &errors);
    if (errors.empty()) {
        refusedText_.clear();
        return;
    }
    // A state the file does not say right is a printer that answers to no name: a fault written
    // wrongly must fail the run that meant to test it, not leave a working printer behind.
    state_.printerNames.clear();
    currentPrinter_.clear();
    pendingReplyFor_.clear();
    if (text == refusedText_) return;
    refusedText_ = text;
    for (const std::string& error : errors) AddLogLocked("State error: " + error);
}

void Core::AddLogLocked(const std::string& line) {
    log_.push_back(line);
    if (!file_.empty()) AppendLine(file_ + ".log", line);
}

void Core::StoreReceivedLocked(const std::string& printer, std::vector<uint8_t> bytes) {
    if (!file_.empty()) {
        for (int n = 1;; ++n) {
            std::string name = file_ + ".recv" + std::to_string(n) + ".bin";
            if (FileExists(name)) continue;
            standin_text::WriteWholeFile(name, bytes.data(), bytes.size());
            break;
        }
    }
    received_.push_back(Received{printer, std::move(bytes)});
}

void Core::ApplyNewVersionLocked() {
    state_.version = state_.newVersion;
    if (file_.empty()) return;
    std::string text;
    ReadWholeFile(file_, text);
    std::string updated = ReplaceKey(text, "version", state_.newVersion);
    standin_text::WriteWholeFile(file_, updated.data(), updated.size());
}

bool Core::KnownLocked(const char* printerName) const {
    if (!printerName) return false;
    return std::find(state_.printerNames.begin(), state_.printerNames.end(),
                     std::string(printerName)) != state_.printerNames.end();
}

void Core::FillStatusLocked(uint8_t* status32) const {
    std::memcpy(status32, state_.status.data(), state_.status.size());
    if (state_.statusNotReady) status32[0] = 0x80;
    for (int i = 0; i < 4; ++i)
        status32[24 + i] = static_cast<uint8_t>(state_.cancelLimit >> (8 * i));
}

void Core::Wait(uint32_t ms) {
    if (ms == 0) return;
    std::function<void(uint32_t)> sleep;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sleep = sleep_;
    }
    if (sleep)
        sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int32_t Core::XMInitPrinter(const char* printerName, uint8_t* record10) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    AddLogLocked("XMInitPrinter printer=" + Quoted(printerName) +
                 " record=" + (record10 ? Hex(record10, 10) : std::string("null")));
    currentPrinter_.clear();
    if (state_.initPrinterResult != 0) return state_.initPrinterResult;
    if (!KnownLocked(printerName)) return XM_ERR_GENERAL;
    currentPrinter_ = printerName;
    return 0;
}

int32_t Core::XMCheckSupportPrinter(const char* printerName) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    AddLogLocked("XMCheckSupportPrinter printer=" + Quoted(printerName));
    return KnownLocked(printerName) ? 0 : XM_ERR_GENERAL;
}

int32_t Core::XMCmdInit(int32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    AddLogLocked("XMCmdInit value=" + std::to_string(value));
    if (currentPrinter_.empty()) return XM_ERR_NO_PRINTER;
    if (state_.cmdInitResult != 0) return state_.cmdInitResult;
    sendsSinceInit_ = 0;
    okSinceInit_ = 0;
    return 0;
}

int32_t Core::XMGetStatus(uint8_t* status32, int32_t value) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    AddLogLocked("XMGetStatus status=" + (status32 ? Hex(status32, 32) : std::string("null")) +
                 " value=" + std::to_string(value));
    if (!status32) return XM_ERR_BAD_ARGUMENT;
    if (currentPrinter_.empty()) return XM_ERR_NO_PRINTER;
    FillStatusLocked(status32);
    return 0;
}

int32_t Core::XMGetFileList(char* buffer, int32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    AddLogLocked("XMGetFileList size=" + std::to_string(size));
    if (!buffer || size <= 0) return XM_ERR_BAD_ARGUMENT;
    buffer[0] = '\0';  // the simulated printer holds no files
    return 0;
}

int32_t Core::XMReceiveFile(const char* name, uint8_t* /*buffer*/, int32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    AddLogLocked("XMReceiveFile name=" + Quoted(name) + " size=" + std::to_string(size));
    return XM_ERR_UNSUPPORTED;
}

int32_t Core::XMDeleteFile(const char* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    RefreshLocked();
    AddLogLocked("XMDeleteFile name=" + Quoted(name));
    return XM_ERR_UNSUPPORTED;
}

int32_t Core::XMSendFile(const uint8_t* header64, const uint8_t* data, const uint32_t* length,
                         uint8_t* status32, int32_t value, maker::XMProgressCallback callback) {
    std::unique_lock<std::mutex> lock(mutex_);
    RefreshLocked();
    // The line is completed with the outcome and logged when the call returns.
    std::string line =
        "XMSendFile header=" + (header64 ? Hex(header64, kHeaderSize) : std::string("null")) +
        " length=" + (length ? std::to_string(*length) : std::string("null")) +
        " status=" + (status32 ? Hex(status32, 32) : std::string("null")) +
        " value=" + std::to_string(value) + " printer=\"" + currentPrinter_ + "\"";
    auto finish = [&](int32_t result) {
        AddLogLocked(line + " result=" + std::to_string(result));
        return result;
    };
    if (!header64 || !data || !length || *length == 0) return finish(XM_ERR_BAD_ARGUMENT);
    if (currentPrinter_.empty()) return finish(XM_ERR_NO_PRINTER);
    if (status32) FillStatusLocked(status32);

    const uint32_t size = *length;
    const uint32_t thisSend = ++sendsSinceInit_;
    const State s = state_;
    const std::string printer = currentPrinter_;
    const uint32_t step = std::min<uint32_t>(std::max<uint32_t>(s.progressStep, 1), 100);
    const uint32_t msPerStep =
        s.speed == 0
            ? 0
            : static_cast<uint32_t>(static_cast<uint64_t>(size) * step * 1000 / 100 / s.speed);
    const bool failing = s.sendFailPackage != 0 && s.sendFailPackage == thisSend;

    // Progress is reported on the calling thread without holding the lock: the callback may
    // wait for the user-interface thread, which may be reading the log.
    lock.unlock();
    int32_t result = 0;
    for (uint32_t percent = 0;; percent = std::min<uint32_t>(percent + step, 100)) {
        if (failing && percent >= s.sendFailPercent) {
            result = s.sendFailResult;
            break;
        }
        if (percent > 0) Wait(msPerStep);
        uint32_t reported = (percent == 100 && s.percentOver100 != 0) ? s.percentOver100 : percent;
        if (callback && callback(reported) == 0) {
            result = maker::XM_RESULT_STOPPED;
            break;
        }
        if (percent == 100) break;
    }
    lock.lock();

    if (result == 0) {
        std::vector<uint8_t> bytes(header64, header64 + kHeaderSize);
        bytes.insert(bytes.end(), data, data + size);
        StoreReceivedLocked(printer, std::move(bytes));
        if (++okSinceInit_ == s.packages) ApplyNewVersionLocked();
    }
    return finish(result);
}

int32_t Core::QVWriteFile(char* printerName, int32_t zero, const uint8_t* data, uint32_t length,
                          uint32_t* count, uint32_t timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    RefreshLocked();
    std::string line = "QVWriteFile printer=" + Quoted(printerName) +
                       " len=" + std::to_string(length) +
                       " data=" + (data ? Hex(data, length) : std::string("null")) +
                       " timeout=" + std::to_string(timeout);
    if (zero != 0) line += " value=" + std::to_string(zero);
    AddLogLocked(line);
    const bool slow = state_.slowAnswer;
    lock.unlock();
    if (slow) Wait(timeout);
    lock.lock();

    if (count) *count = 0;
    if (!data || !KnownLocked(printerName)) return 0;
    const bool preamble = length == 4 && std::memcmp(data, kPreamble, 4) == 0;
    const bool info = length == 4 && std::memcmp(data, kInfoRequest, 4) == 0;
    if (preamble && state_.noAnswerPreamble) return 0;
    if (info && state_.noAnswerInfo) return 0;
    if (info) pendingReplyFor_ = printerName;
    if (count) *count = length;
    return 1;
}

int32_t Core::QVReadFile(char* printerName, int32_t zero, uint8_t* data, uint32_t length,
                         uint32_t* count, uint32_t timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    RefreshLocked();
    std::string line = "QVReadFile printer=" + Quoted(printerName) +
                       " len=" + std::to_string(length) + " timeout=" + std::to_string(timeout);
    if (zero != 0) line += " value=" + std::to_string(zero);
    AddLogLocked(line);
    const bool slow = state_.slowAnswer;
    lock.unlock();
    if (slow) Wait(timeout);
    lock.lock();

    if (count) *count = 0;
    if (!data || !KnownLocked(printerName) || state_.noAnswerRead) return 0;
    // The printer answers only after it has been sent the information request.
    if (pendingReplyFor_.empty() || pendingReplyFor_ != printerName) return 0;
    pendingReplyFor_.clear();

    uint8_t reply[kReplySize] = {0x80, 0x20, 0x42};
    for (size_t i = 0; i < 4 && i < state_.version.size(); ++i)
        reply[27 + i] = static_cast<uint8_t>(state_.version[i]);
    reply[31] = state_.sysInfo;
    const uint32_t n = std::min({length, state_.replyLength, kReplySize});
    std::memcpy(data, reply, n);
    if (count) *count = n;
    return 1;
}

Core& Instance() {
    static Core core;
    return core;
}

}  // namespace simprinter
