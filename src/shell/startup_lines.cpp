#include "startup_lines.h"

#include <cstdarg>
#include <cstdio>

#include "base/log.h"

std::string FormatLine(const char* format, ...) {
    char buffer[LOG_ENTRY_MAX + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

namespace {

long Megabytes(uint64_t bytes) { return static_cast<long>(bytes / 1048576ULL); }

}  // namespace

std::string PlatformName(long platformId) {
    switch (platformId) {
        case 0: return "Win32S";
        case 1: return "Windows 95";
        case 2: return "Windows NT";
        default: return FormatLine("Platform %ld", platformId);
    }
}

std::string StartupBannerText(const char* version, const char* platformName, const SystemVersion& system) {
    return FormatLine("NIMBO V%.100s Starting - Running on %.100s %ld.%ld (Build %ld) (%.100s)\n", version, platformName,
                  system.major, system.minor, system.build, system.servicePack.c_str());
}

std::string WindowsStartupBanner(const char* version, const SystemVersion& system) {
    SystemVersion shown = system;
    if (system.platformId == 1) shown.build = system.build & 0xFFFF;
    return StartupBannerText(version, PlatformName(system.platformId).c_str(), shown);
}

std::string WindowsProcessorText(long platformId, const ProcessorFigures& cpu) {
    if (platformId == 2) {
        int count = static_cast<int>(cpu.count), level = static_cast<int>(cpu.level);
        unsigned revision = static_cast<unsigned>(cpu.revision);
        if (cpu.architecture == 0) return FormatLine("%d processors - Intel %d86 Rev:%04x", count, level, revision);
        if (cpu.architecture == 2) return FormatLine("%d processors - Alpha %d Rev:%04x", count, level, revision);
        return FormatLine("%d processors - Arch:%d-%d-%04x", count, static_cast<int>(cpu.architecture), level, revision);
    }
    switch (cpu.type) {
        case 386: return "i386";
        case 486: return "i486";
        case 586: return "Pentium";
        default: return FormatLine("CPU:%ld", cpu.type);
    }
}

std::string HardwareText(const std::string& processor, const MemoryFigures& memory) {
    return FormatLine(
        "Hardware - CPU:%.100s Memory:Physical:%ldMB (%ldMB avail) %d%% used PageFile:%ldMB (%ldMB avail) "
        "Virtual:%ldMB (%ldMB avail)\n",
        processor.c_str(), Megabytes(memory.totalPhysical), Megabytes(memory.availablePhysical), memory.loadPercent,
        Megabytes(memory.totalPageFile), Megabytes(memory.availablePageFile), Megabytes(memory.totalVirtual),
        Megabytes(memory.availableVirtual));
}
