// The command socket of the Linux host: one message in, one answer out,
// bounded reads, and a stale socket file that does not get in the way.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "shell/command_channel.h"
#include "shell/command_message.h"
#include "shell/log.h"
#include "test_support.h"

namespace {

// Serves one connection the way the host's main loop does.
int ServeOne(int listener, uint32_t* tag, std::string* text, int answer) {
    int connection = -1;
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (ReceiveCommand(listener, &connection, tag, text)) {
            AnswerCommand(connection, answer);
            return 1;
        }
        usleep(10000);
    }
    return 0;
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

}  // namespace
