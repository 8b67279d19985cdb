#include "platform/swap_file_system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// What only the Wine-prefix file layer has: hidden dot-names and host links. The behaviour both
// layers share is tested once, against each, in swap_file_system_test.cpp.
class WineSwapFiles : public ::testing::Test {
protected:
    WineSwapFiles() {
        machine.Write("Mod/File.txt", "mod file");
        machine.Write("Mod/Folder/Sub/b.txt", "mod b");
        machine.Write("Game/Existing.txt", "game file");
        machine.Write("Game/.hidden", "hidden");
    }

    fs::path Host(const std::string& relative) const { return machine.HostPath(relative); }

    test::TestMachine machine;
    SwapFileSystem& files = machine.swapFiles();
};

TEST_F(WineSwapFiles, DeleteFolderTakesEverythingReadOnlyIncludedButNoLinkTargets) {
    ASSERT_TRUE(files.CopyFolder("C:\\Mod\\Folder", "C:\\Game\\New", {}));
    fs::permissions(Host("Game/New/Sub/b.txt"), fs::perms::owner_write, fs::perm_options::remove);
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
