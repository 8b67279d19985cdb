#include "platform/swap_file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/test_machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// The same behaviour is asked of every implementation: each build runs this against its own.
class SwapFiles : public ::testing::Test {
protected:
    SwapFiles() {
        Write("Mod/File.txt", "mod file");
        Write("Mod/Folder/a.txt", "mod a");
        Write("Mod/Folder/Sub/b.txt", "mod b");
        Write("Game/Existing.txt", "game file");
        Write("Game/ReadOnly.txt", "game read-only");
        ReadOnly("Game/ReadOnly.txt");
        Write("Game/.hidden", "hidden");
        EXPECT_TRUE(machine.Hide("Game/.hidden"));
        Write("Game/Folder/a.txt", "game a");
        Write("Game/Folder/keep.txt", "game keep");
    }

    fs::path Host(const std::string& relative) const { return machine.HostPath(relative); }
    std::string Win(const std::string& relative) const { return machine.WindowsPath(relative); }
    void Write(const std::string& relative, const std::string& text) const { test::WriteBytes(Host(relative), text); }
    void ReadOnly(const std::string& relative) const {
        fs::permissions(Host(relative), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    std::string Tree(const std::string& relative) const { return test::DescribeTree(Host(relative)); }
    bool CopyFile(const std::string& from, const std::string& to) { return files.CopyFile(from, to, events, placed); }
    bool CopyFolder(const std::string& from, const std::string& to) { return files.CopyFolder(from, to, events, placed); }

    test::TestMachine machine;
    SwapFileSystem& files = machine.swapFiles();
    std::vector<EntryIdentity> created;
    CopyEvents events{[this](const EntryIdentity& identity) {
                          created.push_back(identity);
                          return true;
                      },
                      {}};
    TreeSize placed;
};

TEST_F(SwapFiles, ExistenceLeavesHiddenEntriesOut) {
    EXPECT_TRUE(files.Exists(Win("Game\\Existing.txt")));
    EXPECT_TRUE(files.Exists(Win("game\\Folder"))) << "folders above the entry are found in any letter case";
    EXPECT_EQ(files.EntryName(Win("game\\FOLDER")), "Folder");
    EXPECT_EQ(files.EntryName(Win("Game\\Missing")), std::nullopt);
    EXPECT_FALSE(files.Exists(Win("Game\\.hidden")));
    EXPECT_FALSE(files.Exists(Win("Game\\Missing.txt")));
    EXPECT_EQ(files.KindOf(Win("Game\\.hidden")), EntryKind::File);
    EXPECT_EQ(files.KindOf(Win("Game\\Folder")), EntryKind::Folder);
    EXPECT_EQ(files.KindOf(Win("Game\\Missing")), EntryKind::None);
}

TEST_F(SwapFiles, RefusesWhatWindowsRefuses) {
    struct Case {
        std::string name;
        bool result;
    };
    const Case cases[] = {
        {"copy onto an existing file", CopyFile(Win("Mod\\File.txt"), Win("Game\\Existing.txt"))},
        {"copy onto a hidden file", CopyFile(Win("Mod\\File.txt"), Win("Game\\.hidden"))},
        {"copy of a folder as a file", CopyFile(Win("Mod\\Folder"), Win("Game\\New"))},
        {"copy of a missing file", CopyFile(Win("Mod\\Missing.txt"), Win("Game\\New.txt"))},
        {"folder copy of a file", CopyFolder(Win("Mod\\File.txt"), Win("Game\\New"))},
        {"folder copy of a missing folder", CopyFolder(Win("Mod\\Missing"), Win("Game\\New"))},
        {"folder copy onto a file", CopyFolder(Win("Mod\\Folder"), Win("Game\\Existing.txt"))},
        {"folder copy into itself", CopyFolder(Win("Mod\\Folder"), Win("Mod\\Folder\\Sub\\Again"))},
        {"deleting a read-only file", files.DeleteFile(Win("Game\\ReadOnly.txt"), false)},
        {"deleting a missing file", files.DeleteFile(Win("Game\\Missing.txt"), false)},
        {"deleting a folder as a file", files.DeleteFile(Win("Game\\Folder"), true)},
        {"deleting a missing folder", files.DeleteFolder(Win("Game\\Missing"))},
        {"deleting a file as a folder", files.DeleteFolder(Win("Game\\Existing.txt"))},
        {"renaming onto an existing file", files.Rename(Win("Game\\Existing.txt"), Win("Game\\ReadOnly.txt"))},
        {"renaming a missing entry", files.Rename(Win("Game\\Missing.txt"), Win("Game\\New.txt"))},
        {"attributes of a missing entry", files.SetAttributesNormal(Win("Game\\Missing.txt"))},
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

TEST_F(SwapFiles, CopiesFilesWithTheirReadOnlyState) {
    ReadOnly("Mod/File.txt");
    ASSERT_TRUE(CopyFile(Win("Mod\\File.txt"), Win("Game\\Copy.txt")));
    EXPECT_EQ(Tree("Game").find("Copy.txt [ro] mod file\n") != std::string::npos, true) << Tree("Game");
    EXPECT_EQ(created, std::vector<EntryIdentity>{*files.IdentityOf(Win("Game\\Copy.txt"))});
    EXPECT_EQ(placed, files.MeasureTree(Win("Game\\Copy.txt")));
    EXPECT_EQ(fs::last_write_time(Host("Game/Copy.txt")), fs::last_write_time(Host("Mod/File.txt")));
    EXPECT_FALSE(files.DeleteFile(Win("Game\\Copy.txt"), false));
    EXPECT_TRUE(files.DeleteFile(Win("Game\\Copy.txt"), true));
    EXPECT_FALSE(fs::exists(Host("Game/Copy.txt")));
}

TEST_F(SwapFiles, CopyFolderCreatesOrMergesAndOverwrites) {
    ASSERT_TRUE(CopyFolder(Win("Mod\\Folder"), Win("Game\\New")));
    EXPECT_EQ(Tree("Game/New"), "Sub/\nSub/b.txt mod b\na.txt mod a\n");
    EXPECT_EQ(created, std::vector<EntryIdentity>{*files.IdentityOf(Win("Game\\New"))}) << "told once, of the folder";
    EXPECT_EQ(placed, files.MeasureTree(Win("Game\\New")));
    EXPECT_EQ(placed.entries, 4u);
    ASSERT_TRUE(CopyFolder(Win("Mod\\Folder"), Win("Game\\Folder")));
    EXPECT_EQ(created.size(), 1u) << "a merge creates no folder of its own";
    EXPECT_EQ(Tree("Game/Folder"), "Sub/\nSub/b.txt mod b\na.txt mod a\nkeep.txt game keep\n");
    // A read-only file in the way of a merge stops it, as the scripting component does.
    Write("Game/Locked/a.txt", "locked");
    ReadOnly("Game/Locked/a.txt");
    EXPECT_FALSE(CopyFolder(Win("Mod\\Folder"), Win("Game\\Locked")));
    EXPECT_EQ(test::ReadBytes(Host("Game/Locked/a.txt")), "locked");
}

TEST_F(SwapFiles, DeleteFolderTakesEverythingReadOnlyIncluded) {
    ASSERT_TRUE(CopyFolder(Win("Mod\\Folder"), Win("Game\\New")));
    ReadOnly("Game/New/Sub/b.txt");
    ASSERT_TRUE(files.DeleteFolder(Win("Game\\New")));
    EXPECT_FALSE(fs::exists(Host("Game/New")));
}

TEST_F(SwapFiles, RenamesAndClearsAttributes) {
    const auto identity = files.IdentityOf(Win("Game\\Folder"));
    ASSERT_TRUE(identity);
    ASSERT_TRUE(files.Rename(Win("Game\\Folder"), Win("Game\\Folder.original")));
    EXPECT_EQ(files.IdentityOf(Win("Game\\Folder.original")), identity) << "a rename keeps the identity";
    EXPECT_NE(files.IdentityOf(Win("Game\\Existing.txt")), identity);
    ASSERT_TRUE(files.SetAttributesNormal(Win("Game\\ReadOnly.txt")));
    EXPECT_EQ(Tree("Game").find("[ro]"), std::string::npos);
}

} // namespace
} // namespace vantrel
