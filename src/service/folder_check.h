// Whether the service may run the programs of a folder. The service runs
// NIMBO.EXE as LocalSystem, and an administrator runs the programs there
// too, so no account but Administrators, SYSTEM and TrustedInstaller may own,
// write, delete, change the permissions of, or take ownership of, the folder
// or a program or library in it. Decided from the owner and the access
// entries that folder_check_win32.cpp reads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AccessEntry {
    bool allow = true;         // deny entries grant nothing and are passed over
    bool inheritOnly = false;  // applies only to what is made inside
    uint32_t mask = 0;         // rights as the platform numbers them
    std::string sid;
};

struct ObjectAccess {
    std::string path;
    bool folder = false;
    bool readable = true;   // false: its owner and access list could not be read
    std::string ownerSid;
    bool nullDacl = false;  // no access list at all: everyone may do everything
    std::vector<AccessEntry> entries;
};

struct FolderVerdict {
    bool safe = true;
    std::string path;  // the object at fault
    std::string sid;   // the account at fault
    std::string what;  // "owns", "can write", "can delete", ...
};

// The first fault of the objects (the folder first), or safe. alsoTrusted:
// accounts trusted besides the three (under Wine, its one account).
FolderVerdict CheckProgramFolder(const std::vector<ObjectAccess>& objects, const std::vector<std::string>& alsoTrusted);

// The refusal as printed: the fault, why it matters, and the fix.
std::string FolderRefusal(const FolderVerdict& verdict, const std::string& accountName, const std::string& directory);

// The files whose access counts besides the folder's: programs and
// libraries (.exe, .dll), in any letter case.
bool IsProgramFile(const std::string& name);
