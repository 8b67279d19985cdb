#include "mods/definition_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mods/definition_reader.h"
#include "support/recording_messages.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

using Strings = std::vector<std::string>;

class ModDefinitionWriter : public ::testing::Test {
protected:
    ModDefinitionWriter() {
        std::filesystem::create_directories(machine.HostPath("Vantrel"));
        folder = machine.WindowsPath("Vantrel");
    }

    bool Write(std::string_view title, std::string_view location, const Strings& sources = {},
               const Strings& destinations = {}, bool ownUserData = false) {
        return WriteModDefinition(machine.textFiles(), messages, folder, title, location, sources, destinations,
                                  ownUserData);
    }

    std::string Folder() const { return test::DescribeTree(machine.HostPath("Vantrel")); }

    test::TestMachine machine;
    test::RecordingMessages messages;
    std::string folder;
};

TEST_F(ModDefinitionWriter, WritesTheWorkedExampleByteForByte) {
    // A mod with its own user data has one line more, after the last pair.
    for (const bool ownUserData : {false, true}) {
        ASSERT_TRUE(Write("Example", "D:\\Mods\\Example\\Example.big",
                          {"D:\\Mods\\Example\\Maps", "D:\\Mods\\Example\\Readme.txt"},
                          {"C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data",
                           "C:\\Program Files\\EA Games\\Command & Conquer Generals Zero Hour\\Data\\INI"},
                          ownUserData));
        EXPECT_EQ(machine.Read("Vantrel/Example.vtl"),
                  std::string("Location=D:\\Mods\\Example\\Example.big\r\n"
                              "[Folder]\r\n"
                              "Source=D:\\Mods\\Example\\Maps\r\n"
                              "Destination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n"
                              "[Folder]\r\n"
                              "Source=D:\\Mods\\Example\\Readme.txt\r\n"
                              "Destination=C:\\Program Files\\EA Games\\Command & Conquer Generals Zero Hour\\Data\\INI\r\n") +
                      (ownUserData ? "UserData=Own\r\n" : ""));
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ModDefinitionWriter, WritesTheLocationLineAloneWithoutPairs) {
    ASSERT_TRUE(Write("Plain", ""));
    EXPECT_EQ(machine.Read("Vantrel/Plain.vtl"), "Location=\r\n");
    ASSERT_TRUE(Write("Spaced", " D:\\x.big "));
    EXPECT_EQ(machine.Read("Vantrel/Spaced.vtl"), "Location= D:\\x.big \r\n");
    ASSERT_TRUE(Write("Own", "", {}, {}, true));
    EXPECT_EQ(machine.Read("Vantrel/Own.vtl"), "Location=\r\nUserData=Own\r\n");
}

TEST_F(ModDefinitionWriter, ReplacesADefinitionOfTheSameTitle) {
    ASSERT_TRUE(Write("Example", "D:\\first.big", {"D:\\a"}, {"D:\\g"}));
    ASSERT_TRUE(Write("Example", "D:\\second.big"));
    EXPECT_EQ(Folder(), "Example.vtl Location=D:\\second.big\r\n\n");
}

TEST_F(ModDefinitionWriter, EmptyTitleShowsTheMessageAndWritesNothing) {
    EXPECT_FALSE(Write("", "D:\\x.big"));
    EXPECT_EQ(messages.shown, (std::vector<test::RecordingMessages::Shown>{{"The name of the mod is missing!", MessageIcon::None}}));
    EXPECT_EQ(Folder(), "");
}

TEST_F(ModDefinitionWriter, RefusesTitlesThatAreNoPlainFileName) {
    ASSERT_TRUE(Write("Other", "D:\\o.big"));
    const std::string before = test::DescribeTree(machine.HostPath(""));
    for (const char* title : {"a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "a:b", "C:x", "a\\b", "a/b", "..\\x", "../x",
                              "tab\there", "CON", "con", "Nul", "aux", "PRN", "COM1", "lpt9", "CON.x", "NUL ",
                              "COM\xC2\xB9"}) {
        EXPECT_FALSE(Write(title, "D:\\x.big")) << title;
        EXPECT_EQ(test::DescribeTree(machine.HostPath("")), before) << title;
    }
    EXPECT_FALSE(Write(std::string(252, 'a'), "D:\\x.big")) << "a name longer than a file system holds";
    EXPECT_EQ(test::DescribeTree(machine.HostPath("")), before);
    EXPECT_TRUE(messages.shown.empty());
    for (const std::string& title : std::initializer_list<std::string>{" ", "COM10", "CONSOLE", "My.Mod", "..", "Mod \xC3\xA9t\xC3\xA9", std::string(251, 'a')}) {
        EXPECT_TRUE(IsValidModTitle(title)) << title;
    }
}

TEST_F(ModDefinitionWriter, FailedWriteKeepsTheEarlierDefinition) {
    ASSERT_TRUE(Write("Example", "D:\\first.big", {"D:\\a"}, {"D:\\g"}));
    const std::string before = Folder();

    // A character the code page cannot hold fails the write part way through.
    EXPECT_FALSE(Write("Example", "D:\\second.big", {"D:\\a", "D:\\\xE4\xB8\xAD"}, {"D:\\g", "D:\\g"}));
    EXPECT_EQ(Folder(), before);

    // A read-only definition is not replaced.
    std::filesystem::permissions(machine.HostPath("Vantrel/Example.vtl"), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_FALSE(Write("Example", "D:\\third.big"));
    EXPECT_EQ(machine.Read("Vantrel/Example.vtl"), "Location=D:\\first.big\r\n[Folder]\r\nSource=D:\\a\r\nDestination=D:\\g\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(machine.HostPath("Vantrel")), {}), 1)
        << "no temporary file is left behind";

    // Fewer destinations than sources cannot form the pairs.
    EXPECT_FALSE(Write("Uneven", "", {"D:\\a", "D:\\b"}, {"D:\\g"}));
    EXPECT_FALSE(std::filesystem::exists(machine.HostPath("Vantrel/Uneven.vtl")));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ModDefinitionWriter, MissingProgramFolderFailsQuietly) {
    folder = machine.WindowsPath("Nowhere");
    EXPECT_FALSE(Write("Example", ""));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ModDefinitionWriter, WrittenDefinitionReadsBackIdentically) {
    const std::string title = "Mod \xC3\xA9t\xC3\xA9 \xE2\x82\xAC";
    const Strings sources = {"D:\\Mods\\\xC3\x9C" "ber\\Maps", "D:\\Mods\\readme"};
    const Strings destinations = {"E:\\Jeux\\G\xC3\xA9n\xC3\xA9raux\\Data", "E:\\ZH"};
    for (const bool ownUserData : {true, false}) {
        ASSERT_TRUE(Write(title, "D:\\Mods\\\xC3\x9C" "ber\\\xC3\x9C" "ber.big", sources, destinations, ownUserData));
        EXPECT_TRUE(machine.Read("Vantrel/" + title + ".vtl").starts_with("Location=D:\\Mods\\\xDC" "ber\\\xDC" "ber.big\r\n"))
            << "stored in Windows-1252";

        ProgramValues values;
        ModRecord record;
        ASSERT_TRUE(ReadModDefinition(machine.textFiles(), values, folder + "\\" + title + ".vtl", record));
        EXPECT_EQ(record.szName, title);
        EXPECT_EQ(record.szModFolder + record.szModFile, "D:\\Mods\\\xC3\x9C" "ber\\\xC3\x9C" "ber.big");
        EXPECT_EQ(record.szSrcPaths, sources);
        EXPECT_EQ(record.szDstFolders, destinations);
        EXPECT_EQ(record.ownUserData, ownUserData);
    }
}

} // namespace
} // namespace vantrel
