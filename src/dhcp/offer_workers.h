// The DHCPDISCOVERs whose address waits for the in-use probe. The server
// thread hands each to a worker thread, which waits for the probe (up to
// 100 ms a candidate), sends the offer and then handles the datagrams that
// came from the same client meanwhile; the server thread goes on serving
// other clients. So a burst of new clients is probed side by side, while
// each client's own datagrams are still handled one at a time, in the order
// they came, with their log lines in that order (another client's lines may
// come between them). A retransmitted DHCPDISCOVER waits for the probe
// already out for its client and is then answered with the same address.
//
// Workers are started as needed, up to MAX_OFFER_WORKERS probes at once;
// beyond that the offers wait their turn, up to MAX_WAITING_OFFERS, and a
// DHCPDISCOVER beyond that is dropped (the client asks again). A worker left
// idle for a while ends.
#pragma once

#include <cstddef>

#include "dhcp/dhcp_message.h"
#include "dhcp/message_handler.h"

constexpr size_t MAX_OFFER_WORKERS = 128;
constexpr size_t MAX_WAITING_OFFERS = 512;
// Datagrams a client may have waiting behind its own pending offer; more
// are dropped.
constexpr size_t MAX_QUEUED_PER_CLIENT = 8;

// Sends a reply built in `message` as the server loop does; `arrival` is
// what ReceiveOnServerSocket said about the request.
using ReplySender = void (*)(const DhcpMessage& message, const ReplyAction& action, int arrival);

// Called by the server thread before its loop, and after it: the stop
// abandons the probes still out (a worker finishes the one it waits for,
// without a reply), drops what waits and waits for every worker.
void StartOfferWorkers(ReplySender send);
void StopOfferWorkers();

// True when the datagram's client has a pending offer: the datagram has been
// queued behind it (or dropped, past MAX_QUEUED_PER_CLIENT) and the caller
// leaves it. A cheap test while no offer is pending.
bool QueueBehindPendingOffer(const DhcpMessage& message, size_t received, int arrival);

// Hands a pending offer to a worker.
void HandOverPendingOffer(PendingOfferHandle offer, int arrival);
