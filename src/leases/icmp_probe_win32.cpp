// ICMP echo on Windows through ICMP.DLL, loaded by name at run time. While
// the library fails to load, every probe tries again; a library that loads
// but lacks one of the three entry points stays unusable.
#include <windows.h>

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
// Offset of Status in ICMP_ECHO_REPLY (after the ULONG Address), the same
// in the 32- and 64-bit layouts.
constexpr size_t REPLY_STATUS_OFFSET = 4;
constexpr ULONG IP_SUCCESS_STATUS = 0;

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

EchoResult PlatformSendEcho(uint32_t address, const void* payload, size_t payloadSize, uint32_t timeoutMs) {
    if (!LoadIcmpLibrary()) return EchoResult{false, 0, 0};
    alignas(8) unsigned char request[64] = {};
    if (payloadSize > sizeof request) payloadSize = sizeof request;
    std::memcpy(request, payload, payloadSize);
    alignas(8) unsigned char reply[REPLY_BUFFER_SIZE] = {};

    HANDLE handle = icmp_create_file();
    SetLastError(0);
    DWORD replies = icmp_send_echo(handle, HostToNetwork(address), request, static_cast<WORD>(payloadSize), nullptr,
                                   reply, REPLY_BUFFER_SIZE, timeoutMs);
    DWORD error = GetLastError();
    if (handle != INVALID_HANDLE_VALUE) icmp_close_handle(handle);

    // A stored reply can also be an error report such as "destination host
    // unreachable" (which Windows gives when ARP finds nobody on the local
    // network); only a successful echo means the address is in use.
    if (replies != 0) {
        ULONG status;
        std::memcpy(&status, reply + REPLY_STATUS_OFFSET, sizeof status);
        if (status != IP_SUCCESS_STATUS) {
            error = status;
            replies = 0;
        }
    }
    return EchoResult{true, static_cast<unsigned>(replies), static_cast<unsigned long>(error)};
}
