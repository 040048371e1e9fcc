// The two start-up lines of the main log, the banner and the hardware line,
// formatted from figures that each platform gathers its own way.
#pragma once

#include <cstdint>
#include <string>

// printf-style text of at most one log entry (LOG_ENTRY_MAX bytes).
std::string FormatLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

struct SystemVersion {
    long platformId = 2;  // 0 Win32s, 1 Windows 95 family, 2 NT family; other numbers are printed
    long major = 0;
    long minor = 0;
    long build = 0;
    std::string servicePack;  // free text: the service pack, or the kernel's version text
};

// "Win32S", "Windows 95", "Windows NT", else "Platform %ld".
std::string PlatformName(long platformId);

// "NIMBO V<version> Starting - Running on <platform> <major>.<minor> (Build <build>) (<service pack>)\n".
// The Windows 95 family reports its version in the high half of the build
// number, so only the low 16 bits are the build there.
std::string StartupBannerText(const char* version, const char* platformName, const SystemVersion& system);
std::string WindowsStartupBanner(const char* version, const SystemVersion& system);

struct ProcessorFigures {
    long count = 1;
    long architecture = 0;  // 0 Intel, 2 Alpha, 9 x64, ...
    long level = 0;
    long revision = 0;
    long type = 0;          // 386, 486, 586 or another number (Windows 95 family)
};
// The processor text of the hardware line: on NT by architecture, on the
// other platforms by processor type.
std::string WindowsProcessorText(long platformId, const ProcessorFigures& cpu);

struct MemoryFigures {  // bytes
    uint64_t totalPhysical = 0, availablePhysical = 0;
    int loadPercent = 0;
    uint64_t totalPageFile = 0, availablePageFile = 0;
    uint64_t totalVirtual = 0, availableVirtual = 0;
};
// "Hardware - CPU:<processor> Memory:Physical:<n>MB (<n>MB avail) <load>% used PageFile:... Virtual:...\n",
// every amount in whole megabytes (the remainder dropped).
std::string HardwareText(const std::string& processor, const MemoryFigures& memory);
