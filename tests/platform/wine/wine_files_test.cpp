#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/wine/wine_directory_listing.h"
#include "platform/wine/wine_instance_guard.h"
#include "platform/wine/wine_single_files.h"
#include "platform/wine/wine_text_files.h"
#include "support/temp_folder.h"
#include "without_waiting.h"

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
    ASSERT_EQ(mkfifo(Host("Vantrel/pipe.vtl").c_str(), 0644), 0);
    EXPECT_FALSE(test::WithoutWaitingOn(
        Host("Vantrel/pipe.vtl"), [&] { return files.OpenForReading("C:\\Vantrel\\pipe.vtl") != nullptr; }));
}

TEST_F(WineFiles, ReadsInPiecesUpToTheLongestLine) {
    // Line ends fall on both sides of where a piece of the file ends.
    std::string many = std::string(65535, 'a') + "\r\n" + std::string(65534, 'b') + "\r\n";
    std::vector<std::string> manyLines = {std::string(65535, 'a'), std::string(65534, 'b')};
    for (int i = 0; i < 100000; ++i) {
        many += "line " + std::to_string(i) + (i % 3 ? "\r\n" : "\r");
        manyLines.push_back("line " + std::to_string(i));
    }
    const std::string longest(kMaxLineBytes, 'x');
    struct Case {
        std::string name;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"many lines", many, manyLines},
        {"the longest line", longest + "\r\n\xE9", {longest, "\xC3\xA9"}},
        {"a line too long", "first\r\n" + longest + "y\r\nafter\r\n", {"first"}},
        {"one accent among many letters",
         std::string(45, 'a') + "\xE9" + std::string(45, 'b') + "\r\nnext",
         {std::string(45, 'a') + "\xC3\xA9" + std::string(45, 'b'), "next"}},
        {"too long once converted", "first\r" + std::string(kMaxLineBytes - 1, 'x') + "\xE9", {"first"}},
    };
    WineTextFiles files(prefix);
    for (const auto& c : cases) {
        test::WriteBytes(Host("Vantrel/x.vtl"), c.bytes);
        const auto reader = files.OpenForReading("C:\\Vantrel\\x.vtl");
        ASSERT_TRUE(reader) << c.name;
        std::vector<std::string> lines;
        for (std::string line; reader->ReadLine(line);) {
            lines.push_back(line);
        }
        EXPECT_EQ(lines.size(), c.lines.size()) << c.name;
        EXPECT_TRUE(lines == c.lines) << c.name;
        std::string line;
        EXPECT_FALSE(reader->ReadLine(line)) << c.name << ": the reading stays ended";
    }
}

// Every line of a reader, and whether there was one.
std::optional<std::vector<std::string>> LinesOf(TextFileReader* reader) {
    if (!reader) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    for (std::string line; reader->ReadLine(line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(WineFiles, ReadsTheFilesOfAFolderAsTheirWholePathsWould) {
    std::string big;
    for (int i = 0; i < 20000; ++i) {
        big += "line " + std::to_string(i) + "\r\n";
    }
    test::WriteBytes(Host("Vantrel/Big.vtl"), big);
    test::WriteBytes(Host("Vantrel/a.vtl"), "Location=D:\\a.big\r\nSource=x");
    test::WriteBytes(Host("Vantrel/Accent.vtl"), "Location=D:\\G\xE9n\xE9raux\r\n");
    test::WriteBytes(Host("Vantrel/UPPER.VTL"), "upper\r\n");
    test::WriteBytes(Host("Vantrel/empty.vtl"), "");
    test::WriteBytes(Host("Vantrel/Sub/inner.vtl"), "inner\r\n");
    fs::create_directories(Host("Vantrel/folder.vtl"));
    ASSERT_EQ(mkfifo(Host("Vantrel/pipe.vtl").c_str(), 0644), 0);
    WineTextFiles files(prefix);
    // Names as listed, in another letter case, with folders, missing, not files; the big file first
    // and again later, so that buffers pass from larger files to smaller ones and back.
    const std::vector<std::string> names = {
        "Big.vtl",     "a.vtl",      "Accent.vtl", "upper.vtl", "UPPER.VTL", "empty.vtl",
        "Sub\\inner.vtl", "Sub/inner.vtl", "..\\Vantrel\\a.vtl", "missing.vtl", "folder.vtl", "pipe.vtl",
        "",            ".",          "..",         "Big.vtl",   "a.vtl"};
    for (const std::string folderPath :
         {"C:\\Vantrel", "c:\\VANTREL", "C:\\Vantrel\\", "C:\\Missing", "Q:\\Vantrel"}) {
        const auto definitions = files.OpenFolder(folderPath);
        for (const auto& name : names) {
            const auto expected = LinesOf(files.OpenForReading(folderPath + "\\" + name).get());
            const auto lines = test::WithoutWaitingOn(
                Host("Vantrel/pipe.vtl"), [&] { return LinesOf(definitions->OpenForReading(name)); });
            EXPECT_EQ(lines, expected) << folderPath << " \\ " << name;
        }
    }
    const auto definitions = files.OpenFolder("C:\\Vantrel");
    EXPECT_EQ(LinesOf(definitions->OpenForReading("Accent.vtl")),
              (std::vector<std::string>{"Location=D:\\G\xC3\xA9n\xC3\xA9raux"}));
    EXPECT_EQ(LinesOf(definitions->OpenForReading("upper.vtl")), (std::vector<std::string>{"upper"}));
    EXPECT_EQ(LinesOf(definitions->OpenForReading("Big.vtl"))->size(), 20000u);
    EXPECT_FALSE(definitions->OpenForReading("pipe.vtl"));
    EXPECT_FALSE(files.OpenFolder("C:\\Missing")->OpenForReading("a.vtl"));
}

TEST_F(WineFiles, ReadsAHugeFileInLittleMemory) {
    // 256 MiB without a line end, sparse, so that writing it takes no memory.
    test::WriteBytes(Host("Vantrel/huge.vtl"), "");
    fs::resize_file(Host("Vantrel/huge.vtl"), 256 << 20);
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto reader = WineTextFiles(prefix).OpenForReading("C:\\Vantrel\\huge.vtl");
    ASSERT_TRUE(reader);
    std::string line;
    EXPECT_FALSE(reader->ReadLine(line));
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "KiB more at the peak";
}

TEST_F(WineFiles, AppendsLinesToANewOrAnExistingFile) {
    test::WriteBytes(Host("Vantrel/old.log"), "old\r\n");
    test::WriteBytes(Host("Vantrel/ro.log"), "");
    fs::permissions(Host("Vantrel/ro.log"), fs::perms(0444));
    WineTextFiles files(prefix);
    struct Case {
        std::string path;
        bool create;
        std::string error;
    };
    const Case refusals[] = {
        {"C:\\Vantrel\\OLD.log", true, "an entry of that name exists already"},
        {"C:\\Vantrel\\missing.log", false, "no such file or folder"},
        {"C:\\Vantrel\\ro.log", false, "the file is read-only"},
        {"C:\\Vantrel", false, "not a file"},
    };
    for (const auto& c : refusals) {
        std::string error;
        EXPECT_FALSE(files.StartAppending(c.path, c.create, error)) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
    }
    std::string error;
    const auto created = files.StartAppending("C:\\Vantrel\\new.log", true, error);
    const auto existing = files.StartAppending("C:\\vantrel\\old.log", false, error);
    ASSERT_TRUE(created && existing) << error;
    ASSERT_TRUE(created->Append({"one", "t\xC3\xA9"}));
    ASSERT_TRUE(existing->Append({"more"}));
    EXPECT_EQ(test::ReadBytes(Host("Vantrel/new.log")), "one\r\nt\xE9\r\n") << "handed to the system at once";
    EXPECT_FALSE(created->Append({"two", "\xE4\xB8\xAD"}));
    EXPECT_EQ(created->LastError(), "a character the code page lacks");
    ASSERT_TRUE(created->Append({}));
    ASSERT_TRUE(created->Sync());
    EXPECT_EQ(test::ReadBytes(Host("Vantrel/new.log")), "one\r\nt\xE9\r\n") << "nothing of a refused append";
    EXPECT_EQ(test::ReadBytes(Host("Vantrel/old.log")), "old\r\nmore\r\n");
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
