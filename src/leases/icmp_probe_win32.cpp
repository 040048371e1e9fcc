// ICMP echo on Windows through ICMP.DLL, loaded by name at run time. While
// the library fails to load, every probe tries again; a library that loads
// but lacks one of the three entry points stays unusable.
//
// IcmpSendEcho chooses the identifier and sequence number and matches the
// reply to them; the payload is ours, unpredictable for every probe (rand_s,
// the system's random source), and a reply counts only when it comes from
// the probed address and echoes it.
#define _CRT_RAND_S
#include <stdlib.h>

#include <windows.h>
#include <ipexport.h>

#include <cstring>
#include <mutex>

#include "leases/icmp_probe.h"
#include "base/ip_address.h"

namespace {

using IcmpCreateFileFn = HANDLE(WINAPI*)();
using IcmpCloseHandleFn = BOOL(WINAPI*)(HANDLE);
using IcmpSendEchoFn = DWORD(WINAPI*)(HANDLE, ULONG, LPVOID, WORD, LPVOID, LPVOID, DWORD, DWORD);

enum class LibraryState { NotLoaded, Loaded, Unusable };

std::mutex library_lock;
const char* library_name = "ICMP.DLL";
LibraryState library_state = LibraryState::NotLoaded;
IcmpCreateFileFn icmp_create_file = nullptr;
IcmpCloseHandleFn icmp_close_handle = nullptr;
IcmpSendEchoFn icmp_send_echo = nullptr;

constexpr DWORD REPLY_BUFFER_SIZE = 156;
static_assert(sizeof(ICMP_ECHO_REPLY) + PROBE_PAYLOAD_SIZE + 8 <= REPLY_BUFFER_SIZE, "room for one echo");

bool RandomPayload(uint8_t* payload) {
    for (size_t i = 0; i < PROBE_PAYLOAD_SIZE; i += sizeof(unsigned int)) {
        unsigned int value;
        if (rand_s(&value) != 0) return false;
        std::memcpy(payload + i, &value, sizeof value);
    }
    return true;
}

// Resolves the library once; the library is never unloaded.
bool LoadIcmpLibrary() {
    std::lock_guard<std::mutex> guard(library_lock);
    if (library_state == LibraryState::Loaded) return true;
    if (library_state == LibraryState::Unusable) return false;
    HMODULE library = LoadLibraryA(library_name);
    if (!library) return false;
    icmp_create_file = reinterpret_cast<IcmpCreateFileFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "IcmpCreateFile")));
    icmp_close_handle = reinterpret_cast<IcmpCloseHandleFn>(
        reinterpret_cast<void*>(GetProcAddress(library, "IcmpCloseHandle")));
    icmp_send_echo =
        reinterpret_cast<IcmpSendEchoFn>(reinterpret_cast<void*>(GetProcAddress(library, "IcmpSendEcho")));
    library_state = (icmp_create_file && icmp_close_handle && icmp_send_echo) ? LibraryState::Loaded
                                                                              : LibraryState::Unusable;
    return library_state == LibraryState::Loaded;
}

}  // namespace

void SetIcmpLibraryForTests(const char* name, bool forget) {
    std::lock_guard<std::mutex> guard(library_lock);
    library_name = name ? name : "ICMP.DLL";
    if (forget) {
        library_state = LibraryState::NotLoaded;
        icmp_create_file = nullptr;
        icmp_close_handle = nullptr;
        icmp_send_echo = nullptr;
    }
}

bool IsEchoOfProbe(const void* reply, size_t replySize, uint32_t address, const uint8_t* payload) {
    if (replySize < sizeof(ICMP_ECHO_REPLY)) return false;
    ICMP_ECHO_REPLY echo;
    std::memcpy(&echo, reply, sizeof echo);
    // The data must lie within the buffer; IcmpSendEcho puts it there.
    const uint8_t* begin = static_cast<const uint8_t*>(reply);
    const uint8_t* data = static_cast<const uint8_t*>(echo.Data);
    return echo.Status == IP_SUCCESS && echo.Address == HostToNetwork(address) &&
           echo.DataSize == PROBE_PAYLOAD_SIZE && data >= begin + sizeof echo &&
           data + PROBE_PAYLOAD_SIZE <= begin + replySize && std::memcmp(data, payload, PROBE_PAYLOAD_SIZE) == 0;
}

EchoResult PlatformSendEcho(uint32_t address, uint32_t timeoutMs) {
    if (!LoadIcmpLibrary()) return EchoResult{false, 0, 0};
    alignas(8) uint8_t payload[PROBE_PAYLOAD_SIZE];
    if (!RandomPayload(payload)) return EchoResult{true, 0, static_cast<unsigned long>(GetLastError())};
    alignas(8) unsigned char reply[REPLY_BUFFER_SIZE] = {};

    HANDLE handle = icmp_create_file();
    SetLastError(0);
    DWORD replies = icmp_send_echo(handle, HostToNetwork(address), payload, static_cast<WORD>(PROBE_PAYLOAD_SIZE),
                                   nullptr, reply, REPLY_BUFFER_SIZE, timeoutMs);
    DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE) icmp_close_handle(handle);

    // A stored reply can also be an error report such as "destination host
    // unreachable" (which Windows gives when ARP finds nobody on the local
    // network), or an echo that is not ours: only our own echo from the
    // probed address means the address is in use.
    if (replies != 0 && !IsEchoOfProbe(reply, REPLY_BUFFER_SIZE, address, payload)) {
        ICMP_ECHO_REPLY echo;
        std::memcpy(&echo, reply, sizeof echo);
        error = echo.Status;
        replies = 0;
    }
    return EchoResult{true, static_cast<unsigned>(replies), static_cast<unsigned long>(error)};
}
