// Accounts as the access checks compare them: security identifiers as SID
// strings ("S-1-5-18"). Inline, like dll_search_win32.h, so that the
// service wrapper, which links nothing of the server, uses the same code.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

// The SID as a string; empty for a null SID or when it cannot be converted.
inline std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(sid, &text)) return "";
    std::string result = text;
    LocalFree(text);
    return result;
}

// This process's user and the default owner of what it creates, as SID
// strings (the user first; either left out when it cannot be read).
inline std::vector<std::string> OwnAccountSids() {
    std::vector<std::string> sids;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sids;
    for (TOKEN_INFORMATION_CLASS kind : {TokenUser, TokenOwner}) {
        std::vector<BYTE> buffer(512);
        DWORD size = 0;
        if (!GetTokenInformation(token, kind, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) continue;
        PSID sid = kind == TokenUser ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid
                                     : reinterpret_cast<TOKEN_OWNER*>(buffer.data())->Owner;
        sids.push_back(SidText(sid));
    }
    CloseHandle(token);
    return sids;
}
