#include "standins/infosim.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "standins/textfile.h"

namespace infosim {

namespace {

void Put16(std::vector<uint8_t>& r, size_t offset, int value) {
    r[offset] = uint8_t(value & 0xFF);
    r[offset + 1] = uint8_t((value >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& r, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) r[offset + i] = uint8_t(value >> (8 * i));
}
void PutName(std::vector<uint8_t>& r, size_t offset, const std::string& name) {
    std::memcpy(&r[offset], name.data(), std::min<size_t>(name.size(), 49));
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

bool ParseNumber(const std::string& text, long& out) {
    std::string t = Trim(text);
    if (t.size() == 3 && t[0] == '\'' && t[2] == '\'') {
        out = static_cast<unsigned char>(t[1]);
        return true;
    }
    if (t.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(t.c_str(), &end, 0);
    if (*end != '\0') return false;
    out = static_cast<long>(static_cast<int32_t>(static_cast<uint32_t>(v)));
    return true;
}

std::vector<std::string> Split(const std::string& text, char sep, size_t maxParts) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (parts.size() + 1 < maxParts) {
        size_t at = text.find(sep, start);
        if (at == std::string::npos) break;
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

int32_t PackPoint(long x, long y) {
    return static_cast<int32_t>((uint32_t(y) << 16) | (uint32_t(x) & 0xFFFF));
}

const char* Text(const char* s) { return s ? s : "(null)"; }

}  // namespace

std::vector<uint8_t> TapeRecord(const Tape& t) {
    std::vector<uint8_t> r(kTapeBytes, 0);
    Put16(r, 0, t.code);
    Put16(r, 2, t.lengthDots);
    Put16(r, 4, t.lengthTenths);
    Put16(r, 6, t.endMargin);
    Put16(r, 8, t.lengthDots - 2 * t.endMargin);
    PutName(r, 12, t.name);
    PutName(r, 62, t.name2.empty() ? t.name : t.name2);
    Put16(r, 112, t.widthDots);
    Put16(r, 114, t.widthTenths);
    Put16(r, 116, t.sideMargin);
    Put16(r, 118, t.widthDots - 2 * t.sideMargin);
    Put32(r, 124, t.flags);
    Put16(r, 128, t.base ? t.base : t.code);
    r[130] = t.tapeClass;
    return r;
}

std::vector<uint8_t> FeedRecord(const Feed& f) {
    std::vector<uint8_t> r(kFeedBytes, 0);
    r[0] = f.key;
    Put16(r, 1, f.margin);
    return r;
}

Data DefaultData() {
    Data d;
    d.answers[269] = 0x40000;
    d.answers[274] = 0;
    d.answers[276] = 1;
    d.answers[278] = '1';
    auto dots = [](int tenths) { return int16_t((tenths * 300 + 127) / 254); };
    auto tape = [&](uint16_t code, int16_t w, int16_t l, const char* name) {
        Tape t;
        t.code = code;
        t.widthTenths = w;
        t.lengthTenths = l;
        t.widthDots = dots(w);
        t.lengthDots = dots(l);
        t.sideMargin = t.endMargin = dots(10);
        t.name = name;
        return t;
    };
    d.tapes = {tape(256, 620, 1000, "62mm x 100mm"), tape(257, 290, 900, "29mm x 90mm")};
    d.feeds = {Feed{0, 12}, Feed{1, 35}};
    return d;
}

Library::Library() : data_(DefaultData()) {}

void Library::SetData(Data data) {
    std::lock_guard<std::mutex> lock(mutex_);
    data_ = std::move(data);
}

Data Library::GetData() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return data_;
}

bool Library::LoadText(const std::string& text, std::string* error) {
    Data d = GetData();
    bool tapesSeen = false, feedsSeen = false;
    int number = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    for (std::string line : standin_text::SplitLines(text)) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) return fail("no '='");
        std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        static const std::map<std::string, uint32_t> kScalars = {
            {"flags", 269}, {"colors", 271}, {"cap276", 276}, {"model", 278}};
        static const std::map<std::string, uint32_t> kPoints = {{"origin", 274}, {"offset", 275}};
        long n = 0;
        if (kScalars.count(key)) {
            uint32_t cap = kScalars.at(key);
            if (value == "none") {
                d.answers.erase(cap);
            } else if (ParseNumber(value, n)) {
                d.answers[cap] = int32_t(n);
            } else {
                return fail("bad number");
            }
        } else if (kPoints.count(key)) {
            uint32_t cap = kPoints.at(key);
            auto xy = Split(value, ',', 2);
            long x = 0, y = 0;
            if (value == "none") {
                d.answers.erase(cap);
            } else if (xy.size() == 2 && ParseNumber(xy[0], x) && ParseNumber(xy[1], y)) {
                d.answers[cap] = PackPoint(x, y);
            } else {
                return fail("expected x,y");
            }
        } else if (key == "tapes" || key == "feeds") {
            bool& answer = key == "tapes" ? d.answerTapes : d.answerFeeds;
            if (value == "none") {
                answer = false;
            } else if (value == "empty") {
                answer = true;
                (key == "tapes" ? tapesSeen : feedsSeen) = true;
                if (key == "tapes")
                    d.tapes.clear();
                else
                    d.feeds.clear();
            } else {
                return fail("expected none or empty");
            }
        } else if (key == "tape") {
            // code,widthTenths,lengthTenths,widthDots,lengthDots,side,end,flags,base,class,name
            auto f = Split(value, ',', 11);
            if (f.size() != 11) return fail("a tape has 11 fields");
            long v[10];
            for (int i = 0; i < 10; ++i)
                if (!ParseNumber(f[size_t(i)], v[i])) return fail("bad tape field");
            if (!tapesSeen) d.tapes.clear();
            tapesSeen = true;
            Tape t;
            t.code = uint16_t(v[0]);
            t.widthTenths = int16_t(v[1]);
            t.lengthTenths = int16_t(v[2]);
            t.widthDots = int16_t(v[3]);
            t.lengthDots = int16_t(v[4]);
            t.sideMargin = int16_t(v[5]);
            t.endMargin = int16_t(v[6]);
            t.flags = uint32_t(v[7]);
            t.base = uint16_t(v[8]);
            t.tapeClass = uint8_t(v[9]);
            auto names = Split(Trim(f[10]), '|', 2);
            t.name = names[0];
            if (names.size() > 1) t.name2 = names[1];
            d.tapes.push_back(t);
        } else if (key == "feed") {
            auto f = Split(value, ',', 2);
            long k = 0, m = 0;
            if (f.size() != 2 || !ParseNumber(f[0], k) || !ParseNumber(f[1], m))
                return fail("expected key,margin");
            if (!feedsSeen) d.feeds.clear();
            feedsSeen = true;
            d.feeds.push_back(Feed{uint8_t(k), int16_t(m)});
        } else {
            return fail("unknown key " + key);
        }
    }
    SetData(std::move(d));
    return true;
}

void Library::SetLogFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    logFile_ = path;
}

int32_t Library::Answer(const char* device, const char* port, uint32_t capability, char* output,
                        const void* devmode) {
    std::lock_guard<std::mutex> lock(mutex_);
    int32_t answer = -1;
    auto table = [&](bool answered, size_t count, int32_t countOverride, auto record) {
        if (!answered) return int32_t{-1};
        if (!output) return countOverride != -2 ? countOverride : int32_t(count);
        // The caller's buffer holds the records counted: a smaller count is all that is written.
        if (countOverride >= 0) count = std::min(count, size_t(countOverride));
        for (size_t i = 0; i < count; ++i) {
            std::vector<uint8_t> bytes = record(i);
            std::memcpy(output + i * bytes.size(), bytes.data(), bytes.size());
        }
        return int32_t(count);
    };
    if (capability == 257) {
        answer = table(data_.answerTapes, data_.tapes.size(), data_.tapeCountOverride,
                       [&](size_t i) { return TapeRecord(data_.tapes[i]); });
    } else if (capability == 270) {
        answer = table(data_.answerFeeds, data_.feeds.size(), data_.feedCountOverride,
                       [&](size_t i) { return FeedRecord(data_.feeds[i]); });
    } else {
        auto found = data_.answers.find(capability);
        if (found != data_.answers.end()) answer = found->second;
    }
    Call call{device ? device : "(null)", Text(port),         capability,
              output != nullptr,          devmode != nullptr, answer};
    if (!port) call.port = "(null)";
    calls_.push_back(call);
    if (!logFile_.empty()) {
        standin_text::AppendLine(logFile_, FormatCall(call));
    }
    return answer;
}

std::vector<Call> Library::Calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void Library::ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

std::string Library::FormatCall(const Call& c) {
    return "MyDeviceCapabilities device=\"" + c.device + "\" port=\"" + c.port +
           "\" capability=" + std::to_string(c.capability) +
           " output=" + (c.withOutput ? "buffer" : "null") +
           " devmode=" + (c.withDevMode ? "held" : "null") + " answer=" + std::to_string(c.answer);
}

Library& Instance() {
    static Library library;
    return library;
}

}  // namespace infosim
