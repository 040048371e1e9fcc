#include "ui/show_message_win32.h"

#include <cstdio>
#include <vector>

#include "base/log.h"
#include "base/message_box_win32.h"
#include "ui/ui_resource.h"

namespace {
constexpr size_t CAPTION_LIMIT = 100;
}

std::string LoadResourceString(UINT id, size_t limit) {
    std::vector<char> text(limit, '\0');
    if (LoadStringA(GetModuleHandleA(nullptr), id, text.data(), static_cast<int>(limit)) == 0) {
        WriteLog(-1, "Failed to load string resource %u\n", id);
        return "";
    }
    return text.data();
}

int ShowMessage(HWND owner, UINT textId, UINT captionId, UINT style) {
    std::string text = LoadResourceString(textId, MESSAGE_TEXT_LIMIT);
    std::string caption = LoadResourceString(captionId ? captionId : IDS_ERROR_CAPTION, CAPTION_LIMIT);
    return ShowMessageBox(owner, text, caption, style);
}

int ShowErrorMessage(UINT textId, unsigned long error) {
    std::vector<char> text(MESSAGE_TEXT_LIMIT + 32, '\0');
    std::snprintf(text.data(), text.size(), LoadResourceString(textId, MESSAGE_TEXT_LIMIT).c_str(), error);
    return ShowMessageBox(nullptr, text.data(), LoadResourceString(IDS_ERROR_CAPTION, CAPTION_LIMIT), MB_ICONWARNING);
}
