// Fuzz target for the command text a second start or the shutdown tool
// hands to a running server: the word splitting and matching must accept
// any bytes, and the answer must follow from the actions it reports.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "shell/command_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy with its zero, so reading past the text is caught.
    char* text = static_cast<char*>(std::malloc(size + 1));
    if (size) std::memcpy(text, data, size);
    text[size] = '\0';
    std::vector<HostAction> actions;
    int result = HandleCommandMessage(COMMAND_MESSAGE_TAG, text, &actions);
    if (result < 0 || result > 2) std::abort();
    bool shutdown = false;
    for (HostAction action : actions) shutdown = shutdown || action == HostAction::Shutdown;
    // 1 only ever comes with a shutdown among the carried-out words.
    if (result == COMMAND_RESULT_PASSED && !shutdown) std::abort();
    // Without a tag match nothing happens at all.
    std::vector<HostAction> none;
    if (HandleCommandMessage(COMMAND_MESSAGE_TAG + 1, text, &none) != 0 || !none.empty()) std::abort();
    std::free(text);
    return 0;
}
