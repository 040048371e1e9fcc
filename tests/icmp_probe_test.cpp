#include "leases/icmp_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "leases/address_allocation.h"
#include "base/log.h"
#include "test_support.h"

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
#include <ipexport.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

EchoResult TwoReplies(uint32_t) { return EchoResult{true, 2, 0}; }
EchoResult TimedOut(uint32_t) { return EchoResult{true, 0, 11010}; }
EchoResult NoMechanism(uint32_t) { return EchoResult{false, 0, 0}; }

class PingTest : public ::testing::Test {
protected:
    void SetUp() override { UseLogDirectory(dir.path()); }
    void TearDown() override {
        SetEchoOverride(nullptr);
        ClearLogPaths();
    }
    std::vector<std::string> MainLog() { return LogTexts(MainLogPath()); }
    ScratchDir dir;
};

TEST_F(PingTest, PingLineShowsTheAddressOctetsReversedWithRepliesAndError) {
    SetEchoOverride(&TwoReplies);
    EXPECT_TRUE(PingAddress(0xC0A8000A));
    SetEchoOverride(&TimedOut);
    EXPECT_FALSE(PingAddress(0xC0A8010A));
    SetEchoOverride(&NoMechanism);
    EXPECT_FALSE(PingAddress(0xC0A8010B));  // no mechanism: free, and no line
    EXPECT_EQ(MainLog(), (std::vector<std::string>{"Ping 0a00a8c0 returned 2 echoes (0)",
                                                   "Ping 0a01a8c0 returned 0 echoes (11010)"}));
}

TEST_F(PingTest, LoopbackAnswersTheRealProbe) {
    EchoResult result = SendEcho(0x7F000001, 100);
    if (!result.available) GTEST_SKIP() << "no ICMP probe mechanism here (error " << result.error << ")";
    EXPECT_EQ(result.replies, 1u) << "error " << result.error;
    EXPECT_TRUE(PingAddress(0x7F000001));
    ASSERT_FALSE(MainLog().empty());
    EXPECT_EQ(MainLog().back(), "Ping 0100007f returned 1 echoes (0)");
}

#ifdef _WIN32
TEST_F(PingTest, IcmpLibraryIsRetriedWhileMissingAndUnusableWithoutItsEntryPoints) {
    SetIcmpLibraryForTests("NIMBO-NO-SUCH-ICMP.DLL", true);
    EXPECT_FALSE(SendEcho(0x7F000001, 100).available);
    EXPECT_FALSE(PingAddress(0x7F000001));  // free, and no Ping line
    EXPECT_TRUE(MainLog().empty());
    // The next probe tries again, and this time the library is there.
    SetIcmpLibraryForTests(nullptr, false);
    EXPECT_TRUE(SendEcho(0x7F000001, 100).available);

    // A library without the three entry points stays unusable, even once the
    // name would lead to the real one.
    SetIcmpLibraryForTests("KERNEL32.DLL", true);
    EXPECT_FALSE(SendEcho(0x7F000001, 100).available);
    SetIcmpLibraryForTests(nullptr, false);
    EXPECT_FALSE(SendEcho(0x7F000001, 100).available);
    SetIcmpLibraryForTests(nullptr, true);
}
#endif

#ifdef _WIN32
// IcmpSendEcho matches identifier and sequence itself; the payload, drawn
// anew for every probe, is checked here, with the sender and the status.
TEST(EchoOfProbe, OnlyTheProbedAddressEchoingThePayloadCounts) {
    const uint8_t payload[PROBE_PAYLOAD_SIZE] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    alignas(8) uint8_t buffer[156] = {};
    auto reply = [&](uint32_t from, ULONG status, const uint8_t* data, USHORT size) {
        ICMP_ECHO_REPLY echo{};
        echo.Address = htonl(from);
        echo.Status = status;
        echo.DataSize = size;
        echo.Data = buffer + sizeof echo;
        std::memcpy(buffer, &echo, sizeof echo);
        std::memcpy(buffer + sizeof echo, data, PROBE_PAYLOAD_SIZE);
        return IsEchoOfProbe(buffer, sizeof buffer, 0xC0A8000A, payload);
    };
    uint8_t other[PROBE_PAYLOAD_SIZE];
    std::memcpy(other, payload, sizeof other);
    other[31] ^= 1;
    EXPECT_TRUE(reply(0xC0A8000A, IP_SUCCESS, payload, PROBE_PAYLOAD_SIZE));
    EXPECT_FALSE(reply(0xC0A8000A, IP_SUCCESS, other, PROBE_PAYLOAD_SIZE));
    EXPECT_FALSE(reply(0xC0A8000B, IP_SUCCESS, payload, PROBE_PAYLOAD_SIZE));
    EXPECT_FALSE(reply(0xC0A8000A, IP_DEST_HOST_UNREACHABLE, payload, PROBE_PAYLOAD_SIZE));
    EXPECT_FALSE(reply(0xC0A8000A, IP_SUCCESS, payload, PROBE_PAYLOAD_SIZE - 1));
}
#endif

#ifndef _WIN32
// A network namespace of the test's own with a veth pair inside it:
// 198.51.100.1 on one end, nothing at 198.51.100.3. The probes run in a
// child process that joins the namespace, so no address or route of the
// host (or of another test's namespace) is touched. Deleting the namespace
// deletes the pair.
class TestNamespace {
public:
    TestNamespace() {
        const std::string id = std::to_string(getpid());
        name_ = "nimbo-t-" + id;
        const std::string in = "ip -n " + name_ + " ";
        ok_ = Run("ip netns add " + name_) && Run(in + "link add nta type veth peer name ntb") &&
              Run(in + "addr add 198.51.100.1/24 dev nta") && Run(in + "link set nta up") &&
              Run(in + "link set ntb up") && Run(in + "link set lo up");
    }
    ~TestNamespace() { Run("ip netns delete " + name_); }
    TestNamespace(const TestNamespace&) = delete;
    TestNamespace& operator=(const TestNamespace&) = delete;
    bool ok() const { return ok_; }

    // Runs `probe` in a child process inside the namespace, with the given
    // ping_group_range, as root or as the unprivileged user nobody (who may
    // not open raw sockets). The child's exit code, or -1.
    int Run(const char* groupRange, bool asNobody, int (*probe)()) const {
        pid_t child = fork();
        if (child < 0) return -1;
        if (child == 0) {
            int fd = open(("/var/run/netns/" + name_).c_str(), O_RDONLY);
            if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) _exit(100);
            int sysctl = open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY);
            if (sysctl < 0 || write(sysctl, groupRange, std::strlen(groupRange)) < 0) _exit(101);
            close(sysctl);
            if (asNobody && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(102);
            _exit(probe());
        }
        int status = 0;
        if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }

private:
    static bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
    std::string name_;
    bool ok_ = false;
};

int ProbeLiveThenSilentAddress() {
    if (SendEcho(0xC6336401, 1000).replies != 1) return 1;  // 198.51.100.1 answers
    const auto start = std::chrono::steady_clock::now();
    EchoResult silent = SendEcho(0xC6336403, 100);  // 198.51.100.3: nobody
    // The probe gives up after its timeout instead of waiting for ARP.
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(1000)) return 2;
    if (!silent.available || silent.replies != 0) return 3;
    return PingAddress(0xC6336403) ? 4 : 0;
}

int ProbeLoopbackTwice() {
    EchoResult first = SendEcho(0x7F000001, 100);
    EchoResult second = SendEcho(0x7F000001, 100);
    if (first.available != second.available) return 3;
    if (!first.available) return 2;
    return first.replies == 1 && second.replies == 1 ? 0 : 1;
}

// A reply must echo the probe's identifier, sequence and payload and come
// from the probed address. A responder in the namespace (the kernel's own
// answers are off) sees each request and forges replies that get one of
// them wrong; only the second request also gets a true echo.
// An echo reply to the request with byte `wrong` changed (-1: none).
void SendReply(int fd, const uint8_t* request, size_t length, int wrong) {
    uint8_t reply[64];
    std::memcpy(reply, request, length);
    reply[0] = 0;  // echo reply
    if (wrong >= 0) reply[wrong] ^= 0x01;
    reply[2] = reply[3] = 0;
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < length; i += 2) sum += static_cast<uint32_t>((reply[i] << 8) | reply[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    reply[2] = static_cast<uint8_t>(~sum >> 8);
    reply[3] = static_cast<uint8_t>(~sum);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(0xC6336401);
    sendto(fd, reply, length, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

int RawSocketFrom(uint32_t address) {
    int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    return fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 ? fd : -1;
}

int ProbeAgainstForgedReplies() {
    int sysctl = open("/proc/sys/net/ipv4/icmp_echo_ignore_all", O_WRONLY);
    if (sysctl < 0 || write(sysctl, "1", 1) != 1 || std::system("ip addr replace 198.51.100.9/24 dev nta") != 0)
        return 20;
    close(sysctl);
    const int watch = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP), target = RawSocketFrom(0xC6336401),
              other = RawSocketFrom(0xC6336409);
    if (watch < 0 || target < 0 || other < 0) return 21;
    std::thread responder([&] {
        for (int round = 0; round < 2;) {
            uint8_t packet[1500];
            ssize_t n = recv(watch, packet, sizeof packet, 0);
            if (n < 28) return;
            const size_t ip = static_cast<size_t>(packet[0] & 0x0F) * 4;
            const uint8_t* request = packet + ip;
            const size_t length = static_cast<size_t>(n) - ip;
            if (request[0] != 8 || length > 64) continue;  // not an echo request
            SendReply(target, request, length, 8);  // payload
            SendReply(target, request, length, 7);  // sequence
            SendReply(target, request, length, 5);  // identifier
            SendReply(other, request, length, -1);  // another address
            if (round++ == 1) SendReply(target, request, length, -1);
        }
    });
    EchoResult forged = SendEcho(0xC6336401, 300);
    EchoResult genuine = SendEcho(0xC6336401, 1000);
    responder.join();
    if (!forged.available || forged.replies != 0) return 22;
    return genuine.replies == 1 ? 0 : 23;
}

TEST_F(PingTest, OnlyTheProbedAddressEchoingTheProbeCounts) {
    if (geteuid() != 0) GTEST_SKIP() << "creating a network namespace needs root";
    TestNamespace space;
    if (!space.ok()) GTEST_SKIP() << "ip netns / veth not permitted here";
    EXPECT_EQ(space.Run("0 2147483647", false, &ProbeAgainstForgedReplies), 0);  // datagram socket
    EXPECT_EQ(space.Run("1 0", false, &ProbeAgainstForgedReplies), 0);           // raw socket
}

TEST_F(PingTest, AddressWithNothingBehindItDoesNotAnswer) {
    if (geteuid() != 0) GTEST_SKIP() << "creating a network namespace needs root";
    TestNamespace space;
    if (!space.ok()) GTEST_SKIP() << "ip netns / veth not permitted here";
    EXPECT_EQ(space.Run("1 0", false, &ProbeLiveThenSilentAddress), 0);  // raw socket
    EXPECT_EQ(space.Run("0 2147483647", false, &ProbeLiveThenSilentAddress), 0);  // datagram socket
}

TEST_F(PingTest, UnprivilegedProbeUsesTheDatagramSocketOrReportsItselfUnavailableOnce) {
    if (geteuid() != 0) GTEST_SKIP() << "creating a network namespace needs root";
    TestNamespace space;
    if (!space.ok()) GTEST_SKIP() << "ip netns / veth not permitted here";
    chmod(dir.path().c_str(), 0777);  // the child writes the log as nobody
    EXPECT_EQ(space.Run("0 2147483647", true, &ProbeLoopbackTwice), 0);
    EXPECT_TRUE(MainLog().empty());
    // Neither socket opens: no probe, and one line says so.
    EXPECT_EQ(space.Run("1 0", true, &ProbeLoopbackTwice), 2);
    EXPECT_EQ(MainLog(), std::vector<std::string>{"ICMP probe unavailable - addresses are offered without a ping"});
}
#endif

}  // namespace
