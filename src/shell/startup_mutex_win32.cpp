#include "shell/startup_mutex_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "base/account_win32.h"
#include "shell/start_decision.h"

namespace {

HANDLE startupMutex = nullptr;

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
    const std::vector<std::string> own = OwnAccountSids();
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
