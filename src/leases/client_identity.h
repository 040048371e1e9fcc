// Who a client is, as one request names it: the identifier bytes (option 61
// without its type byte, else the hardware address) and the host name it
// sent (option 12, "" for none). A view over the caller's buffers, which
// outlive the call; the lease store copies what it keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ClientIdentity {
    const char* hostName = "";  // never null
    const uint8_t* id = nullptr;
    size_t idLength = 0;
};

// Lower-case hex pairs joined by "-"; "" for length 0.
std::string FormatClientId(const uint8_t* bytes, size_t length);
inline std::string FormatClientId(const ClientIdentity& client) { return FormatClientId(client.id, client.idLength); }
