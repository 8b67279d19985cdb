#include "mods/definition_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_machine.h"

namespace vantrel {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class ModDefinitionReader : public ::testing::Test {
protected:
    ModDefinitionReader() {
        values.definitionFolder = machine.WindowsPath("Vantrel");
        values.szGeneralsPath = "E:\\Generals\\";
        values.szZeroHourPath = "E:\\ZH\\";
    }

    // Writes the bytes as <definition folder>\<name> and reads them back.
    bool Read(const std::string& bytes, const std::string& name = "Example.vtl") {
        machine.Write("Vantrel/" + name, bytes);
        record = ModRecord{};
        return ReadModDefinition(machine.textFiles(), values, values.definitionFolder + "\\" + name, record);
    }

    Pairs PairsRead() const {
        Pairs pairs;
        for (std::size_t i = 0; i < record.szSrcPaths.size(); ++i) {
            pairs.emplace_back(record.szSrcPaths[i], record.szDstFolders[i]);
        }
        EXPECT_EQ(record.szSrcPaths.size(), record.szDstFolders.size());
        EXPECT_EQ(static_cast<std::size_t>(record.nPairCount), pairs.size());
        return pairs;
    }

    test::TestMachine machine;
    ProgramValues values;
    ModRecord record;
};

TEST_F(ModDefinitionReader, ReadsTheWorkedExample) {
    ASSERT_TRUE(Read("Location=D:\\Mods\\Example\\Example.big\r\n"
                     "[Folder]\r\n"
                     "Source=D:\\Mods\\Example\\Maps\r\n"
                     "Destination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n"
                     "[Folder]\r\n"
                     "Source=D:\\Mods\\Example\\Readme.txt\r\n"
                     "Destination=C:\\Program Files\\EA Games\\Command & Conquer Generals Zero Hour\\Data\\INI\r\n"));
    EXPECT_EQ(record.szName, "Example");
    EXPECT_EQ(record.szModFolder, "D:\\Mods\\Example\\");
    EXPECT_EQ(record.szModFile, "Example.big");
    EXPECT_EQ(PairsRead(), (Pairs{{"D:\\Mods\\Example\\Maps", "E:\\Generals\\Data"},
                                  {"D:\\Mods\\Example\\Readme.txt", "E:\\ZH\\Data\\INI"}}));
}

TEST_F(ModDefinitionReader, SplitsTheLocationIntoFolderAndFile) {
    struct Case {
        std::string line;
        std::string folder;
        std::string file;
    };
    const Case cases[] = {
        {"Location=", "", ""},
        {"Location=X", "X", ""},                    // one character: kept as the folder, no file
        {"Location=XY", "", "XY"},
        {"Location=Example.big", "", "Example.big"},
        {"Location=D:\\Mods\\", "D:\\Mods\\", ""},
        {"Location=a=b.big", "", "b.big"},          // no backslash: the file starts after the last "="
        {"Location= D:\\x.big ", " D:\\", "x.big "}, // nothing is trimmed
        {"Location=\\", "\\", ""},
        {"Location=D:\\M\xE9\\Mod \xE9t\xE9.big", "D:\\M\xC3\xA9\\", "Mod \xC3\xA9t\xC3\xA9.big"},
        {"Location=\xE9", "\xC3\xA9", ""},           // one character, two bytes in UTF-8
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Read(c.line + "\r\n")) << c.line;
        EXPECT_EQ(record.szModFolder, c.folder) << c.line;
        EXPECT_EQ(record.szModFile, c.file) << c.line;
    }
}

TEST_F(ModDefinitionReader, ReplacesDefaultInstallFoldersInDestinationsOnly) {
    const std::string generals = "C:\\Program Files\\EA Games\\Command and Conquer Generals\\";
    const std::string zeroHour = "C:\\Program Files\\EA Games\\Command & Conquer Generals Zero Hour\\";
    struct Case {
        std::string destination;
        std::string expected;
    };
    const Case cases[] = {
        {generals + "Data", "E:\\Generals\\Data"},
        {zeroHour + "Data", "E:\\ZH\\Data"},
        {generals + "A;" + generals + "B", "E:\\Generals\\A;E:\\Generals\\B"},
        {"C:\\Program Files\\EA Games\\Command and Conquer Generals", "C:\\Program Files\\EA Games\\Command and Conquer Generals"},
        {"c:\\program files\\ea games\\command and conquer generals\\Data", "c:\\program files\\ea games\\command and conquer generals\\Data"},
        {"D:\\Games\\Data", "D:\\Games\\Data"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Read("Location=" + generals + "x.big\r\nSource=" + generals + "src\r\nDestination=" + c.destination + "\r\n"));
        EXPECT_EQ(PairsRead(), (Pairs{{generals + "src", c.expected}})) << c.destination;
        EXPECT_EQ(record.szModFolder, generals) << "locations are never substituted";
    }
}

TEST_F(ModDefinitionReader, MissingGameRemovesItsPlaceholder) {
    values.szGeneralsPath.clear();
    ASSERT_TRUE(Read("Location=\r\nSource=D:\\a\r\nDestination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n"));
    EXPECT_EQ(PairsRead(), (Pairs{{"D:\\a", "Data"}}));
}

TEST_F(ModDefinitionReader, PairsEachSourceWithTheNextDestination) {
    struct Case {
        std::string name;
        std::string body;
        bool result;
        Pairs pairs;
        bool ownUserData = false;
    };
    const Case cases[] = {
        {"empty file", "", false, {}},
        {"no location line", "Source=D:\\a\r\nDestination=D:\\b\r\n", false, {}},
        {"destination before source", "Location=D:\\Mods\\x.big\r\nDestination=D:\\Game\r\nSource=D:\\Mods\\a\r\n", true, {}},
        {"two sources, one destination", "Location=\r\nSource=D:\\a\r\nSource=D:\\b\r\nDestination=D:\\g\r\n", true,
         {{"D:\\a", "D:\\g"}}},
        {"LF line ends make one line", "Location=D:\\x.big\nSource=D:\\a\nDestination=D:\\g\n", true, {}},
        {"lower-case keys", "location=D:\\x.big\r\nsource=D:\\a\r\ndestination=D:\\g\r\n", false, {}},
        {"pairs before the location are not seen", "Source=D:\\a\r\nDestination=D:\\g\r\nLocation=D:\\x.big\r\n", true, {}},
        {"keys anywhere in a line", "Location=\r\nxSource=D:\\a\r\n  Destination=D:\\g\r\n", true, {{"D:\\a", "D:\\g"}}},
        {"spaces are kept", "Location=\r\nSource= D:\\a \r\nDestination=D:\\g \r\n", true, {{" D:\\a ", "D:\\g "}}},
        {"value after the first equals sign", "Location=\r\nSource=D:\\a=b\r\nDestination=D:\\g\r\n", true,
         {{"D:\\a=b", "D:\\g"}}},
        {"last line without line end", "Location=\r\nSource=D:\\a\r\nDestination=D:\\g", true, {{"D:\\a", "D:\\g"}}},
        {"source without destination is dropped", "Location=\r\nSource=D:\\a\r\nDestination=D:\\g\r\nSource=D:\\b\r\n",
         true, {{"D:\\a", "D:\\g"}}},
        {"own user data after the last pair", "Location=\r\nSource=D:\\a\r\nDestination=D:\\g\r\nUserData=Own\r\n", true,
         {{"D:\\a", "D:\\g"}}, true},
        {"own user data without pairs or line end", "Location=D:\\x.big\r\nUserData=Own", true, {}, true},
        // Anywhere after the location it counts, as a pair's key does, and hides no pair.
        {"own user data between pairs", "Location=\r\nSource=D:\\a\r\nUserData=Own\r\nDestination=D:\\g\r\n", true,
         {{"D:\\a", "D:\\g"}}, true},
        {"own user data before the location is not seen", "UserData=Own\r\nLocation=\r\n", true, {}, false},
        {"own user data without a location", "UserData=Own\r\n", false, {}, false},
        // Only the exact line: another value, case or spacing is a line a reader passes over.
        {"other user data lines", "Location=\r\nUserData=Shared\r\nuserdata=own\r\n UserData=Own\r\nUserData=Own \r\n",
         true, {}, false},
        {"own user data ended by a LF alone", "Location=\r\nUserData=Own\n", true, {}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Read(c.body), c.result) << c.name;
        EXPECT_EQ(PairsRead(), c.pairs) << c.name;
        EXPECT_EQ(record.ownUserData, c.ownUserData) << c.name;
    }
}

TEST_F(ModDefinitionReader, NamesTheModAfterTheFileUpToItsFirstDot) {
    struct Case {
        std::string file;
        std::string name;
    };
    for (const auto& c : {Case{"Example.vtl", "Example"}, Case{"My.Mod.vtl", "My"}, Case{".vtl", ""},
                          Case{"Mod \xC3\xA9t\xC3\xA9.vtl", "Mod \xC3\xA9t\xC3\xA9"}}) {
        ASSERT_TRUE(Read("Location=\r\n", c.file)) << c.file;
        EXPECT_EQ(record.szName, c.name);
    }
}

TEST_F(ModDefinitionReader, LeavesTheRecordAloneWhenTheFileCannotBeOpened) {
    record.szName = "kept";
    EXPECT_FALSE(ReadModDefinition(machine.textFiles(), values, values.definitionFolder + "\\Missing.vtl", record));
    EXPECT_EQ(record.szName, "kept");
    std::filesystem::create_directories(machine.HostPath("Vantrel/Folder.vtl"));
    EXPECT_FALSE(ReadModDefinition(machine.textFiles(), values, values.definitionFolder + "\\Folder.vtl", record));
    EXPECT_EQ(record.szName, "kept");
}

TEST_F(ModDefinitionReader, StopsAtTheLargestPairCount) {
    std::string body = "Location=\r\n";
    for (int i = 0; i < kMaxEntries + 2; ++i) {
        body += "Source=s" + std::to_string(i) + "\r\nDestination=d\r\n";
    }
    ASSERT_TRUE(Read(body + "UserData=Own\r\n"));
    EXPECT_TRUE(record.ownUserData) << "the line after pairs past the largest count";
    EXPECT_EQ(record.nPairCount, kMaxEntries);
    ASSERT_EQ(record.szSrcPaths.size(), static_cast<std::size_t>(kMaxEntries));
    EXPECT_EQ(record.szSrcPaths.back(), "s" + std::to_string(kMaxEntries - 1));
}

TEST_F(ModDefinitionReader, ReadsOverAnEarlierRecordAsIntoANewOne) {
    const std::string generals = "C:\\Program Files\\EA Games\\Command and Conquer Generals\\";
    std::string many = "Location=D:\\A rather long folder name\\and a long mod file name.big\r\n";
    for (int i = 0; i < 12; ++i) {
        many += "[Folder]\r\nSource=D:\\A rather long folder name\\part " + std::to_string(i) +
                "\r\nDestination=" + generals + "Data\\part " + std::to_string(i) + "\r\n";
    }
    const std::string bodies[] = {
        many,
        "Location=D:\\b.big\r\nSource=D:\\s\r\nDestination=" + generals + "x\r\n",
        "Location=X\r\nSource=D:\\s\r\n",                     // one character: no file; no whole pair
        "Location=b.big\r\nUserData=Own\r\n",                    // no folder
        "Source=D:\\a\r\nDestination=D:\\b\r\nUserData=Own\r\n", // no location: nothing of it read
        "",
        "Location=D:\\l.big\r\nSource=D:\\" + std::string(5000, 's') + "\r\nDestination=D:\\d\r\n", // a long line
        many,
    };
    ModRecord reused;
    for (std::size_t i = 0; i < std::size(bodies); ++i) {
        const std::string name = "Body" + std::to_string(i) + (i % 2 ? ".vtl" : ".a rather long extension.vtl");
        const bool read = Read(bodies[i], name); // into a new record
        const std::string path = values.definitionFolder + "\\" + name;
        const auto file = machine.textFiles().OpenForReading(path);
        ASSERT_TRUE(file);
        EXPECT_EQ(ReadModDefinition(*file, values, path, reused), read) << i;
        EXPECT_EQ(reused, record) << i;
    }
}

} // namespace
} // namespace vantrel
