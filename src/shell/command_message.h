// The command message: the text of switches that a second start of the
// server (or the shutdown tool) hands to the running server, and the answer
// it gets back. Portable: the Windows program carries it in WM_COPYDATA, the
// Linux host over a local socket in the program directory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/resource.h"

// dwData of the command message; any other tag is answered 0 and ignored.
constexpr uint32_t COMMAND_MESSAGE_TAG = 25975;

// Answers of HandleCommandMessage.
constexpr int COMMAND_RESULT_NONE = 0;    // nothing to show (no words, or QUIET)
constexpr int COMMAND_RESULT_PASSED = 1;  // SHUTDOWN without QUIET
constexpr int COMMAND_RESULT_ERROR = 2;   // a word that is not a command

// Menu command ids of the main window.
constexpr int COMMAND_PROPERTIES = IDM_PROPERTIES;
constexpr int COMMAND_SHUTDOWN_SERVER = IDM_SHUTDOWN_SERVER;
constexpr int COMMAND_HELP = IDM_HELP;

// The running server's main window, which receives the command message.
constexpr const char* MAIN_WINDOW_CLASS = "NIMBOClass";
constexpr const char* MAIN_WINDOW_TITLE = "DHCP Server";

// What a command word asks the main window to do, in the order of the words.
// The caller carries the actions out after the answer has gone back.
enum class HostAction {
    Shutdown,  // post the command 40003
    Options,   // post the command 40002
    ShowIcon,  // MSG_SET_TRAY_ICON with 1
    HideIcon,  // MSG_SET_TRAY_ICON with 0
};

// Parses a command text as the main window does: a wrong tag gives 0 and
// nothing else; otherwise logs "Command Line - \"...\"" at level 2, splits at
// blanks and appends the action of each word to `actions` until a word that
// is not "/" or "-" followed by SHUTDOWN, OPTIONS, QUIET, SHOWICON or
// HIDEICON (any case) ends it with 2. Actions of the words before the bad one
// stay in `actions`. `text` may be null (taken as empty).
int HandleCommandMessage(uint32_t tag, const char* text, std::vector<HostAction>* actions);

// The same without the tag and the log line: the answer and the actions of
// a command text.
int ReadCommandWords(const char* text, std::vector<HostAction>* actions);

// The text shown by a second start for an answer: "Command Line parameters
// passed to Nimbo Server" for 1, "Command Line parameters Error" for 2,
// empty for 0 and anything else.
std::string CommandAnswerText(int result);

// True when a word of the command line is a command word: "/" or "-"
// followed by SHUTDOWN, OPTIONS, QUIET, SHOWICON or HIDEICON (any case).
// "/service" is none. Such a line is meant for a running server.
bool HasCommandWord(const std::string& commandLine);

// True when the whole command line is "/service" in any letter case.
bool IsServiceCommandLine(const std::string& commandLine);

// The arguments joined by single blanks, as one command-line text.
std::string JoinCommandLine(const std::vector<std::string>& arguments);
