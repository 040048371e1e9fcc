#include "dhcp/offer_workers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/clock.h"
#include "base/log.h"
#include "config/server_settings.h"

namespace {

constexpr std::chrono::seconds WORKER_IDLE_END{30};
constexpr uint32_t DROP_LINE_INTERVAL_MS = 1000;

struct QueuedDatagram {
    std::vector<uint8_t> bytes;
    int arrival = 0;
};

struct Job {
    PendingOfferHandle offer;
    int arrival = 0;
    std::string client;
};

// Everything below is guarded by PoolMutex. A client has a lane from the
// hand-over of its pending offer until its worker has handled the last
// datagram queued behind it.
std::mutex PoolMutex;
std::condition_variable PoolSignal;
std::deque<Job> Jobs;
std::unordered_map<std::string, std::deque<QueuedDatagram>> Lanes;
std::vector<std::thread> Workers;
std::vector<std::thread::id> EndedWorkers;  // returned from their loop, to be joined
size_t IdleWorkers = 0;
bool Stopping = false;
ReplySender Send = nullptr;
bool DropLineWritten = false;
uint32_t DropLineAt = 0;

std::atomic<size_t> LaneCount{0};     // Lanes.size(), read without the lock
std::atomic<bool> Abandon{false};     // the server is stopping

void NoteLanes() { LaneCount.store(Lanes.size()); }

// At most one line a second about DHCPDISCOVERs dropped for want of room.
// Caller holds PoolMutex.
bool DropLineDue() {
    const uint32_t now = TickCountMs();
    if (DropLineWritten && now - DropLineAt < DROP_LINE_INTERVAL_MS) return false;
    DropLineWritten = true;
    DropLineAt = now;
    return true;
}

// The threads that ended on their own, joined by whoever takes them here.
std::vector<std::thread> TakeEndedWorkers() {
    std::vector<std::thread> ended;
    for (std::thread::id id : EndedWorkers) {
        auto it = std::find_if(Workers.begin(), Workers.end(), [id](const std::thread& t) { return t.get_id() == id; });
        if (it == Workers.end()) continue;
        ended.push_back(std::move(*it));
        Workers.erase(it);
    }
    EndedWorkers.clear();
    return ended;
}

void JoinAll(std::vector<std::thread>& threads) {
    for (std::thread& thread : threads) thread.join();
}

// Handles one datagram that waited behind its client's offer, as the server
// loop would have.
void HandleQueued(QueuedDatagram& queued, DhcpMessage& message) {
    std::copy(queued.bytes.begin(), queued.bytes.end(), message.bytes);
    std::shared_ptr<const ServerSettings> settings = CurrentSettings();
    ReplyAction action = HandleDatagram(message, queued.bytes.size(), *settings);
    if (action.length != 0) Send(message, action, queued.arrival);
}

// The next datagram of the client's lane; false (and the lane is gone) when
// none is left or the server stops.
bool NextInLane(const std::string& client, QueuedDatagram& next) {
    std::lock_guard<std::mutex> hold(PoolMutex);
    auto lane = Lanes.find(client);
    if (lane == Lanes.end()) return false;
    if (lane->second.empty() || Abandon.load()) {
        Lanes.erase(lane);
        NoteLanes();
        return false;
    }
    next = std::move(lane->second.front());
    lane->second.pop_front();
    return true;
}

void RunJob(Job& job) {
    try {
        ReplyAction action = FinishPendingOffer(*job.offer, Abandon);
        if (action.length != 0) Send(PendingOfferMessage(*job.offer), action, job.arrival);
        job.offer.reset();
        std::unique_ptr<DhcpMessage> message;
        QueuedDatagram next;
        while (NextInLane(job.client, next)) {
            if (!message) message.reset(new DhcpMessage());
            HandleQueued(next, *message);
        }
    } catch (const std::exception& failure) {
        // Only exhausted memory or a container limit gets here.
        WriteLog(-1, "DHCP message dropped: %.100s\n", failure.what());
        job.offer.reset();
        QueuedDatagram rest;
        while (NextInLane(job.client, rest)) {
        }
    }
}

void WorkerLoop() {
    std::unique_lock<std::mutex> lock(PoolMutex);
    for (;;) {
        while (Jobs.empty() && !Stopping) {
            ++IdleWorkers;
            const bool woken = PoolSignal.wait_for(lock, WORKER_IDLE_END, [] { return !Jobs.empty() || Stopping; });
            --IdleWorkers;
            if (!woken) {
                EndedWorkers.push_back(std::this_thread::get_id());
                return;
            }
        }
        if (Stopping) return;
        Job job = std::move(Jobs.front());
        Jobs.pop_front();
        lock.unlock();
        RunJob(job);
        lock.lock();
    }
}

}  // namespace

void StartOfferWorkers(ReplySender send) {
    std::lock_guard<std::mutex> hold(PoolMutex);
    Send = send;
    Stopping = false;
    Abandon = false;
}

void StopOfferWorkers() {
    std::deque<Job> dropped;
    std::vector<std::thread> workers;
    {
        std::lock_guard<std::mutex> hold(PoolMutex);
        Stopping = true;
        Abandon = true;
        dropped.swap(Jobs);
        Lanes.clear();
        NoteLanes();
        workers.swap(Workers);
        EndedWorkers.clear();
        PoolSignal.notify_all();
    }
    dropped.clear();  // outside the lock: each lets its candidate go under LeaseLock
    JoinAll(workers);
}

bool QueueBehindPendingOffer(const DhcpMessage& message, size_t received, int arrival) {
    if (LaneCount.load() == 0) return false;
    uint8_t id[OPTION_VALUE_SIZE];
    const size_t length = PeekClientId(message, received, id);
    const std::string client(reinterpret_cast<const char*>(id), length);
    std::lock_guard<std::mutex> hold(PoolMutex);
    auto lane = Lanes.find(client);
    if (lane == Lanes.end()) return false;
    if (lane->second.size() < MAX_QUEUED_PER_CLIENT)
        lane->second.push_back(QueuedDatagram{std::vector<uint8_t>(message.bytes, message.bytes + received), arrival});
    return true;
}

void HandOverPendingOffer(PendingOfferHandle offer, int arrival) {
    std::vector<std::thread> ended;
    bool dropLine = false;
    bool noWorker = false;
    {
        std::lock_guard<std::mutex> hold(PoolMutex);
        ended = TakeEndedWorkers();
        if (Stopping || Jobs.size() >= MAX_WAITING_OFFERS) {
            dropLine = !Stopping && DropLineDue();
        } else {
            std::string client = PendingOfferClient(*offer);
            Lanes[client];
            NoteLanes();
            Jobs.push_back(Job{std::move(offer), arrival, std::move(client)});
            if (Jobs.size() > IdleWorkers && Workers.size() < MAX_OFFER_WORKERS) {
                try {
                    Workers.emplace_back(WorkerLoop);
                } catch (const std::system_error&) {
                    // No thread now: a busy worker takes the offer when it is
                    // done, or, with none at all, this thread does.
                    noWorker = Workers.empty();
                }
            }
            PoolSignal.notify_one();
        }
    }
    JoinAll(ended);
    if (noWorker) {
        std::unique_lock<std::mutex> lock(PoolMutex);
        while (!Jobs.empty()) {
            Job job = std::move(Jobs.front());
            Jobs.pop_front();
            lock.unlock();
            RunJob(job);
            lock.lock();
        }
    }
    if (dropLine) WriteLog(0, "DHCPDISCOVER dropped - too many clients waiting for the in-use probe\n");
    // A dropped offer lets its candidate go here, outside the lock.
}
