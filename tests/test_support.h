// Helpers shared by the unit tests: a scratch directory per test, the log
// files in it, a fixed clock, and file reading.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "leases/client_identity.h"

// A fresh, empty directory under the system's temporary folder; removed
// with its contents when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool FileExists(const std::string& path);

// Log lines of a log file without their time stamps, CR LF split off.
std::vector<std::string> LogTexts(const std::string& path);
// True when every line of the file, split at each CR and each LF, begins
// with an entry's time stamp: no text of an entry started a line of its own.
bool EveryLogLineIsStamped(const std::string& path);

// Points both logs into dir (and restores the default limits) for one test.
void UseLogDirectory(const std::string& dir);

// A settable clock: SetTestClock(t) makes NowFileTime() return t until
// UseSystemClock().
void SetTestClock(uint64_t filetime);
void AdvanceTestClock(int64_t seconds);
uint64_t TestClockNow();
void UseSystemClock();

// 2026-12-07 00:00:00 UTC in the FILETIME scale: a fixed "now" for tests.
constexpr uint64_t TEST_EPOCH = (20794ULL * 86400ULL + 11644473600ULL) * 10000000ULL;

// A well-formed dotted quad in host order: Ip("192.0.2.50") is 0xC0000232.
constexpr uint32_t Ip(const char* text, uint32_t high = 0, uint32_t part = 0) {
    return !*text ? (high << 8) | part
                  : *text == '.' ? Ip(text + 1, (high << 8) | part) : Ip(text + 1, high, part * 10 + (*text - '0'));
}

// A client as a request names it, over the caller's identifier bytes (an
// array or a vector, or a pointer and a length).
inline ClientIdentity Client(const char* name) { return ClientIdentity{name, nullptr, 0}; }
inline ClientIdentity Client(const char* name, const uint8_t* id, size_t length) { return {name, id, length}; }
template <typename Bytes>
ClientIdentity Client(const char* name, const Bytes& id) { return {name, std::data(id), std::size(id)}; }
