// NimboSVC's decisions without the system: whether the service may run the
// programs of a folder, from the owners and access entries read there, and
// what the control handler does with each control.
#include <gtest/gtest.h>

#include "service/folder_check.h"
#include "service/wrapper_arguments.h"

namespace {

const std::string SYSTEM = "S-1-5-18", ADMINS = "S-1-5-32-544", USERS = "S-1-5-32-545",
                  AUTHENTICATED = "S-1-5-11", INSTALLER = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                  SOMEONE = "S-1-5-21-1-2-3-1001";
constexpr uint32_t FULL = 0x1F01FF, MODIFY = 0x1301BF, READ_EXECUTE = 0x1200A9;

// C:\Program Files\Nimbo as Windows makes it: TrustedInstaller's, the
// system and administrators in full, users and app packages reading, and
// CREATOR OWNER only for what is made inside.
std::vector<ObjectAccess> ProgramFiles() {
    ObjectAccess folder{"C:\\Program Files\\Nimbo", true, true, INSTALLER, false,
                        {{true, false, FULL, INSTALLER}, {true, false, FULL, SYSTEM}, {true, false, FULL, ADMINS},
                         {true, false, READ_EXECUTE, USERS}, {true, true, 0x10000000, "S-1-3-0"},
                         {true, false, READ_EXECUTE, "S-1-15-2-1"}, {false, false, MODIFY, USERS}}};
    ObjectAccess program{folder.path + "\\NIMBO.EXE", false, true, ADMINS, false, folder.entries};
    program.entries.push_back({true, false, 0x40, USERS});  // "delete child" means nothing on a file
    return {folder, program};
}

FolderVerdict Check(const std::vector<ObjectAccess>& objects) { return CheckProgramFolder(objects, {}); }

TEST(FolderCheck, OnlyAdministratorsSystemAndTrustedInstallerMayChangeTheFolderOrItsPrograms) {
    EXPECT_TRUE(Check(ProgramFiles()).safe);

    // C:\Nimbo inherits Modify for Authenticated Users from C:\.
    auto objects = ProgramFiles();
    objects[0].entries.push_back({true, false, MODIFY, AUTHENTICATED});
    FolderVerdict verdict = Check(objects);
    EXPECT_FALSE(verdict.safe);
    EXPECT_EQ(verdict.path, "C:\\Program Files\\Nimbo");
    EXPECT_EQ(verdict.sid, AUTHENTICATED);
    EXPECT_EQ(verdict.what, "can write");

    // A folder a user made beforehand keeps its owner; a library planted
    // beside the program belongs to its planter.
    objects = ProgramFiles();
    objects[0].ownerSid = SOMEONE;
    EXPECT_EQ(Check(objects).what, "owns");
    objects = ProgramFiles();
    objects.push_back({objects[0].path + "\\version.dll", false, true, SOMEONE, false, {}});
    verdict = Check(objects);
    EXPECT_EQ(verdict.path, objects[0].path + "\\version.dll");
    EXPECT_EQ(verdict.sid, SOMEONE);

    const struct {
        uint32_t mask;
        const char* what;
    } rights[] = {{0x4, "can write"}, {0x40000000, "can write"}, {0x10000, "can delete"},
                  {0x40, "can delete files in"}, {0x40000, "can change the permissions of"},
                  {0x80000, "can take ownership of"}};
    for (const auto& right : rights) {
        objects = ProgramFiles();
        objects[0].entries.push_back({true, false, right.mask, USERS});
        EXPECT_EQ(Check(objects).what, right.what) << right.mask;
    }
    objects = ProgramFiles();
    objects[1].nullDacl = true;
    EXPECT_EQ(Check(objects).sid, "S-1-1-0");
    objects[1].readable = false;
    EXPECT_FALSE(Check(objects).safe);

    // Under Wine every file is its one account's.
    objects = ProgramFiles();
    objects[0].ownerSid = SOMEONE;
    objects[0].entries.push_back({true, false, FULL, SOMEONE});
    EXPECT_TRUE(CheckProgramFolder(objects, {SOMEONE}).safe);
}

TEST(FolderCheck, RefusalNamesTheFaultAndTheFix) {
    const std::string text =
        FolderRefusal({false, "C:\\Nimbo\\NIMBO.EXE", SOMEONE, "can write"}, "PC\\kim", "C:\\Nimbo");
    EXPECT_EQ(text.rfind("The service is not installed: PC\\kim (" + SOMEONE + ") can write C:\\Nimbo\\NIMBO.EXE.\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("icacls \"C:\\Nimbo\" /inheritance:r /remove:g *" + SOMEONE + " /grant:r"), std::string::npos);
    EXPECT_NE(text.find("icacls \"C:\\Nimbo\\*\" /reset /T /C"), std::string::npos);
    EXPECT_TRUE(IsProgramFile("NIMBO.EXE"));
    EXPECT_TRUE(IsProgramFile("planted.Dll"));
    EXPECT_FALSE(IsProgramFile("NIMBO.INI"));
}

TEST(ServiceControls, ShutdownAndPreshutdownStopAndWaitAsAStopDoes) {
    EXPECT_EQ(ActionForControl(1), ControlAction::Stop);
    EXPECT_EQ(ActionForControl(4), ControlAction::Interrogate);
    EXPECT_EQ(ActionForControl(5), ControlAction::StopAndWait);
    EXPECT_EQ(ActionForControl(15), ControlAction::StopAndWait);
    EXPECT_EQ(ActionForControl(200, 200), ControlAction::StopAndWait);
    EXPECT_EQ(ActionForControl(200), ControlAction::Ignore);
    EXPECT_EQ(ActionForControl(2), ControlAction::Ignore);
}

}  // namespace
