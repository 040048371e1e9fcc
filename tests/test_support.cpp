#include "test_support.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "base/clock.h"
#include "base/log.h"

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("nimbo-test-" + std::to_string(random() % 1000000000ULL));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate.string();
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

std::string ScratchDir::file(const std::string& name) const { return (fs::path(path_) / name).string(); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

bool FileExists(const std::string& path) { return fs::exists(path); }

std::vector<std::string> LogTexts(const std::string& path) {
    std::vector<std::string> lines;
    std::string contents = ReadFile(path);
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find("\r\n", start);
        std::string line = contents.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t stamp = line.find(" - ");
        lines.push_back(stamp == std::string::npos ? line : line.substr(stamp + 3));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

bool EveryLogLineIsStamped(const std::string& path) {
    static const std::regex stamp(R"(^\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d\d:\d\d\.\d\d\d - )");
    std::string contents = ReadFile(path);
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find_first_of("\r\n", start);
        if (end == std::string::npos) end = contents.size();
        std::string line = contents.substr(start, end - start);
        // The CR LF that ends an entry leaves an empty piece between them.
        if (!line.empty() && !std::regex_search(line, stamp)) return false;
        start = end + 1;
    }
    return true;
}

void UseLogDirectory(const std::string& dir) {
    SetLogDirectory(dir);
    SetMainLogLimit(DEFAULT_LOG_LIMIT);
    SetAddressLogLimit(DEFAULT_LOG_LIMIT);
}

namespace {
std::atomic<uint64_t> test_now{TEST_EPOCH};
uint64_t TestClock() { return test_now.load(); }
}  // namespace

void SetTestClock(uint64_t filetime) {
    test_now.store(filetime);
    SetClockSource(&TestClock);
}

void AdvanceTestClock(int64_t seconds) {
    test_now.fetch_add(static_cast<uint64_t>(seconds * static_cast<int64_t>(FILETIME_TICKS_PER_SECOND)));
}

uint64_t TestClockNow() { return test_now.load(); }

void UseSystemClock() { SetClockSource(nullptr); }
