#include "platform/wine/wine_swap_file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class WineSwapFiles : public ::testing::Test {
protected:
    WineSwapFiles() {
        fs::create_directories(folder.Path() / "prefix/dosdevices");
        fs::create_directory_symlink("../drive_c", folder.Path() / "prefix/dosdevices/c:");
        Write("Mod/File.txt", "mod file");
        Write("Mod/Folder/a.txt", "mod a");
        Write("Mod/Folder/Sub/b.txt", "mod b");
        Write("Game/Existing.txt", "game file");
        Write("Game/ReadOnly.txt", "game read-only");
        ReadOnly("Game/ReadOnly.txt");
        Write("Game/.hidden", "hidden");
        Write("Game/Folder/a.txt", "game a");
        Write("Game/Folder/keep.txt", "game keep");
    }

    fs::path Host(const std::string& relative) const { return folder.Path() / "prefix/drive_c" / relative; }
    void Write(const std::string& relative, const std::string& text) const { test::WriteBytes(Host(relative), text); }
    void ReadOnly(const std::string& relative) const {
        fs::permissions(Host(relative), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    std::string Tree(const std::string& relative) const { return test::DescribeTree(Host(relative)); }

    test::TempFolder folder;
    WinePrefix prefix{(folder.Path() / "prefix").string()};
    WineSwapFileSystem files{prefix};
};

TEST_F(WineSwapFiles, ExistenceLeavesHiddenEntriesOut) {
    EXPECT_TRUE(files.Exists("C:\\Game\\Existing.txt"));
    EXPECT_TRUE(files.Exists("c:\\game\\folder"));
    EXPECT_FALSE(files.Exists("C:\\Game\\.hidden"));
    EXPECT_FALSE(files.Exists("C:\\Game\\Missing.txt"));
    EXPECT_EQ(files.KindOf("C:\\Game\\.hidden"), EntryKind::File);
    EXPECT_EQ(files.KindOf("C:\\Game\\Folder"), EntryKind::Folder);
    EXPECT_EQ(files.KindOf("C:\\Game\\Missing"), EntryKind::None);
}

TEST_F(WineSwapFiles, RefusesWhatWindowsRefuses) {
    struct Case {
        std::string name;
        bool result;
    };
    const Case cases[] = {
        {"copy onto an existing file", files.CopyFile("C:\\Mod\\File.txt", "C:\\Game\\Existing.txt", {})},
        {"copy onto a hidden file", files.CopyFile("C:\\Mod\\File.txt", "C:\\Game\\.hidden", {})},
        {"copy of a folder as a file", files.CopyFile("C:\\Mod\\Folder", "C:\\Game\\New", {})},
        {"copy of a missing file", files.CopyFile("C:\\Mod\\Missing.txt", "C:\\Game\\New.txt", {})},
        {"folder copy of a file", files.CopyFolder("C:\\Mod\\File.txt", "C:\\Game\\New", {})},
        {"folder copy of a missing folder", files.CopyFolder("C:\\Mod\\Missing", "C:\\Game\\New", {})},
        {"folder copy onto a file", files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\Existing.txt", {})},
        {"folder copy into itself", files.CopyFolder("C:\\Mod\\Folder", "C:\\Mod\\Folder\\Sub\\Again", {})},
        {"deleting a read-only file", files.DeleteFile("C:\\Game\\ReadOnly.txt", false)},
        {"deleting a missing file", files.DeleteFile("C:\\Game\\Missing.txt", false)},
        {"deleting a folder as a file", files.DeleteFile("C:\\Game\\Folder", true)},
        {"deleting a missing folder", files.DeleteFolder("C:\\Game\\Missing")},
        {"deleting a file as a folder", files.DeleteFolder("C:\\Game\\Existing.txt")},
        {"renaming onto an existing file", files.Rename("C:\\Game\\Existing.txt", "C:\\Game\\ReadOnly.txt")},
        {"renaming a missing entry", files.Rename("C:\\Game\\Missing.txt", "C:\\Game\\New.txt")},
        {"attributes of a missing entry", files.SetAttributesNormal("C:\\Game\\Missing.txt")},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.result) << c.name;
    }
    EXPECT_EQ(Tree("Game"), ".hidden hidden\nExisting.txt game file\nFolder/\nFolder/a.txt game a\n"
                            "Folder/keep.txt game keep\nReadOnly.txt [ro] game read-only\n");
    EXPECT_EQ(test::ReadBytes(Host("Game/Existing.txt")), "game file");
    EXPECT_EQ(test::ReadBytes(Host("Game/ReadOnly.txt")), "game read-only");
    EXPECT_FALSE(fs::exists(Host("Game/New"))) << "a refused copy leaves nothing behind";
    EXPECT_FALSE(fs::exists(Host("Mod/Folder/Sub/Again")));
}

TEST_F(WineSwapFiles, CopiesFilesWithTheirReadOnlyState) {
    ReadOnly("Mod/File.txt");
    ASSERT_TRUE(files.CopyFile("C:\\Mod\\File.txt", "C:\\Game\\Copy.txt", {}));
    EXPECT_EQ(Tree("Game").find("Copy.txt [ro] mod file\n") != std::string::npos, true) << Tree("Game");
    EXPECT_EQ(fs::last_write_time(Host("Game/Copy.txt")), fs::last_write_time(Host("Mod/File.txt")));
    EXPECT_FALSE(files.DeleteFile("C:\\Game\\Copy.txt", false));
    EXPECT_TRUE(files.DeleteFile("C:\\Game\\Copy.txt", true));
    EXPECT_FALSE(fs::exists(Host("Game/Copy.txt")));
}

TEST_F(WineSwapFiles, CopyFolderCreatesOrMergesAndOverwrites) {
    ASSERT_TRUE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\New", {}));
    EXPECT_EQ(Tree("Game/New"), "Sub/\nSub/b.txt mod b\na.txt mod a\n");
    ASSERT_TRUE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\Folder", {}));
    EXPECT_EQ(Tree("Game/Folder"), "Sub/\nSub/b.txt mod b\na.txt mod a\nkeep.txt game keep\n");
    // A read-only file in the way of a merge stops it, as the scripting component does.
    Write("Game/Locked/a.txt", "locked");
    ReadOnly("Game/Locked/a.txt");
    EXPECT_FALSE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\Locked", {}));
    EXPECT_EQ(test::ReadBytes(Host("Game/Locked/a.txt")), "locked");
}

TEST_F(WineSwapFiles, DeleteFolderTakesEverythingReadOnlyIncludedButNoLinkTargets) {
    ASSERT_TRUE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\New", {}));
    ReadOnly("Game/New/Sub/b.txt");
    fs::create_directory_symlink(Host("Mod"), Host("Game/New/LinkToMod"));
    ASSERT_TRUE(files.DeleteFolder("C:\\Game\\New"));
    EXPECT_FALSE(fs::exists(Host("Game/New")));
    EXPECT_EQ(test::ReadBytes(Host("Mod/File.txt")), "mod file") << "a link inside is removed, not followed";
}

TEST_F(WineSwapFiles, RenamesAndClearsAttributes) {
    const auto identity = files.IdentityOf("C:\\Game\\Folder");
    ASSERT_TRUE(identity);
    ASSERT_TRUE(files.Rename("C:\\Game\\Folder", "C:\\Game\\Folder.original"));
    EXPECT_EQ(files.IdentityOf("C:\\Game\\Folder.original"), identity) << "a rename keeps the identity";
    EXPECT_NE(files.IdentityOf("C:\\Game\\Existing.txt"), identity);
    ASSERT_TRUE(files.SetAttributesNormal("C:\\Game\\ReadOnly.txt"));
    EXPECT_EQ(Tree("Game").find("[ro]"), std::string::npos);
}

} // namespace
} // namespace vantrel
