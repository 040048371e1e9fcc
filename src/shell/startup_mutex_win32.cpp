#include "shell/startup_mutex_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "shell/start_decision.h"

namespace {

HANDLE startupMutex = nullptr;

std::string SidText(PSID sid) {
    char* text = nullptr;
    if (!sid || !ConvertSidToStringSidA(sid, &text)) return "";
    std::string result = text;
    LocalFree(text);
    return result;
}

// The process's user and the default owner of what it creates.
std::vector<std::string> OwnSids() {
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

std::string OwnerOf(HANDLE object) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return "";
    }
    std::string text = SidText(owner);
    LocalFree(descriptor);
    return text;
}

}  // namespace

void TakeStartupMutex(const std::string& directory, DWORD waitMs) {
    ReleaseStartupMutex();
    const std::vector<std::string> own = OwnSids();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!own.empty() && ConvertStringSecurityDescriptorToSecurityDescriptorA(
                            StartupMutexAccess(own.front()).c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        attributes.lpSecurityDescriptor = descriptor;
    }
    HANDLE mutex = CreateMutexA(&attributes, FALSE, StartupMutexName(directory).c_str());
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    if (descriptor) LocalFree(descriptor);
    if (!mutex) return;  // another account's, closed to this one
    if (existed && !MayWaitForStartupMutex(OwnerOf(mutex), own)) {
        CloseHandle(mutex);
        return;
    }
    const DWORD wait = WaitForSingleObject(mutex, waitMs);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        startupMutex = mutex;
    } else {
        CloseHandle(mutex);
    }
}

void ReleaseStartupMutex() {
    if (!startupMutex) return;
    ReleaseMutex(startupMutex);
    CloseHandle(startupMutex);
    startupMutex = nullptr;
}
