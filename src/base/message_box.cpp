#include "base/message_box.h"

#include <atomic>

#include "base/log.h"

namespace {

std::atomic<bool> unattended{false};

// Button sets and answers, numbered as the platform numbers them.
enum : unsigned { OK_ONLY, OK_CANCEL, ABORT_RETRY_IGNORE, YES_NO_CANCEL, YES_NO, RETRY_CANCEL, CANCEL_TRY_CONTINUE };
enum : int { ANSWER_OK = 1, ANSWER_CANCEL = 2, ANSWER_IGNORE = 5, ANSWER_NO = 7 };

}  // namespace

void SetUnattended(bool value) { unattended = value; }

bool Unattended() { return unattended; }

int UnattendedAnswer(unsigned buttons) {
    switch (buttons & 0xF) {
        case OK_CANCEL:
        case YES_NO_CANCEL:
        case RETRY_CANCEL:
        case CANCEL_TRY_CONTINUE: return ANSWER_CANCEL;
        case YES_NO: return ANSWER_NO;
        case ABORT_RETRY_IGNORE: return ANSWER_IGNORE;
        default: return ANSWER_OK;
    }
}

void LogInsteadOfBox(const std::string& caption, const std::string& text) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    WriteLog(0, "Message - %.100s: %.800s\n", caption.c_str(), line.c_str());
}
