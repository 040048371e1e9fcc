// The command words a second start or the shutdown tool sends to a running
// server, and the answers they get.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/command_message.h"
#include "base/log.h"
#include "test_support.h"

namespace {

struct Outcome {
    int result;
    std::vector<HostAction> actions;
};

Outcome Send(const char* text, uint32_t tag = COMMAND_MESSAGE_TAG) {
    Outcome outcome;
    outcome.result = HandleCommandMessage(tag, text, &outcome.actions);
    return outcome;
}

using Actions = std::vector<HostAction>;

TEST(CommandMessage, ShutdownAnswersOneInAnyCaseAndWithEitherPrefix) {
    for (const char* text : {"/SHUTDOWN", "-shutdown", "/ShutDown", "-SHUTDOWN"}) {
        Outcome outcome = Send(text);
        EXPECT_EQ(outcome.result, COMMAND_RESULT_PASSED) << text;
        EXPECT_EQ(outcome.actions, Actions{HostAction::Shutdown}) << text;
    }
}

TEST(CommandMessage, QuietSilencesTheAnswerWhereverItStands) {
    EXPECT_EQ(Send("/SHUTDOWN /QUIET").result, COMMAND_RESULT_NONE);
    EXPECT_EQ(Send("/quiet /SHUTDOWN").result, COMMAND_RESULT_NONE);
    EXPECT_EQ(Send("/SHUTDOWN /QUIET").actions, Actions{HostAction::Shutdown});
    EXPECT_EQ(Send("/QUIET").result, COMMAND_RESULT_NONE);
    EXPECT_TRUE(Send("/QUIET").actions.empty());
}

TEST(CommandMessage, OptionsAndIconWordsAnswerZeroAndPostTheirAction) {
    EXPECT_EQ(Send("/OPTIONS").result, COMMAND_RESULT_NONE);
    EXPECT_EQ(Send("/OPTIONS").actions, Actions{HostAction::Options});
    EXPECT_EQ(Send("-showicon /HIDEICON").actions, (Actions{HostAction::ShowIcon, HostAction::HideIcon}));
    EXPECT_EQ(Send("-showicon /HIDEICON").result, COMMAND_RESULT_NONE);
}

TEST(CommandMessage, BadWordAnswersTwoAndKeepsTheActionsBeforeIt) {
    Outcome outcome = Send("/SHOWICON /BOGUS /SHUTDOWN");
    EXPECT_EQ(outcome.result, COMMAND_RESULT_ERROR);
    EXPECT_EQ(outcome.actions, Actions{HostAction::ShowIcon});
    // A word without "/" or "-" does nothing at all.
    outcome = Send("SHUTDOWN");
    EXPECT_EQ(outcome.result, COMMAND_RESULT_ERROR);
    EXPECT_TRUE(outcome.actions.empty());
    // A QUIET before the bad word does not silence the error.
    EXPECT_EQ(Send("/QUIET /NOPE").result, COMMAND_RESULT_ERROR);
}

TEST(CommandMessage, WordsAreWholeAndOnlyBlanksSeparateThem) {
    EXPECT_EQ(Send("/SHUTDOWNX").result, COMMAND_RESULT_ERROR);
    EXPECT_EQ(Send("/SHUT").result, COMMAND_RESULT_ERROR);
    EXPECT_EQ(Send("/").result, COMMAND_RESULT_ERROR);
    EXPECT_EQ(Send("//SHUTDOWN").result, COMMAND_RESULT_ERROR);
    // A tab is part of the word, so this is one unknown word.
    EXPECT_EQ(Send("/SHOWICON\t/QUIET").result, COMMAND_RESULT_ERROR);
    // Runs of blanks, and blanks at both ends, count as one separator.
    Outcome outcome = Send("   /SHUTDOWN     /QUIET  ");
    EXPECT_EQ(outcome.result, COMMAND_RESULT_NONE);
    EXPECT_EQ(outcome.actions, Actions{HostAction::Shutdown});
}

TEST(CommandMessage, EmptyTextsAnswerZeroWithoutActions) {
    for (const char* text : {"", "    "}) {
        Outcome outcome = Send(text);
        EXPECT_EQ(outcome.result, COMMAND_RESULT_NONE);
        EXPECT_TRUE(outcome.actions.empty());
    }
    EXPECT_EQ(HandleCommandMessage(COMMAND_MESSAGE_TAG, nullptr, nullptr), COMMAND_RESULT_NONE);
    // Without an action list the answer is the same.
    EXPECT_EQ(HandleCommandMessage(COMMAND_MESSAGE_TAG, "/SHUTDOWN", nullptr), COMMAND_RESULT_PASSED);
}

TEST(CommandMessage, LogsTheTextAtLevelTwoAndIgnoresAWrongTagSilently) {
    ScratchDir dir;
    UseLogDirectory(dir.path());
    Outcome wrongTag = Send("/SHUTDOWN", 1);
    EXPECT_EQ(wrongTag.result, COMMAND_RESULT_NONE);
    EXPECT_TRUE(wrongTag.actions.empty());
    EXPECT_TRUE(LogTexts(MainLogPath()).empty());

    Send("/SHUTDOWN /QUIET");
    std::string longWord = "/" + std::string(300, 'x');
    Send(longWord.c_str());
    std::vector<std::string> lines = LogTexts(MainLogPath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("Command Line - \"/SHUTDOWN /QUIET\""), std::string::npos) << lines[0];
    // The text is cut at 100 characters in the log line.
    EXPECT_NE(lines[1].find("\"" + longWord.substr(0, 100) + "\""), std::string::npos) << lines[1];
    ClearLogPaths();
}

TEST(CommandMessage, AnswerTextsAndServiceLine) {
    EXPECT_EQ(CommandAnswerText(1), "Command Line parameters passed to Nimbo Server");
    EXPECT_EQ(CommandAnswerText(2), "Command Line parameters Error");
    EXPECT_EQ(CommandAnswerText(0), "");
    EXPECT_TRUE(IsServiceCommandLine("/service"));
    EXPECT_TRUE(IsServiceCommandLine("/SERVICE"));
    EXPECT_TRUE(IsServiceCommandLine("/SeRvIcE"));
    EXPECT_FALSE(IsServiceCommandLine("-service"));
    EXPECT_FALSE(IsServiceCommandLine("/service /QUIET"));
    // Command words are for a running server; "/service", a bad switch or
    // none start one.
    EXPECT_TRUE(HasCommandWord("/shutdown"));
    EXPECT_TRUE(HasCommandWord("/BOGUS  -HideIcon"));
    for (const char* line : {"", "/service", "/NOPE", "SHUTDOWN", "/", "/SHUTDOWNX"}) EXPECT_FALSE(HasCommandWord(line)) << line;
    EXPECT_EQ(JoinCommandLine({"/SHUTDOWN", "/QUIET"}), "/SHUTDOWN /QUIET");
    EXPECT_EQ(JoinCommandLine({}), "");
}

}  // namespace
