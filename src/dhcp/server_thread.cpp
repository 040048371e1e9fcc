#include "dhcp/server_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "config/server_settings.h"
#include "dhcp/dhcp_message.h"
#include "dhcp/message_handler.h"
#include "dhcp/offer_workers.h"
#include "dhcp/udp_socket.h"
#include "base/clock.h"
#include "base/log.h"

namespace {

std::atomic<uint16_t> ServerPort{DHCP_SERVER_PORT};
std::atomic<uint16_t> ClientPort{DHCP_CLIENT_PORT};
std::atomic<uint16_t> RelayPort{DHCP_SERVER_PORT};

// Told by a started thread when its body has returned. Each start gets its
// own record, so a thread left behind by a failed stop cannot signal a later one.
struct ThreadEnd {
    std::mutex mutex;
    std::condition_variable signal;
    bool ended = false;
};

std::mutex ControlMutex;  // serialises StartServerThread and StopServerThread
std::thread Worker;
std::shared_ptr<ThreadEnd> WorkerEnd;

// Receive errors that concern one datagram only; the next receive is not
// affected, so the loop goes straight on. (Winsock reports a datagram larger
// than the buffer, and on a UDP socket an ICMP port unreachable or an
// expired time to live that followed an earlier send.)
constexpr long SOCKET_MESSAGE_TOO_LONG = 10040;  // WSAEMSGSIZE
constexpr long SOCKET_NETWORK_RESET = 10052;     // WSAENETRESET
constexpr long SOCKET_CONNECTION_RESET = 10054;  // WSAECONNRESET

bool IsPerDatagramError(long code) {
    return code == SOCKET_MESSAGE_TOO_LONG || code == SOCKET_NETWORK_RESET || code == SOCKET_CONNECTION_RESET;
}

// At most one "UDP Server Receive error" line per second, so that a flood of
// bad datagrams cannot fill the log and rotate it away. The errors left out
// are counted in a line of their own, written before the next error line or
// when a datagram arrives after the second has passed.
constexpr uint32_t RECEIVE_ERROR_LINE_INTERVAL_MS = 1000;

struct ReceiveErrorLines {
    bool recent = false;  // a line was written at writtenAt
    uint32_t writtenAt = 0;
    unsigned long leftOut = 0;
};

void WriteLeftOutErrors(ReceiveErrorLines& lines) {
    if (lines.leftOut != 0) WriteLog(0, "UDP Server Receive errors not logged - %lu\n", lines.leftOut);
    lines.leftOut = 0;
}

bool WithinInterval(const ReceiveErrorLines& lines, uint32_t now) {
    return lines.recent && now - lines.writtenAt < RECEIVE_ERROR_LINE_INTERVAL_MS;
}

void LogReceiveError(ReceiveErrorLines& lines, long code) {
    const uint32_t now = TickCountMs();
    if (WithinInterval(lines, now) && code != SOCKET_CLOSED_ERROR) {
        ++lines.leftOut;
        return;
    }
    WriteLeftOutErrors(lines);
    WriteLog(0, "UDP Server Receive error - %ld\n", code);
    lines.recent = true;
    lines.writtenAt = now;
}

// A datagram arrived: the count of a quiet flood is written once its second is over.
void NoteDatagram(ReceiveErrorLines& lines) {
    if (lines.leftOut != 0 && !WithinInterval(lines, TickCountMs())) WriteLeftOutErrors(lines);
}

// The ports of the running thread, for the offer workers' replies too.
std::atomic<uint16_t> ReplyClientPort{DHCP_CLIENT_PORT};
std::atomic<uint16_t> ReplyRelayPort{DHCP_SERVER_PORT};

// Sends the reply that the handler left in the buffer; `arrival` is that of
// the request. A send that the closing socket refuses is not logged: the
// server is stopping.
void SendReply(const DhcpMessage& message, const ReplyAction& action, int arrival) {
    long error = 0;
    uint16_t port = action.toRelayAgent ? ReplyRelayPort.load() : ReplyClientPort.load();
    if (!SendFromServerSocket(message.bytes, action.length, action.destination, port, error, arrival) &&
        error != SOCKET_INTERRUPTED_ERROR) {
        WriteLog(1, "SendTo Error = %d\n", static_cast<int>(error));
    }
}

// One received datagram: queued behind its client's pending offer, handed
// to an offer worker when its address must first be probed, or answered
// here.
void ServeDatagram(DhcpMessage& message, size_t received, int arrival) {
    if (QueueBehindPendingOffer(message, received, arrival)) return;
    // One consistent configuration for the whole message.
    std::shared_ptr<const ServerSettings> settings = CurrentSettings();
    PendingOfferHandle pending;
    ReplyAction action = HandleDatagram(message, received, settings, pending);
    if (pending) {
        HandOverPendingOffer(std::move(pending), arrival);
    } else if (action.length != 0) {
        SendReply(message, action, arrival);
    }
}

}  // namespace

void SetServerPorts(uint16_t serverPort, uint16_t clientPort, uint16_t relayPort) {
    ServerPort = serverPort;
    ClientPort = clientPort;
    RelayPort = relayPort != 0 ? relayPort : serverPort;
}

void ServerThread() {
    const uint16_t serverPort = ServerPort.load();
    ReplyClientPort = ClientPort.load();
    ReplyRelayPort = RelayPort.load();
    long error = 0;
    {
        std::shared_ptr<const ServerSettings> settings = CurrentSettings();
        if (!OpenServerSocket(settings->serverAddress, settings->BindToAll, serverPort, error)) {
            WriteLog(0, "Failed to create DHCP Server Port(%ld) - Code = %ld\n", static_cast<long>(serverPort), error);
            ReleaseServerSocket();
            return;
        }
    }
    std::unique_ptr<DhcpMessage> message(new DhcpMessage());
    ReceiveErrorLines errorLines;
    StartOfferWorkers(SendReply);
    for (;;) {
        int arrival = 0;
        size_t received = ReceiveOnServerSocket(message->bytes, DHCP_BUFFER_SIZE, error, &arrival);
        if (received == 0) {
            if (error == SOCKET_INTERRUPTED_ERROR) {
                WriteLeftOutErrors(errorLines);
                WriteLog(1, "UDP Server received termination request\n");
                break;
            }
            LogReceiveError(errorLines, error);
            if (error == SOCKET_CLOSED_ERROR) break;
            // An error of the socket itself (not of one datagram) must not
            // spin the thread.
            if (!IsPerDatagramError(error)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        NoteDatagram(errorLines);
        try {
            ServeDatagram(*message, received, arrival);
        } catch (const std::exception& failure) {
            // Only exhausted memory or a container limit gets here; losing one
            // datagram is better than losing the server.
            WriteLog(-1, "DHCP message dropped: %.100s\n", failure.what());
        }
    }
    StopOfferWorkers();
    ReleaseServerSocket();
    WriteLog(1, "UDP Server closing\n");
}

bool StartServerThread() {
    std::lock_guard<std::mutex> hold(ControlMutex);
    if (Worker.joinable()) return false;  // one server thread at a time
    ReleaseServerSocket();  // forget a close aimed at an earlier thread
    auto end = std::make_shared<ThreadEnd>();
    try {
        Worker = std::thread([end] {
            ServerThread();
            std::lock_guard<std::mutex> done(end->mutex);
            end->ended = true;
            end->signal.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    WorkerEnd = end;
    return true;
}

bool StopServerThread(uint32_t timeoutMs) {
    std::lock_guard<std::mutex> hold(ControlMutex);
    if (!Worker.joinable()) return true;
    CloseServerSocket();
    bool ended;
    {
        std::unique_lock<std::mutex> wait(WorkerEnd->mutex);
        ended = WorkerEnd->signal.wait_for(wait, std::chrono::milliseconds(timeoutMs),
                                           [] { return WorkerEnd->ended; });
    }
    if (!ended) {
        // A thread cannot be ended by force portably; it is left to finish on
        // its own and the process goes on shutting down without it.
        WriteLog(-1, "DHCP Server Not Terminated Properly\n");
        Worker.detach();
        WorkerEnd.reset();
        return false;
    }
    Worker.join();
    WorkerEnd.reset();
    WriteLog(3, "DHCP Server Terminated Successfully\n");
    return true;
}
