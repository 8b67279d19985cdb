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

TEST_F(WineSwapFiles, DeleteFolderTakesEverythingReadOnlyIncludedButNoLinkTargets) {
    ASSERT_TRUE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\New", {}));
    ReadOnly("Game/New/Sub/b.txt");
    fs::create_directory_symlink(Host("Mod"), Host("Game/New/LinkToMod"));
    ASSERT_TRUE(files.DeleteFolder("C:\\Game\\New"));
    EXPECT_FALSE(fs::exists(Host("Game/New")));
    EXPECT_EQ(test::ReadBytes(Host("Mod/File.txt")), "mod file") << "a link inside is removed, not followed";
}

TEST_F(WineSwapFiles, HiddenMeansANameBeginningWithADot) {
    EXPECT_FALSE(files.Exists("C:\\Game\\.hidden"));
    EXPECT_EQ(files.KindOf("C:\\Game\\.hidden"), EntryKind::File);
    EXPECT_TRUE(files.Exists("c:\\GAME\\existing.TXT")) << "names are found without regard to case";
}

} // namespace
} // namespace vantrel
