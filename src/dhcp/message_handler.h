// The handling of one received datagram, apart from any socket: trace it,
// answer DHCPDISCOVER with DHCPOFFER and DHCPREQUEST with DHCPACK or DHCPNAK
// (built in place over the request), take back the lease of a DHCPRELEASE.
// The server thread feeds it every datagram and sends what it returns; tests
// call it directly.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"

// Length of every DHCPNAK: the fixed header, cookie, 53, 54 and end.
constexpr size_t NAK_LENGTH = 250;

struct ReplyAction {
    size_t length = 0;        // bytes of message.bytes to send; 0 = no reply
    uint32_t destination = 0;  // host order
    // A relay agent listens on the server port (67), a client on the client
    // port (68).
    bool toRelayAgent = false;
};

// A DHCPDISCOVER whose address waits for the in-use probe (see below).
struct PendingOffer;
struct PendingOfferDeleter {
    void operator()(PendingOffer* offer) const;
};
using PendingOfferHandle = std::unique_ptr<PendingOffer, PendingOfferDeleter>;

// Handles the datagram of `received` bytes in `message` with one settings
// snapshot: drops it when an unknown relay agent sent it (relay_check.h),
// else logs "DHCP - Incoming call", parses and traces it,
// then acts on its message type. A reply, if any, is in message.bytes[0 .. length).
// Any content and any length up to DHCP_BUFFER_SIZE is safe.
ReplyAction HandleDatagram(DhcpMessage& message, size_t received, const ServerSettings& settings);

// The server loop's form: the same, except that a DHCPDISCOVER whose address
// must first be probed is not answered here. `pending` gets all its offer
// needs (the message, the search so far, the settings snapshot), and
// FinishPendingOffer answers it later on another thread, while this one goes
// on with other clients. No reply then (length 0).
ReplyAction HandleDatagram(DhcpMessage& message, size_t received,
                           const std::shared_ptr<const ServerSettings>& settings, PendingOfferHandle& pending);
// Probes the candidates in turn, waiting for each, and builds the offer (or
// none) in the pending message, with the log lines the request would have
// had. `abandon` set (the server is stopping) ends it without a reply or a
// further line.
ReplyAction FinishPendingOffer(PendingOffer& offer, const std::atomic<bool>& abandon);
const DhcpMessage& PendingOfferMessage(const PendingOffer& offer);
// The client identity bytes of the pending request (as PeekClientId gives).
std::string PendingOfferClient(const PendingOffer& offer);
