#include "service/folder_check_win32.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <sstream>

#include "base/account_win32.h"
#include "service/console_io.h"

namespace {

ObjectAccess ReadAccess(const std::string& path, bool folder) {
    ObjectAccess object;
    object.path = path;
    object.folder = folder;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        object.readable = false;
        return object;
    }
    object.ownerSid = SidText(owner);
    object.nullDacl = dacl == nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header))) continue;
        // Allowed, denied and their conditional forms share one layout.
        const BYTE type = header->AceType;
        if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_DENIED_ACE_TYPE &&
            type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE && type != ACCESS_DENIED_CALLBACK_ACE_TYPE) {
            continue;
        }
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        AccessEntry entry;
        entry.allow = type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_ALLOWED_CALLBACK_ACE_TYPE;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        entry.mask = ace->Mask;
        entry.sid = SidText(&ace->SidStart);
        object.entries.push_back(entry);
    }
    LocalFree(descriptor);
    return object;
}

}  // namespace

std::vector<ObjectAccess> ReadProgramFolder(const std::string& directory) {
    std::vector<ObjectAccess> objects{ReadAccess(directory, true)};
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return objects;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && IsProgramFile(found.cFileName)) {
            objects.push_back(ReadAccess(directory + "\\" + found.cFileName, false));
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return objects;
}

std::vector<std::string> AccountsTrustedHere() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return {};
    // Under Wine, its one account (the user, who owns everything).
    const std::vector<std::string> own = OwnAccountSids();
    if (own.empty()) return {};
    return {own.front()};
}

std::string AccountName(const std::string& sidText) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(sidText.c_str(), &sid)) return "";
    char name[256] = {};
    char domain[256] = {};
    DWORD nameSize = sizeof name;
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    std::string result;
    if (LookupAccountSidA(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        result = domain[0] ? std::string(domain) + "\\" + name : name;
    }
    LocalFree(sid);
    return result;
}

bool ProgramFolderSafe(const std::string& directory) {
    const FolderVerdict verdict = CheckProgramFolder(ReadProgramFolder(directory), AccountsTrustedHere());
    if (verdict.safe) return true;
    std::istringstream lines(FolderRefusal(verdict, AccountName(verdict.sid), directory));
    for (std::string line; std::getline(lines, line);) Say("%s\n", line.c_str());
    return false;
}
