#include "platform/swap_file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/test_machine.h"
#include "without_waiting.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// What only the Wine-prefix file layer has: hidden dot-names, host links, pipes and the prefix's
// drive links. The behaviour both layers share is tested once, against each, in
// swap_file_system_test.cpp.
class WineSwapFiles : public ::testing::Test {
protected:
    WineSwapFiles() {
        machine.Write("Mod/File.txt", "mod file");
        machine.Write("Mod/Folder/Sub/b.txt", "mod b");
        machine.Write("Game/Existing.txt", "game file");
        machine.Write("Game/.hidden", "hidden");
    }

    fs::path Host(const std::string& relative) const { return machine.HostPath(relative); }
    std::string Tree(const std::string& relative) const { return test::DescribeTree(Host(relative)); }
    // The Windows path of a host entry outside drive C:, through Z:.
    static std::string OnZ(const fs::path& host) {
        std::string path = "Z:" + host.string();
        std::replace(path.begin(), path.end(), '/', '\\');
        return path;
    }

    test::TestMachine machine;
    SwapFileSystem& files = machine.swapFiles();
    TreeSize placed;
};

TEST_F(WineSwapFiles, DeleteFolderTakesEverythingReadOnlyIncludedButNoLinkTargets) {
    ASSERT_TRUE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\New", {}, placed));
    fs::permissions(Host("Game/New/Sub/b.txt"), fs::perms::owner_write, fs::perm_options::remove);
    fs::create_directory_symlink(Host("Mod"), Host("Game/New/LinkToMod"));
    ASSERT_TRUE(files.DeleteFolder("C:\\Game\\New"));
    EXPECT_FALSE(fs::exists(Host("Game/New")));
    EXPECT_EQ(test::ReadBytes(Host("Mod/File.txt")), "mod file") << "a link inside is removed, not followed";
}

TEST_F(WineSwapFiles, HiddenMeansANameBeginningWithADot) {
    EXPECT_FALSE(files.Exists("C:\\Game\\.hidden"));
    EXPECT_EQ(files.KindOf("C:\\Game\\.hidden"), EntryKind::File);
    EXPECT_TRUE(files.Exists("c:\\GAME\\Existing.txt")) << "folders above are found without regard to case";
}

TEST_F(WineSwapFiles, ActsOnTheLastNameAsSpelled) {
    machine.Write("Game/Data/Maps/m.txt", "Maps");
    const std::string lower = "c:\\game\\DATA\\maps";
    const std::pair<std::string, bool> onlyMaps[] = {
        {"exists", files.Exists(lower)},
        {"kind", files.KindOf(lower) != EntryKind::None},
        {"identity", files.IdentityOf(lower).has_value()},
        {"attributes", files.SetAttributesNormal(lower)},
        {"rename", files.Rename(lower, "C:\\Game\\Data\\Maps.original")},
        {"delete", files.DeleteFolder(lower)},
    };
    for (const auto& [name, result] : onlyMaps) {
        EXPECT_FALSE(result) << name << " must not find Maps as maps";
    }
    EXPECT_EQ(files.EntryName(lower), "Maps") << "only EntryName finds a name in another case";
    ASSERT_TRUE(files.CopyFolder("C:\\Mod\\Folder", lower, {}, placed));
    EXPECT_EQ(Tree("Game/Data"), "Maps/\nMaps/m.txt Maps\nmaps/\nmaps/Sub/\nmaps/Sub/b.txt mod b\n")
        << "a new maps beside Maps, nothing merged into Maps";
    EXPECT_EQ(files.EntryName(lower), "maps");
    EXPECT_EQ(files.EntryName("C:\\Game\\Data\\MAPS"), "Maps") << "of several, the first in order";
    EXPECT_EQ(files.EntryName("C:\\Game\\Data\\Missing"), std::nullopt);
    EXPECT_NE(files.IdentityOf(lower), files.IdentityOf("C:\\Game\\Data\\Maps"));
    ASSERT_TRUE(files.DeleteFolder(lower));
    EXPECT_EQ(Tree("Game/Data"), "Maps/\nMaps/m.txt Maps\n");
}

TEST_F(WineSwapFiles, ActsOnLinksThemselves) {
    const fs::path outside = machine.MachineFolder().parent_path() / "outside";
    test::WriteBytes(outside / "ro.txt", "read-only");
    test::WriteBytes(outside / "dir/x.txt", "x");
    fs::permissions(outside / "ro.txt", fs::perms(0444));
    fs::create_symlink(outside / "ro.txt", Host("Game/FileLink"));
    fs::create_directory_symlink(outside / "dir", Host("Game/FolderLink"));

    ASSERT_TRUE(files.SetAttributesNormal("C:\\Game\\FileLink"));
    EXPECT_EQ(fs::status(outside / "ro.txt").permissions(), fs::perms(0444))
        << "the link's target is untouched";
    EXPECT_EQ(files.KindOf("C:\\Game\\FolderLink"), EntryKind::Folder) << "as Wine shows a link";
    EXPECT_EQ(files.MeasureTree("C:\\Game\\FolderLink").entries, 1u) << "a link is measured, not entered";
    EXPECT_NE(files.MeasureTree("C:\\Game\\FileLink"), files.MeasureTree(OnZ(outside / "ro.txt")));
    EXPECT_NE(files.IdentityOf("C:\\Game\\FolderLink"), files.IdentityOf(OnZ(outside / "dir")));
    EXPECT_FALSE(files.DeleteFolder("C:\\Game\\FileLink")) << "a link to a file is no folder";
    ASSERT_TRUE(files.Rename("C:\\Game\\FolderLink", "C:\\Game\\Renamed"));
    EXPECT_TRUE(fs::is_symlink(Host("Game/Renamed")));
    ASSERT_TRUE(files.DeleteFolder("C:\\Game\\Renamed"));
    ASSERT_TRUE(files.DeleteFile("C:\\Game\\FileLink", false)) << "the read-only state is the target's";
    EXPECT_FALSE(fs::exists(fs::symlink_status(Host("Game/Renamed"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Host("Game/FileLink"))));
    EXPECT_EQ(test::ReadBytes(outside / "dir/x.txt") + test::ReadBytes(outside / "ro.txt"), "xread-only");
}

TEST_F(WineSwapFiles, FailsWithAReason) {
    const fs::path driveLink = machine.MachineFolder() / "dosdevices/c:";
    fs::permissions(Host("Game/Existing.txt"), fs::perms(0444));
    struct Case {
        std::string name;
        std::function<bool()> call;
        std::string reason;
    };
    const std::string drive = "is a drive of the machine";
    const Case cases[] = {
        {"renaming C:", [&] { return files.Rename("C:\\", OnZ(Host("Moved"))); }, drive},
        {"deleting C:", [&] { return files.DeleteFolder("C:\\"); }, drive},
        {"deleting C: through Z:", [&] { return files.DeleteFolder(OnZ(fs::canonical(Host("")))); }, drive},
        {"attributes of C:", [&] { return files.SetAttributesNormal("C:\\"); }, drive},
        {"copying into C:", [&] { return files.CopyFolder("C:\\Mod\\Folder", "C:\\", {}, placed); }, drive},
        {"deleting a drive link", [&] { return files.DeleteFile(OnZ(driveLink), true); }, drive},
        {"deleting a drive link as a folder", [&] { return files.DeleteFolder(OnZ(driveLink)); }, drive},
        {"renaming a drive link", [&] { return files.Rename(OnZ(driveLink), OnZ(driveLink) + "x"); }, drive},
        {"making a drive link", [&] { return files.Rename("C:\\Game", OnZ(driveLink.parent_path() / "d:")); },
         drive},
        {"attributes of Z:", [&] { return files.SetAttributesNormal("Z:\\"); }, drive},
        {"renaming Z:", [&] { return files.Rename("Z:\\", "Z:\\x"); }, drive},
        {"deleting a folder holding drives", [&] { return files.DeleteFolder(OnZ(machine.MachineFolder())); },
         drive},
        {"deleting a read-only file", [&] { return files.DeleteFile("C:\\Game\\Existing.txt", false); },
         "the file is read-only"},
        {"deleting a missing file", [&] { return files.DeleteFile("C:\\Game\\Missing", true); },
         "no such file or folder"},
        {"deleting a folder as a file", [&] { return files.DeleteFile("C:\\Mod\\Folder", true); },
         "not a file"},
        {"deleting a file as a folder", [&] { return files.DeleteFolder("C:\\Mod\\File.txt"); },
         "not a folder"},
        {"copying onto a file",
         [&] { return files.CopyFile("C:\\Mod\\File.txt", "C:\\Game\\.hidden", {}, placed); },
         "an entry of that name exists already"},
        {"copying a folder into itself",
         [&] { return files.CopyFolder("C:\\Mod", "C:\\Mod\\Folder\\Sub\\Mod", {}, placed); },
         "the folder cannot be copied into itself"},
        {"copying a folder onto itself", [&] { return files.CopyFolder("C:\\Mod", "C:\\Mod", {}, placed); },
         "the folder cannot be copied into itself"},
        {"changing a missing folder", [&] { return files.CanChangeFolder("C:\\Missing"); },
         "no such file or folder"},
        {"changing a file as a folder", [&] { return files.CanChangeFolder("C:\\Mod\\File.txt"); },
         "not a folder"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.call()) << c.name;
        EXPECT_EQ(files.LastError(), c.reason) << c.name;
    }
    EXPECT_TRUE(fs::is_symlink(driveLink));
    EXPECT_FALSE(fs::exists(fs::symlink_status(driveLink.parent_path() / "d:")));
    EXPECT_EQ(Tree("Mod"), "File.txt mod file\nFolder/\nFolder/Sub/\nFolder/Sub/b.txt mod b\n");
    EXPECT_TRUE(files.CanChangeFolder("C:\\Game"));
}

TEST_F(WineSwapFiles, NamesTheMachineAndItsRun) {
    EXPECT_EQ(files.MachineName(), fs::canonical(machine.MachineFolder()).string());
    const std::string session = files.SessionName();
    EXPECT_EQ(session, test::ReadBytes("/proc/sys/kernel/random/boot_id").substr(0, 36));
    EXPECT_TRUE(files.IsSameSession(session));
    EXPECT_FALSE(files.IsSameSession(""));
    EXPECT_FALSE(files.IsSameSession(session + "0"));
}

TEST_F(WineSwapFiles, RefusesPipesWithoutWaitingOnThem) {
    machine.Write("Mod/WithPipe/a.txt", "a");
    ASSERT_EQ(mkfifo(Host("Mod/Pipe").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(Host("Mod/WithPipe/Pipe").c_str(), 0644), 0);
    const std::string pipe = "not a file or folder (a pipe or a device)";
    EXPECT_FALSE(test::WithoutWaitingOn(
        Host("Mod/Pipe"), [&] { return files.CopyFile("C:\\Mod\\Pipe", "C:\\Game\\Pipe", {}, placed); }));
    EXPECT_EQ(files.LastError(), pipe);
    EXPECT_FALSE(test::WithoutWaitingOn(Host("Mod/WithPipe/Pipe"), [&] {
        return files.CopyFolder("C:\\Mod\\WithPipe", "C:\\Game\\WithPipe", {}, placed);
    }));
    EXPECT_EQ(files.LastError(), pipe);
    EXPECT_FALSE(fs::exists(Host("Game/Pipe")));
    EXPECT_FALSE(fs::exists(Host("Game/WithPipe/Pipe")));
}

TEST_F(WineSwapFiles, TellsWhatItCreatedAndPlacesWhatMeasuringFinds) {
    for (const bool folder : {false, true}) {
        const std::string from = folder ? "C:\\Mod\\Folder" : "C:\\Mod\\File.txt";
        const std::string to = folder ? "C:\\Game\\Folder" : "C:\\Game\\File.txt";
        std::vector<EntryIdentity> created;
        std::uint64_t written = 0;
        const CopyEvents events{[&](const EntryIdentity& identity) {
                                    created.push_back(identity);
                                    return true;
                                },
                                [&](std::uint64_t) { ++written; }};
        ASSERT_TRUE(folder ? files.CopyFolder(from, to, events, placed)
                           : files.CopyFile(from, to, events, placed));
        EXPECT_EQ(created, std::vector{*files.IdentityOf(to)}) << to;
        EXPECT_EQ(placed, files.MeasureTree(to)) << to;
        EXPECT_EQ(written, placed.entries) << to;
        EXPECT_EQ(placed.entries, folder ? 3u : 1u) << to;
    }
    const CopyEvents stop{[](const EntryIdentity&) { return false; }, {}};
    EXPECT_FALSE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\Stopped", stop, placed));
    EXPECT_FALSE(files.CopyFile("C:\\Mod\\File.txt", "C:\\Game\\Stopped.txt", stop, placed));
    EXPECT_TRUE(fs::is_empty(Host("Game/Stopped"))) << "a stopped copy leaves its empty entry";
    EXPECT_TRUE(fs::is_empty(Host("Game/Stopped.txt")));
    EXPECT_TRUE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\Stopped", stop, placed))
        << "a merge creates nothing";
}

} // namespace
} // namespace vantrel
