#include "service/folder_check.h"

#include <algorithm>

namespace {

constexpr const char* TRUSTED[] = {
    "S-1-5-18",      // SYSTEM
    "S-1-5-32-544",  // Administrators
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",  // TrustedInstaller
    "S-1-3-0",       // CREATOR OWNER: stands for the creator only in inherited entries
    "S-1-3-4",       // OWNER RIGHTS: the owner, who is checked on his own
};
constexpr const char* EVERYONE = "S-1-1-0";
constexpr const char* USERS = "S-1-5-32-545";

// Rights, as the platform numbers them, and what each lets an account do.
struct Right {
    uint32_t mask;
    const char* what;
};
constexpr Right RIGHTS[] = {
    {0x00000002, "can write"},                       // write data, add a file
    {0x00000004, "can write"},                       // append data, add a folder
    {0x40000000, "can write"},                       // generic write
    {0x10000000, "can write"},                       // generic all
    {0x00010000, "can delete"},                      // delete
    {0x00000040, "can delete files in"},             // delete child (folders)
    {0x00040000, "can change the permissions of"},  // write DAC
    {0x00080000, "can take ownership of"},           // write owner
};

bool Trusted(const std::string& sid, const std::vector<std::string>& alsoTrusted) {
    return std::find(std::begin(TRUSTED), std::end(TRUSTED), sid) != std::end(TRUSTED) ||
           std::find(alsoTrusted.begin(), alsoTrusted.end(), sid) != alsoTrusted.end();
}

FolderVerdict Fault(const ObjectAccess& object, const std::string& sid, const std::string& what) {
    return FolderVerdict{false, object.path, sid, what};
}

}  // namespace

FolderVerdict CheckProgramFolder(const std::vector<ObjectAccess>& objects, const std::vector<std::string>& alsoTrusted) {
    for (const ObjectAccess& object : objects) {
        if (!object.readable) return Fault(object, "", "cannot read the owner and access list of");
        if (!Trusted(object.ownerSid, alsoTrusted)) return Fault(object, object.ownerSid, "owns");
        if (object.nullDacl) return Fault(object, EVERYONE, "can write");
        for (const AccessEntry& entry : object.entries) {
            if (!entry.allow || entry.inheritOnly || Trusted(entry.sid, alsoTrusted)) continue;
            for (const Right& right : RIGHTS) {
                if ((entry.mask & right.mask) != 0 && (object.folder || right.mask != 0x40)) {
                    return Fault(object, entry.sid, right.what);
                }
            }
        }
    }
    return FolderVerdict{};
}

std::string FolderRefusal(const FolderVerdict& verdict, const std::string& accountName, const std::string& directory) {
    std::string who = verdict.sid.empty()  ? std::string("This account")
                      : accountName.empty() ? verdict.sid
                                            : accountName + " (" + verdict.sid + ")";
    std::string text = "The service is not installed: " + who + " " + verdict.what + " " + verdict.path + ".\n";
    text += "The service runs the programs of this folder as LocalSystem, so only Administrators,\n"
            "SYSTEM and TrustedInstaller may own or change the folder and the programs in it.\n"
            "To fix it, install Nimbo with its installer (into C:\\Program Files\\Nimbo), or run\n"
            "as an administrator:\n";
    const std::string quoted = "\"" + directory + "\"";
    text += "  icacls " + quoted + " /setowner *S-1-5-32-544 /T /C\n";
    std::string remove;
    if (!verdict.sid.empty() && verdict.what != "owns" && verdict.sid != USERS) remove = " /remove:g *" + verdict.sid;
    text += "  icacls " + quoted + " /inheritance:r" + remove +
            " /grant:r *S-1-5-18:(OI)(CI)F *S-1-5-32-544:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX\n";
    text += "  icacls \"" + directory + "\\*\" /reset /T /C\n";
    text += "and then NimboSVC Config again.\n";
    return text;
}

bool IsProgramFile(const std::string& name) {
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension == ".exe" || extension == ".dll";
}
