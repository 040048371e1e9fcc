#include "leases/icmp_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "leases/address_allocation.h"
#include "base/log.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const char kPayload[] = "abcdefghijklmnopqrstuvwxyz012345";

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
    EchoResult result = SendEcho(0x7F000001, kPayload, 32, 100);
    if (!result.available) GTEST_SKIP() << "no ICMP probe mechanism here (error " << result.error << ")";
    EXPECT_EQ(result.replies, 1u) << "error " << result.error;
    EXPECT_TRUE(PingAddress(0x7F000001));
    ASSERT_FALSE(MainLog().empty());
    EXPECT_EQ(MainLog().back(), "Ping 0100007f returned 1 echoes (0)");
}

#ifdef _WIN32
TEST_F(PingTest, IcmpLibraryIsRetriedWhileMissingAndUnusableWithoutItsEntryPoints) {
    SetIcmpLibraryForTests("NIMBO-NO-SUCH-ICMP.DLL", true);
    EXPECT_FALSE(SendEcho(0x7F000001, kPayload, 32, 100).available);
    EXPECT_FALSE(PingAddress(0x7F000001));  // free, and no Ping line
    EXPECT_TRUE(MainLog().empty());
    // The next probe tries again, and this time the library is there.
    SetIcmpLibraryForTests(nullptr, false);
    EXPECT_TRUE(SendEcho(0x7F000001, kPayload, 32, 100).available);

    // A library without the three entry points stays unusable, even once the
    // name would lead to the real one.
    SetIcmpLibraryForTests("KERNEL32.DLL", true);
    EXPECT_FALSE(SendEcho(0x7F000001, kPayload, 32, 100).available);
    SetIcmpLibraryForTests(nullptr, false);
    EXPECT_FALSE(SendEcho(0x7F000001, kPayload, 32, 100).available);
    SetIcmpLibraryForTests(nullptr, true);
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
    if (SendEcho(0xC6336401, kPayload, 32, 1000).replies != 1) return 1;  // 198.51.100.1 answers
    const auto start = std::chrono::steady_clock::now();
    EchoResult silent = SendEcho(0xC6336403, kPayload, 32, 100);  // 198.51.100.3: nobody
    // The probe gives up after its timeout instead of waiting for ARP.
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(1000)) return 2;
    if (!silent.available || silent.replies != 0) return 3;
    return PingAddress(0xC6336403) ? 4 : 0;
}

int ProbeLoopbackTwice() {
    EchoResult first = SendEcho(0x7F000001, kPayload, 32, 100);
    EchoResult second = SendEcho(0x7F000001, kPayload, 32, 100);
    if (first.available != second.available) return 3;
    if (!first.available) return 2;
    return first.replies == 1 && second.replies == 1 ? 0 : 1;
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
