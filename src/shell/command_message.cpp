#include "command_message.h"

#include <cstring>

#include "base/log.h"

namespace {

std::string UpperAscii(std::string word) {
    for (char& c : word) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return word;
}

bool IsCommandName(const std::string& name) {
    return name == "SHUTDOWN" || name == "OPTIONS" || name == "QUIET" || name == "SHOWICON" || name == "HIDEICON";
}

}  // namespace

int HandleCommandMessage(uint32_t tag, const char* text, std::vector<HostAction>* actions) {
    if (tag != COMMAND_MESSAGE_TAG) return COMMAND_RESULT_NONE;
    if (text == nullptr) text = "";
    WriteLog(2, "Command Line - \"%.100s\"\n", text);
    return ReadCommandWords(text, actions);
}

int ReadCommandWords(const char* text, std::vector<HostAction>* actions) {
    if (text == nullptr) text = "";
    bool sawWord = false;
    bool quiet = false;
    bool shutdown = false;
    const char* cursor = text;
    while (*cursor != '\0') {
        // Only the blank separates words; a tab is part of a word.
        while (*cursor == ' ') ++cursor;
        if (*cursor == '\0') break;
        const char* end = std::strchr(cursor, ' ');
        if (end == nullptr) end = cursor + std::strlen(cursor);
        std::string word(cursor, end);
        cursor = end;
        sawWord = true;

        if (word[0] != '/' && word[0] != '-') return COMMAND_RESULT_ERROR;
        std::string name = UpperAscii(word.substr(1));
        if (name == "SHUTDOWN") {
            shutdown = true;
            if (actions) actions->push_back(HostAction::Shutdown);
        } else if (name == "OPTIONS") {
            if (actions) actions->push_back(HostAction::Options);
        } else if (name == "QUIET") {
            quiet = true;
        } else if (name == "SHOWICON") {
            if (actions) actions->push_back(HostAction::ShowIcon);
        } else if (name == "HIDEICON") {
            if (actions) actions->push_back(HostAction::HideIcon);
        } else {
            return COMMAND_RESULT_ERROR;
        }
    }
    if (!sawWord || quiet) return COMMAND_RESULT_NONE;
    return shutdown ? COMMAND_RESULT_PASSED : COMMAND_RESULT_NONE;
}

std::string CommandAnswerText(int result) {
    if (result == COMMAND_RESULT_PASSED) return "Command Line parameters passed to Nimbo Server";
    if (result == COMMAND_RESULT_ERROR) return "Command Line parameters Error";
    return "";
}

bool HasCommandWord(const std::string& commandLine) {
    size_t start = 0;
    while (start < commandLine.size()) {
        size_t end = commandLine.find(' ', start);
        if (end == std::string::npos) end = commandLine.size();
        const std::string word = commandLine.substr(start, end - start);
        if (word.size() > 1 && (word[0] == '/' || word[0] == '-') && IsCommandName(UpperAscii(word.substr(1))))
            return true;
        start = end + 1;
    }
    return false;
}

bool IsServiceCommandLine(const std::string& commandLine) {
    return UpperAscii(commandLine) == "/SERVICE";
}

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
        if (!text.empty()) text += ' ';
        text += argument;
    }
    return text;
}
