// The command socket of the Linux host: one message in, one answer out,
// bounded reads, and a stale socket file that does not get in the way.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "host/command_channel.h"
#include "shell/command_message.h"
#include "base/log.h"
#include "test_support.h"
#include "wait_until.h"

namespace {

// Serves one connection the way the host's main loop does.
int ServeOne(int listener, uint32_t* tag, std::string* text, int answer) {
    int connection = -1;
    if (!WaitUntil("a command", [&] { return ReceiveCommand(listener, &connection, tag, text); })) return 0;
    AnswerCommand(connection, answer);
    return 1;
}

TEST(CommandChannel, CarriesTheTagAndTextAndBringsTheAnswerBack) {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    int listener = OpenCommandListener(dir.path());
    ASSERT_GE(listener, 0);
    uint32_t tag = 0;
    std::string text;
    auto server = std::async(std::launch::async, [&] { return ServeOne(listener, &tag, &text, 2); });
    EXPECT_EQ(SendCommandToServer(dir.path(), COMMAND_MESSAGE_TAG, "/SHOWICON /BOGUS"), 2);
    EXPECT_EQ(server.get(), 1);
    EXPECT_EQ(tag, COMMAND_MESSAGE_TAG);
    EXPECT_EQ(text, "/SHOWICON /BOGUS");
    CloseCommandListener(listener, dir.path());
    EXPECT_FALSE(FileExists(dir.file("nimbo.ctl")));
    // Nobody listens any more: the sender learns it instead of waiting.
    EXPECT_EQ(SendCommandToServer(dir.path(), COMMAND_MESSAGE_TAG, "/SHUTDOWN"), -1);
    ClearLogPaths();
}

TEST(CommandChannel, StaleSocketFileIsReplacedAndLongDirectoriesWork) {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    // A socket file whose server is gone, as a killed server leaves it.
    int stale = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = dir.file("nimbo.ctl");
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(stale);
    EXPECT_EQ(SendCommandToServer(dir.path(), COMMAND_MESSAGE_TAG, "/SHUTDOWN"), -1);

    int listener = OpenCommandListener(dir.path());
    ASSERT_GE(listener, 0);
    uint32_t tag = 0;
    std::string text;
    auto server = std::async(std::launch::async, [&] { return ServeOne(listener, &tag, &text, 1); });
    EXPECT_EQ(SendCommandToServer(dir.path(), COMMAND_MESSAGE_TAG, "/SHUTDOWN"), 1);
    server.get();
    CloseCommandListener(listener, dir.path());

    // A directory whose socket path would not fit in sun_path.
    std::string deep = dir.path();
    while (deep.size() < 150) {
        deep += "/a-rather-long-directory-name";
        ASSERT_EQ(mkdir(deep.c_str(), 0700), 0);
    }
    listener = OpenCommandListener(deep);
    ASSERT_GE(listener, 0);
    auto deepServer = std::async(std::launch::async, [&] { return ServeOne(listener, &tag, &text, 0); });
    EXPECT_EQ(SendCommandToServer(deep, COMMAND_MESSAGE_TAG, ""), 0);
    deepServer.get();
    EXPECT_EQ(text, "");
    CloseCommandListener(listener, deep);
    ClearLogPaths();
}

TEST(CommandChannel, OversizedOrShortMessagesAreDroppedWithoutAnAnswer) {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    int listener = OpenCommandListener(dir.path());
    ASSERT_GE(listener, 0);
    auto sendRaw = [&](const void* bytes, size_t length) {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, dir.file("nimbo.ctl").c_str());
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(write(fd, bytes, length), static_cast<ssize_t>(length));
        shutdown(fd, SHUT_WR);  // the rest never comes
        return fd;
    };
    uint32_t huge[2] = {COMMAND_MESSAGE_TAG, COMMAND_TEXT_LIMIT + 1};
    int first = sendRaw(huge, sizeof huge);
    uint32_t shortText[3] = {COMMAND_MESSAGE_TAG, 100, 0x4853452f};  // 100 bytes promised, 4 sent
    int second = sendRaw(shortText, sizeof shortText);

    int connection = -1;
    uint32_t tag = 0;
    std::string text;
    EXPECT_FALSE(ReceiveCommand(listener, &connection, &tag, &text));
    EXPECT_FALSE(ReceiveCommand(listener, &connection, &tag, &text));
    char answer;
    EXPECT_EQ(read(first, &answer, 1), 0);  // closed without an answer
    EXPECT_EQ(read(second, &answer, 1), 0);
    close(first);
    close(second);
    std::vector<std::string> lines = LogTexts(MainLogPath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Command message dropped - bad header");
    EXPECT_EQ(lines[1], "Command message dropped - short text");
    CloseCommandListener(listener, dir.path());
    ClearLogPaths();
}

// A client that connects and then sends its message slowly, or never: the
// main loop's reads return at once (the housekeeping timer never waits for
// a command client), other clients are served meanwhile, the slow message
// is taken when it is whole, and a client that stays silent past the read
// limit is dropped.
TEST(CommandChannel, SlowClientsNeverHoldTheMainLoop) {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    int listener = OpenCommandListener(dir.path());
    ASSERT_GE(listener, 0);
    auto connectRaw = [&] {
        int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, dir.file("nimbo.ctl").c_str());
        EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    const std::string body = "/SHOWICON";
    uint32_t header[2] = {COMMAND_MESSAGE_TAG, static_cast<uint32_t>(body.size() + 1)};
    int slow = connectRaw();
    ASSERT_EQ(write(slow, header, 4), 4);  // half a header, then nothing for now
    int silent = connectRaw();

    int connection = -1;
    uint32_t tag = 0;
    std::string text;
    auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(ReceiveCommand(listener, &connection, &tag, &text));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    EXPECT_EQ(PendingCommandConnections().size(), 2u);

    // Another client is served while the slow ones wait.
    auto server = std::async(std::launch::async, [&] { return ServeOne(listener, &tag, &text, 1); });
    EXPECT_EQ(SendCommandToServer(dir.path(), COMMAND_MESSAGE_TAG, "/QUIET"), 1);
    EXPECT_EQ(server.get(), 1);
    EXPECT_EQ(text, "/QUIET");

    // The rest of the slow message arrives: it is taken and answered.
    ASSERT_EQ(write(slow, reinterpret_cast<char*>(header) + 4, 4), 4);
    ASSERT_EQ(write(slow, body.c_str(), body.size() + 1), static_cast<ssize_t>(body.size() + 1));
    EXPECT_EQ(ServeOne(listener, &tag, &text, 0), 1);
    EXPECT_EQ(text, "/SHOWICON");
    int32_t answer = -1;
    EXPECT_EQ(read(slow, &answer, sizeof answer), static_cast<ssize_t>(sizeof answer));
    EXPECT_EQ(answer, 0);

    // The silent one is dropped once the read limit has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(COMMAND_READ_LIMIT_MS + 100));
    EXPECT_FALSE(ReceiveCommand(listener, &connection, &tag, &text));
    EXPECT_TRUE(PendingCommandConnections().empty());
    char byte;
    EXPECT_EQ(read(silent, &byte, 1), 0);
    EXPECT_EQ(LogTexts(MainLogPath()).back(), "Command message dropped - too slow");
    close(slow);
    close(silent);
    CloseCommandListener(listener, dir.path());
    ClearLogPaths();
}

// The socket is the server's user's alone, whatever umask the server was
// started with: another user (nobody) in a directory open to all cannot
// connect. Needs root for the second user.
TEST(CommandChannel, AnotherUserCannotConnect) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    ScratchDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    const mode_t previous = umask(0);
    int listener = OpenCommandListener(dir.path());
    umask(previous);
    ASSERT_GE(listener, 0);
    pid_t child = fork();
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        _exit(SendCommandToServer(dir.path(), COMMAND_MESSAGE_TAG, "/SHUTDOWN") == -1 ? 0 : 1);
    }
    int connection = -1;
    uint32_t tag = 0;
    std::string text;
    for (int i = 0; i < 50 && !ReceiveCommand(listener, &connection, &tag, &text); ++i) usleep(10000);
    if (connection >= 0) AnswerCommand(connection, 1);  // lets a child that got in finish
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "nobody connected";
    EXPECT_EQ(connection, -1);
    CloseCommandListener(listener, dir.path());
}

}  // namespace
