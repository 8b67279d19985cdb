#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/wine/wine_directory_listing.h"
#include "platform/wine/wine_instance_guard.h"
#include "platform/wine/wine_single_files.h"
#include "platform/wine/wine_text_files.h"
#include "support/temp_folder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class WineFiles : public ::testing::Test {
protected:
    WineFiles() {
        fs::create_directories(folder.Path() / "prefix/dosdevices");
        fs::create_directories(folder.Path() / "prefix/drive_c/Vantrel");
        fs::create_directory_symlink("../drive_c", folder.Path() / "prefix/dosdevices/c:");
    }
    fs::path Host(const std::string& relative) const { return folder.Path() / "prefix/drive_c" / relative; }

    test::TempFolder folder;
    WinePrefix prefix{(folder.Path() / "prefix").string()};
};

TEST_F(WineFiles, ListingLeavesOutHiddenFilesAndFoldersAndSortsLikeNtfs) {
    for (const char* name : {"b.vtl", "A.vtl", "_c.vtl", "D.VTL", ".hidden.vtl", "e.txt", "f.vtl.tmp"}) {
        test::WriteBytes(Host(std::string("Vantrel/") + name), "x");
    }
    fs::create_directories(Host("Vantrel/folder.vtl"));
    fs::create_symlink(Host("Vantrel/b.vtl"), Host("Vantrel/link.vtl"));
    fs::create_symlink(Host("Vantrel/folder.vtl"), Host("Vantrel/dirlink.vtl"));
    fs::create_symlink(Host("Vantrel/missing"), Host("Vantrel/dangling.vtl"));
    WineDirectoryListing listing(prefix);
    EXPECT_EQ(listing.ListFiles("C:\\Vantrel\\*.vtl"),
              (std::vector<std::string>{"A.vtl", "b.vtl", "D.VTL", "link.vtl", "_c.vtl"}));
    EXPECT_EQ(listing.ListFiles("c:\\VANTREL\\*.VTL").size(), 5u);
    EXPECT_TRUE(listing.ListFiles("C:\\Missing\\*.vtl").empty());
    EXPECT_TRUE(listing.ListFiles("Q:\\*.vtl").empty());
}

TEST_F(WineFiles, ReadsWindows1252Lines) {
    test::WriteBytes(Host("Vantrel/x.vtl"), "Location=D:\\G\xE9n\xE9raux\r\nnext\nsame\r\n");
    WineTextFiles files(prefix);
    const auto reader = files.OpenForReading("C:\\vantrel\\X.VTL");
    ASSERT_TRUE(reader);
    std::string line;
    std::vector<std::string> lines;
    while (reader->ReadLine(line)) {
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"Location=D:\\G\xC3\xA9n\xC3\xA9raux", "next\nsame"}));
    EXPECT_FALSE(files.OpenForReading("C:\\Vantrel\\missing.vtl"));
    EXPECT_FALSE(files.OpenForReading("C:\\Vantrel"));
}

TEST_F(WineFiles, ReplacementShowsOnlyOnCommitAndLeavesNoTemporaryFile) {
    test::WriteBytes(Host("Vantrel/x.vtl"), "old\r\n");
    WineTextFiles files(prefix);
    {
        const auto writer = files.StartReplacing("C:\\Vantrel\\x.vtl");
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->WriteLine("new \xC3\xA9"));
        EXPECT_EQ(test::ReadBytes(Host("Vantrel/x.vtl")), "old\r\n");
        EXPECT_FALSE(writer->WriteLine("\xE4\xB8\xAD")) << "no such character in the code page";
        EXPECT_FALSE(writer->Commit(true));
    }
    EXPECT_EQ(test::DescribeTree(Host("Vantrel")), "x.vtl old\r\n\n");
    {
        const auto writer = files.StartReplacing("C:\\Vantrel\\X.VTL");
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->WriteLine("new \xC3\xA9"));
        ASSERT_TRUE(writer->Commit(true));
    }
    EXPECT_EQ(test::DescribeTree(Host("Vantrel")), "x.vtl new \xE9\r\n\n") << "the existing name is kept";
    EXPECT_FALSE(files.StartReplacing("C:\\Missing\\x.vtl"));
}

TEST_F(WineFiles, DeletesOnlyWritableOrdinaryFiles) {
    test::WriteBytes(Host("Vantrel/a.vtl"), "x");
    test::WriteBytes(Host("Vantrel/ro.vtl"), "x");
    fs::permissions(Host("Vantrel/ro.vtl"), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directories(Host("Vantrel/dir.vtl"));
    WineSingleFiles files(prefix);
    EXPECT_TRUE(files.FileExists("C:\\Vantrel\\A.vtl"));
    EXPECT_FALSE(files.FileExists("C:\\Vantrel\\dir.vtl"));
    EXPECT_TRUE(files.DeleteFile("C:\\Vantrel\\A.VTL"));
    EXPECT_FALSE(fs::exists(Host("Vantrel/a.vtl")));
    EXPECT_FALSE(files.DeleteFile("C:\\Vantrel\\a.vtl")) << "already gone";
    EXPECT_FALSE(files.DeleteFile("C:\\Vantrel\\ro.vtl"));
    EXPECT_TRUE(fs::exists(Host("Vantrel/ro.vtl")));
    EXPECT_FALSE(files.DeleteFile("C:\\Vantrel\\dir.vtl"));
    EXPECT_TRUE(fs::exists(Host("Vantrel/dir.vtl")));
}

TEST_F(WineFiles, InstanceGuardSeesAnOpenWindowAndNotALeftOverLock) {
    const std::string lock = (folder.Path() / "vantrel.lock").string();
    test::WriteBytes(lock, "left by a crashed instance");
    WineInstanceGuard first(lock);
    WineInstanceGuard second(lock);
    EXPECT_FALSE(second.IsAnotherInstanceOpen());
    ASSERT_TRUE(first.Acquire());
    EXPECT_TRUE(second.IsAnotherInstanceOpen());
    EXPECT_FALSE(second.Acquire());
    first.Release();
    EXPECT_FALSE(second.IsAnotherInstanceOpen());
}

} // namespace
} // namespace vantrel
