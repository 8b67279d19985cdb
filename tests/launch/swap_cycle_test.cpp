#include "launch/swap_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/example_mods.h"
#include "support/faulty_file_system.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::FaultyFileSystem;


void MakeReadOnly(const fs::path& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

// A machine with Generals and Zero Hour under C:\Games and a mod under C:\Mods\Example.
class SwapCycle : public ::testing::Test {
protected:
    SwapCycle() { test::WriteExampleInstallation(machine); }

    // A mod of the given pairs (paths relative to C:\), stored as catalogue element 0.
    void SetMod(const test::RelativePairs& pairs, std::string modFile = "Example.big") {
        test::SetOnlyMod(values, test::ModOfPairs(machine, pairs, std::move(modFile)));
    }

    // Runs a launch; the tree of C:\Games while the game runs is kept in `during`.
    bool Launch(std::int16_t index = 0, std::string command = "C:\\Games\\Generals\\generals.exe -win") {
        runner.whileRunning = [this] { during = Games(); };
        lastCommand = command;
        const bool ok = LaunchWithMod(values, {files(), runner, messages}, lastCommand, index);
        return ok;
    }

    std::string Games() const { return test::DescribeTree(machine.HostPath("Games")); }
    SwapFileSystem& files() { return faulty ? *faulty : machine.swapFiles(); }

    test::TestMachine machine;
    ProgramValues values;
    test::RecordingRunner runner;
    test::RecordingMessages messages;
    std::unique_ptr<FaultyFileSystem> faulty;
    std::string lastCommand;
    std::string during;
};

TEST_F(SwapCycle, PlaysTheWorkedExampleAndRestoresEverything) {
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}});
    const std::string before = Games();
    ASSERT_TRUE(Launch());
    EXPECT_EQ(runner.commands, std::vector<std::string>{"C:\\Games\\Generals\\generals.exe -win -mod Example.big"});
    EXPECT_NE(during.find("Generals/Data/Maps.original/Alpine.map game map\n"), std::string::npos) << during;
    EXPECT_NE(during.find("Generals/Data/Maps/Mod.map mod map\n"), std::string::npos) << during;
    EXPECT_NE(during.find("Generals/Data/Maps/Desert/Desert.map mod desert\n"), std::string::npos) << during;
    EXPECT_EQ(during.find("Generals/Data/Maps/Alpine.map"), std::string::npos) << "the mod folder replaces the game's";
    EXPECT_NE(during.find("ZH/Data/INI/Readme.txt mod readme\n"), std::string::npos) << during;
    EXPECT_EQ(Games(), before);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SwapCycle, ReportsTheCopyProgressUpToTheTotal) {
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}});
    std::vector<CopyProgress> reports;
    std::string command = "C:\\Games\\Generals\\generals.exe";
    ASSERT_TRUE(LaunchWithMod(values, {files(), runner, messages, [&](const CopyProgress& p) { reports.push_back(p); }},
                              command, 0));
    // Maps, Maps\Mod.map, Maps\Desert, Maps\Desert\Desert.map and Readme.txt.
    const std::uint64_t bytes = std::string("mod map").size() + std::string("mod desert").size() +
                                std::string("mod readme").size();
    ASSERT_EQ(reports.size(), 6u) << "once before copying, then once an entry";
    EXPECT_EQ(reports.front().entriesDone, 0u);
    EXPECT_EQ(reports.back().entriesDone, 5u);
    EXPECT_EQ(reports.back().entriesTotal, 5u);
    EXPECT_EQ(reports.back().bytesDone, bytes);
    EXPECT_EQ(reports.back().bytesTotal, bytes);
}

TEST_F(SwapCycle, WithoutAModOnlyRunsTheCommand) {
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}});
    const std::string before = Games();
    EXPECT_TRUE(Launch(-1));
    EXPECT_EQ(runner.commands, std::vector<std::string>{"C:\\Games\\Generals\\generals.exe -win"});
    EXPECT_EQ(during, before);
    EXPECT_EQ(Games(), before);
}

TEST_F(SwapCycle, AddsTheModSwitchWithAPathTheGameFinds) {
    struct Case {
        std::string modFolder;
        std::string modFile;
        std::string command;
    };
    // The player's user data folder of the game is C:\Users\Me\Documents\Generals Data.
    const Case cases[] = {
        {"", "", "generals.exe -nologo "},
        {"", "X", "generals.exe -nologo "},
        {"", "\xC3\xA9", "generals.exe -nologo "},
        {"", "XY", "generals.exe -nologo  -mod XY"},
        {"", "Example.big", "generals.exe -nologo  -mod Example.big"},
        {"", "My Mod.big", "generals.exe -nologo  -mod \"My Mod.big\""},
        {"C:\\Users\\Me\\Documents\\Generals Data\\", "Example.big", "generals.exe -nologo  -mod Example.big"},
        {"c:\\users\\me\\documents\\generals data\\", "Example.big", "generals.exe -nologo  -mod Example.big"},
        {"C:\\Users\\Me\\Documents\\Generals Data\\Mods\\", "X.big",
         "generals.exe -nologo  -mod \"C:\\Users\\Me\\Documents\\Generals Data\\Mods\\X.big\""},
        {"C:\\Mods\\", "Example.big", "generals.exe -nologo  -mod C:\\Mods\\Example.big"},
        {"D:\\My Mods\\", "X.big", "generals.exe -nologo  -mod \"D:\\My Mods\\X.big\""},
        {"\\\\server\\mods\\", "X.big", "generals.exe -nologo  -mod \\\\server\\mods\\X.big"},
        {"Mods\\", "X.big", "generals.exe -nologo  -mod X.big"},
    };
    for (const auto& c : cases) {
        SetMod({}, c.modFile);
        values.Mods[0].szModFolder = c.modFolder;
        runner.commands.clear();
        std::string command = "C:\\Games\\Generals\\generals.exe -nologo ";
        const auto userData = [](std::string_view) { return std::string("C:\\Users\\Me\\Documents\\Generals Data"); };
        ASSERT_TRUE(LaunchWithMod(values, {files(), runner, messages, {}, nullptr, nullptr, {}, userData}, command, 0));
        EXPECT_EQ(runner.commands, std::vector<std::string>{"C:\\Games\\Generals\\" + c.command})
            << c.modFolder << c.modFile;
    }
}

TEST_F(SwapCycle, AnIndexOutsideTheCatalogueIsAFailure) {
    SetMod({});
    EXPECT_FALSE(Launch(1));
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(SwapCycle, HandlesEachStateOfTargetAndBackup) {
    struct Case {
        std::string name;
        std::vector<std::string> gameEntries; // files to create under C:\Games\Generals\Data, "path content"
        std::string source;
        bool launches;
        std::string expectedDuring; // lines of the Data folder while the game runs
        std::string expectedAfter;
    };
    const Case cases[] = {
        {"target absent, backup absent", {}, "Mods/Example/Readme.txt", true,
         "Readme.txt mod readme\n", ""},
        {"target present, backup absent", {"Readme.txt game"}, "Mods/Example/Readme.txt", true,
         "Readme.txt mod readme\nReadme.txt.original game\n", "Readme.txt game\n"},
        {"target absent, backup left over", {"Readme.txt.original game"}, "Mods/Example/Readme.txt", true,
         "Readme.txt mod readme\nReadme.txt.original game\n", "Readme.txt game\n"},
        {"file target and backup both present", {"Readme.txt game", "Readme.txt.original old"},
         "Mods/Example/Readme.txt", false, "", "Readme.txt game\nReadme.txt.original old\n"},
        // A stray backup beside a live folder is never put in its place: the live one may be newer.
        {"folder target and backup both present", {"Maps/Alpine.map live", "Maps/MyOwn.map mine", "Maps.original/Old.map old"},
         "Mods/Example/Maps", false, "",
         "Maps.original/\nMaps.original/Old.map old\nMaps/\nMaps/Alpine.map live\nMaps/MyOwn.map mine\n"},
    };
    for (const auto& c : cases) {
        test::RemoveTree(machine.HostPath("Games/Generals/Data"));
        fs::create_directories(machine.HostPath("Games/Generals/Data"));
        for (const auto& entry : c.gameEntries) {
            const auto blank = entry.find(' ');
            machine.Write("Games/Generals/Data/" + entry.substr(0, blank), entry.substr(blank + 1));
        }
        SetMod({{c.source, "Games/Generals/Data"}});
        runner.commands.clear();
        messages.shown.clear();
        during.clear();
        runner.whileRunning = [&] { during = test::DescribeTree(machine.HostPath("Games/Generals/Data")); };
        lastCommand = "C:\\Games\\Generals\\generals.exe";
        EXPECT_EQ(LaunchWithMod(values, {files(), runner, messages}, lastCommand, 0), c.launches) << c.name;
        EXPECT_EQ(runner.commands.size(), c.launches ? 1u : 0u) << c.name;
        if (c.launches) {
            EXPECT_TRUE(messages.shown.empty()) << c.name;
        } else {
            EXPECT_TRUE(test::ShowedLaunchFailure(messages, {".original\""})) << c.name << ": names the leftover";
        }
        EXPECT_EQ(during, c.expectedDuring) << c.name;
        EXPECT_EQ(test::DescribeTree(machine.HostPath("Games/Generals/Data")), c.expectedAfter) << c.name;
    }
}

// Pairs that name no entry, a place that is no folder of a game, or the launcher's own files fail
// before anything changes, saying why.
TEST_F(SwapCycle, RefusesPairsThatNameNothingItMayChange) {
    values.programFolder = machine.WindowsPath("Games\\Vantrel");
    machine.Write("Games/Vantrel/Example.vtl", "Location=\r\n");
    machine.Write("Mods/Example/Vantrel", "a file named like the program folder");
    machine.Write("Mods/Example/Vantrel launch 0123456789abcdef.journal", "named like a journal");
    struct Case {
        std::string source;      // relative to the machine's disk
        std::string destination; // likewise, but for a relative one that stays as it is
        std::string reason;
    };
    const Case cases[] = {
        {"Mods\\Example\\", "Games\\Generals\\Data", "does not end in the name"},
        {"Mods\\Example\\.", "Games\\Generals\\Data", "does not end in the name"},
        {"Mods\\Example\\..", "Games\\Generals\\Data", "does not end in the name"},
        {"Mods\\Example\\Maps", "Data", "Zero Hour was not found"},
        {"Mods\\Example\\Vantrel", "Games", "Vantrel's own"},
        {"Mods\\Example\\Vantrel", "Mods\\..\\Games", "Vantrel's own"},
        {"Mods\\Example\\Vantrel launch 0123456789abcdef.journal", "Games\\Vantrel", "Vantrel's own"},
    };
    values.szGeneralsPath = machine.WindowsPath("Games\\Generals\\");
    const std::string before = Games();
    for (const auto& c : cases) {
        SetMod({{"Mods/Example/Readme.txt", "Games/ZH/Data"}, {"Mods/Example/Maps", "Games/Generals/Data"}});
        values.Mods[0].szSrcPaths[1] = machine.WindowsPath(c.source);
        values.Mods[0].szDstFolders[1] = c.destination == "Data" ? c.destination : machine.WindowsPath(c.destination);
        runner.commands.clear();
        messages.shown.clear();
        EXPECT_FALSE(Launch()) << c.source << " into " << c.destination;
        EXPECT_TRUE(runner.commands.empty()) << c.source;
        EXPECT_TRUE(test::ShowedLaunchFailure(messages, {"pair 2", c.reason})) << c.source;
        EXPECT_EQ(Games(), before) << c.source;
    }
}

// On a disk that tells letter case apart, the entry spelled as the definition has it is the one
// meant, and a set-aside entry comes back under its own name.
TEST_F(SwapCycle, LetterCaseNeverSwapsTheWrongEntry) {
    machine.Write("Games/Generals/Data/maps/lower.map", "game lower");
    machine.Write("Games/Generals/Data/INI/gamedata.ini", "game lower data");
    if (!fs::exists(machine.HostPath("Games/Generals/Data/Maps/Alpine.map")) ||
        test::ReadBytes(machine.HostPath("Games/Generals/Data/INI/GameData.ini")) != "game data") {
        GTEST_SKIP() << "this disk does not tell letter case apart";
    }
    machine.Write("Mods/Lower/maps/Mod.map", "mod lower map");
    machine.Write("Mods/Lower/gamedata.ini", "mod lower data");
    machine.Write("Mods/Upper/MAPS/Mod.map", "mod upper map");
    struct Case {
        std::string source;
        std::string destination;
        std::vector<std::string> during; // lines of Data while the game runs
    };
    const Case cases[] = {
        {"Mods/Lower/maps", "Games/Generals/Data",
         {"maps/Mod.map mod lower map", "maps.original/lower.map game lower", "Maps/Alpine.map game map"}},
        {"Mods/Lower/gamedata.ini", "Games/Generals/Data/INI",
         {"INI/gamedata.ini mod lower data", "INI/gamedata.ini.original game lower data", "INI/GameData.ini [ro] game data"}},
    };
    const std::string before = Games();
    for (const auto& c : cases) {
        SetMod({{c.source, c.destination}});
        ASSERT_TRUE(Launch()) << c.source;
        for (const auto& line : c.during) {
            EXPECT_NE(during.find("Generals/Data/" + line + "\n"), std::string::npos) << c.source << "\n" << during;
        }
        EXPECT_EQ(Games(), before) << c.source;
    }
    // Two folders of the mod on one target in two letter cases: the second goes into the first's copy.
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Upper/MAPS", "Games/Generals/Data"}});
    ASSERT_TRUE(Launch());
    EXPECT_NE(during.find("Generals/Data/Maps/Mod.map mod upper map\n"), std::string::npos) << during;
    EXPECT_EQ(Games(), before);
    // Only "Maps" there: the mod's "MAPS" takes its place, and "Maps" comes back as "Maps".
    test::RemoveTree(machine.HostPath("Games/Generals/Data/maps"));
    const std::string withoutLower = Games();
    SetMod({{"Mods/Upper/MAPS", "Games/Generals/Data"}});
    ASSERT_TRUE(Launch());
    EXPECT_NE(during.find("Generals/Data/MAPS/Mod.map mod upper map\n"), std::string::npos) << during;
    EXPECT_NE(during.find("Generals/Data/Maps.original/Alpine.map game map\n"), std::string::npos) << during;
    EXPECT_EQ(Games(), withoutLower);
}

TEST_F(SwapCycle, ReadOnlyGameFileIsSetAsideAndComesBackWritable) {
    SetMod({{"Mods/Example/GameData.ini", "Games/Generals/Data/INI"}});
    ASSERT_TRUE(Launch());
    EXPECT_NE(during.find("INI/GameData.ini mod data\n"), std::string::npos) << during;
    EXPECT_NE(during.find("INI/GameData.ini.original game data\n"), std::string::npos) << during;
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/INI/GameData.ini")), "game data");
    EXPECT_NE(fs::status(machine.HostPath("Games/Generals/Data/INI/GameData.ini")).permissions() & fs::perms::owner_write,
              fs::perms::none);
    EXPECT_FALSE(fs::exists(machine.HostPath("Games/Generals/Data/INI/GameData.ini.original")));
}

TEST_F(SwapCycle, PairsWithTheSameTargetEndAsTheyBegan) {
    // No game entry there: the first copy becomes the second pair's backup.
    SetMod({{"Mods/Example/Readme.txt", "Games/ZH/Data"}, {"Mods/Example/Readme.txt", "Games/ZH/Data"}});
    const std::string before = Games();
    EXPECT_TRUE(Launch());
    EXPECT_NE(during.find("ZH/Data/Readme.txt.original mod readme\n"), std::string::npos) << during;
    EXPECT_EQ(Games(), before);

    // Over a game folder: the second pair merges into the first one's copy, and the game's folder
    // must survive the restore of both.
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Maps", "Games/Generals/Data"}});
    EXPECT_TRUE(Launch());
    EXPECT_EQ(Games(), before);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SwapCycle, HiddenGameEntryCountsAsAbsentAndIsNeverTouched) {
    machine.Write("Games/Generals/Data/.options", "hidden game file");
    ASSERT_TRUE(machine.Hide("Games/Generals/Data/.options"));
    machine.Write("Mods/Example/.options", "mod options");
    SetMod({{"Mods/Example/Readme.txt", "Games/ZH/Data"}, {"Mods/Example/.options", "Games/Generals/Data"}});
    const std::string before = Games();
    EXPECT_FALSE(Launch());
    EXPECT_TRUE(runner.commands.empty()) << "the copy onto the hidden file fails before the game starts";
    EXPECT_EQ(Games(), before);
}

TEST_F(SwapCycle, NeverWritesOverWhatItCannotSetAside) {
    machine.Write("Games/Generals/Data/.Hidden/Game.map", "hidden game map");
    machine.Write("Mods/Example/.Hidden/Mod.map", "mod map");
    machine.Write("Mods/Example/Odd/Maps.original/Mod.map", "mod's own backup-named folder");
    ASSERT_TRUE(machine.Hide("Games/Generals/Data/.Hidden"));
    struct Case {
        std::string name;
        std::vector<std::pair<std::string, std::string>> pairs;
    };
    const std::vector<Case> cases = {
        {"a hidden game folder at the target", {{"Mods/Example/.Hidden", "Games/Generals/Data"}}},
        {"a backup this launch copied there itself",
         {{"Mods/Example/Odd/Maps.original", "Games/Generals/Data"}, {"Mods/Example/Maps", "Games/Generals/Data"}}},
    };
    const std::string before = Games();
    for (const auto& c : cases) {
        SetMod(c.pairs);
        runner.commands.clear();
        messages.shown.clear();
        EXPECT_FALSE(Launch()) << c.name;
        EXPECT_TRUE(runner.commands.empty()) << c.name;
        EXPECT_EQ(Games(), before) << c.name;
    }
    // A control character (a NUL in a damaged definition) would cut the path short at the system.
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}});
    values.Mods[0].szDstFolders[0] += std::string(1, '\0') + "X";
    EXPECT_FALSE(Launch());
    EXPECT_EQ(Games(), before);
}

TEST_F(SwapCycle, AHiddenBackupIsNeverTakenForTheGamesEntry) {
    machine.Write("Games/ZH/Data/INI/Weapon.ini.original", "someone's hidden file");
    if (!machine.Hide("Games/ZH/Data/INI/Weapon.ini.original")) {
        GTEST_SKIP() << "this machine hides only names that begin with a dot";
    }
    machine.Write("Mods/Example/Weapon.ini", "mod weapon");
    SetMod({{"Mods/Example/Weapon.ini", "Games/ZH/Data/INI"}});
    const std::string before = Games();
    EXPECT_FALSE(Launch());
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/INI/Weapon.ini")), "zh weapon");
    EXPECT_EQ(Games(), before);
}

TEST_F(SwapCycle, AProgramThatDoesNotStartIsAFailure) {
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}});
    const std::string before = Games();
    runner.startError = "C:\\Games\\Generals\\generals.exe was not found";
    EXPECT_FALSE(Launch());
    EXPECT_TRUE(test::ShowedLaunchFailure(messages, {"could not be started", "generals.exe was not found"}));
    EXPECT_EQ(Games(), before);
    messages.shown.clear();
    EXPECT_FALSE(Launch(-1)) << "also without a mod";
    EXPECT_TRUE(test::ShowedLaunchFailure(messages, {"could not be started"}));
}

TEST_F(SwapCycle, FailedSwapInIsUndoneAndTheGameNotStarted) {
    struct Case {
        std::string name;
        std::string source;
        std::string destination;
        std::string reason;
    };
    const Case cases[] = {
        {"missing source", "Mods/Example/Missing.txt", "Games/ZH/Data", "Missing.txt\" was not found"},
        {"source without backslash", "", "Games/ZH/Data", "does not end in the name"},
        {"missing destination folder", "Mods/Example/Readme.txt", "Games/Nowhere/Data", "Nowhere\\Data\" does not exist"},
    };
    for (const auto& c : cases) {
        SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/GameData.ini", "Games/Generals/Data/INI"},
                {c.source, c.destination}});
        if (c.source.empty()) {
            values.Mods[0].szSrcPaths[2] = "Readme.txt";
        }
        const std::string before = Games();
        runner.commands.clear();
        messages.shown.clear();
        EXPECT_FALSE(Launch()) << c.name;
        EXPECT_TRUE(runner.commands.empty()) << c.name;
        EXPECT_TRUE(test::ShowedLaunchFailure(messages, {c.reason})) << c.name;
        // The read-only game file set aside comes back, writable now, as after any launch.
        fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                        fs::perm_options::remove);
        EXPECT_EQ(Games(), before) << c.name;
    }
}

TEST_F(SwapCycle, DecidesFileOrFolderByTheSourceOnDisk) {
    machine.Write("Games/Gen.1/Data/Maps/Alpine.map", "dotted game map");
    SetMod({{"Mods/Example/Maps", "Games/Gen.1/Data"}, {"Mods/Example/README", "Games/ZH/Data"}});
    const std::string before = Games();
    ASSERT_TRUE(Launch());
    EXPECT_NE(during.find("Gen.1/Data/Maps/Mod.map mod map\n"), std::string::npos) << during;
    EXPECT_NE(during.find("ZH/Data/README no extension\n"), std::string::npos) << during;
    EXPECT_EQ(Games(), before);
}

TEST_F(SwapCycle, RemovesItsOwnReadOnlyCopies) {
    MakeReadOnly(machine.HostPath("Mods/Example/Readme.txt"));
    MakeReadOnly(machine.HostPath("Mods/Example/Maps/Mod.map"));
    SetMod({{"Mods/Example/Readme.txt", "Games/ZH/Data"}, {"Mods/Example/Maps", "Games/Generals/Data"}});
    const std::string before = Games();
    ASSERT_TRUE(Launch());
    EXPECT_NE(during.find("ZH/Data/Readme.txt [ro] mod readme\n"), std::string::npos) << "the copy keeps its read-only state";
    EXPECT_EQ(Games(), before);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SwapCycle, CopyGoneAtRestoreIsReportedAndTheRestGoesOn) {
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/GameData.ini", "Games/Generals/Data/INI"},
            {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}});
    runner.whileRunning = [this] { fs::remove_all(machine.HostPath("Games/Generals/Data/Maps")); };
    std::string command = "C:\\Games\\Generals\\generals.exe";
    EXPECT_FALSE(LaunchWithMod(values, {files(), runner, messages}, command, 0));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps/Alpine.map")), "game map")
        << "the game's folder comes back where the copy was";
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/INI/GameData.ini")), "game data");
    EXPECT_FALSE(fs::exists(machine.HostPath("Games/ZH/Data/INI/Readme.txt")));
    EXPECT_FALSE(fs::exists(machine.HostPath("Games/Generals/Data/Maps.original")));
}

// The game saves into the mod's copies in its own ways; the launcher that ran it takes whatever stands
// at a placed target for the mod's entry and puts the game's back.
TEST_F(SwapCycle, WhatTheGameMadeOfACopyGoesAndTheGamesEntryComesBack) {
    machine.Write("Games/ZH/Data/INI/Readme.txt", "zh readme");
    const std::string before = Games();
    const std::vector<std::pair<std::string, std::function<void()>>> games = {
        {"writes a new file and renames it over the copy",
         [&] {
             machine.Write("Games/ZH/Data/INI/Readme.new", "saved by the game");
             fs::rename(machine.HostPath("Games/ZH/Data/INI/Readme.new"), machine.HostPath("Games/ZH/Data/INI/Readme.txt"));
         }},
        {"deletes the copy and writes it anew",
         [&] {
             fs::remove(machine.HostPath("Games/ZH/Data/INI/Readme.txt"));
             machine.Write("Games/ZH/Data/INI/Readme.txt", "saved by the game");
         }},
        {"replaces a copied folder",
         [&] {
             test::RemoveTree(machine.HostPath("Games/Generals/Data/Maps"));
             machine.Write("Games/Generals/Data/Maps/Saved.map", "saved by the game");
         }},
        {"changes the copy in place", [&] { machine.Write("Games/ZH/Data/INI/Readme.txt", "patched"); }},
    };
    for (const auto& [name, game] : games) {
        SetMod({{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}});
        messages.shown.clear();
        runner.whileRunning = game;
        std::string command = "C:\\Games\\Generals\\generals.exe";
        EXPECT_TRUE(LaunchWithMod(values, {files(), runner, messages}, command, 0)) << name;
        EXPECT_TRUE(messages.shown.empty()) << name;
        EXPECT_EQ(Games(), before) << name;
    }
}

TEST_F(SwapCycle, TargetIsTheDestinationAndTheSourcesLastName) {
    const std::pair<std::pair<std::string, std::string>, std::optional<std::string>> cases[] = {
        {{"D:\\Mods\\Maps", "C:\\"}, "C:\\Maps"},
        {{"D:\\Mods\\Maps", "E:\\Generals\\Data"}, "E:\\Generals\\Data\\Maps"},
        {{"Maps", "E:\\Data"}, std::nullopt},
        {{"D:\\Mods\\Ex\\", "C:\\users\\me\\Desktop"}, std::nullopt},
        {{"D:\\", "C:\\"}, std::nullopt},
        {{"D:\\Mods\\.", "E:\\Data"}, std::nullopt},
        {{"D:\\Mods\\..", "E:\\Data"}, std::nullopt},
    };
    for (const auto& [paths, target] : cases) {
        std::string why;
        EXPECT_EQ(PairTarget(paths.first, paths.second, why), target) << paths.first;
        EXPECT_EQ(why.empty(), target.has_value()) << paths.first;
    }
}

std::string WithoutReadOnly(std::string tree) {
    for (std::size_t at = tree.find(" [ro] "); at != std::string::npos; at = tree.find(" [ro] ", at)) {
        tree.erase(at, 5);
    }
    return tree;
}

std::vector<std::string> LinesOnlyInOne(const std::string& a, const std::string& b) {
    const auto lines = [](const std::string& text) {
        std::vector<std::string> result;
        for (std::size_t pos = 0, end; pos < text.size(); pos = end + 1) {
            end = text.find('\n', pos);
            result.push_back(text.substr(pos, end - pos));
        }
        std::sort(result.begin(), result.end());
        return result;
    };
    std::vector<std::string> difference;
    const auto left = lines(a);
    const auto right = lines(b);
    std::set_symmetric_difference(left.begin(), left.end(), right.begin(), right.end(), std::back_inserter(difference));
    return difference;
}

// Every changing file operation of a launch fails once, in turn: a failure before the run leaves the
// installation exactly as it was; a failure during the restore leaves every other pair restored and
// the failed pair's game entry under its backup name. The message is shown once, and no game file
// is ever lost.
TEST_F(SwapCycle, SurvivesAFailureAtEveryFileOperation) {
    machine.Write("Games/ZH/Data/Readme.txt", "zh readme");
    SetMod({{"Mods/Example/Maps", "Games/Generals/Data"},
            {"Mods/Example/GameData.ini", "Games/Generals/Data/INI"},
            {"Mods/Example/Readme.txt", "Games/ZH/Data"},
            {"Mods/Example/Maps", "Games/Generals/Data"},
            {"Mods/Example/README", "Games/ZH/Data/INI"}});
    // Whatever a launch does, these contents must always be somewhere under C:\Games.
    const std::vector<std::string> gameContents = {"game map", "game desert", "game data", "zh weapon", "zh readme"};
    const fs::path snapshot = machine.HostPath("Snapshot");
    fs::copy(machine.HostPath("Games"), snapshot, fs::copy_options::recursive);

    faulty = std::make_unique<FaultyFileSystem>(machine.swapFiles(), 0);
    ASSERT_TRUE(Launch());
    const int operations = faulty->Operations();
    ASSERT_GT(operations, 10);
    test::RemoveTree(machine.HostPath("Games"));
    fs::copy(snapshot, machine.HostPath("Games"), fs::copy_options::recursive);

    for (const auto mode : {FaultyFileSystem::Mode::Before, FaultyFileSystem::Mode::After}) {
        for (int failAt = 1; failAt <= operations; ++failAt) {
            const std::string before = Games();
            faulty = std::make_unique<FaultyFileSystem>(machine.swapFiles(), failAt, mode);
            runner.commands.clear();
            messages.shown.clear();
            const std::string where = "failing operation " + std::to_string(failAt) +
                                      (mode == FaultyFileSystem::Mode::After ? " after copying" : "");
            EXPECT_FALSE(Launch()) << where;
            EXPECT_EQ(messages.shown.size(), 1u) << where;
            const std::string after = Games();
            if (runner.commands.empty()) {
                // The game did not start: the swap-in was undone. Only a read-only game file that
                // was set aside comes back writable, as after every launch.
                EXPECT_EQ(after, test::AsBeforeALaunch(before, after)) << where;
            } else {
                // Only the pair whose restore failed may differ from before the launch.
                bool confinedToOnePair = false;
                for (const std::string target : {"Generals/Data/Maps", "Generals/Data/INI/GameData.ini",
                                                 "ZH/Data/Readme.txt", "ZH/Data/INI/README"}) {
                    bool confined = true;
                    for (const auto& line : LinesOnlyInOne(WithoutReadOnly(before), WithoutReadOnly(after))) {
                        confined = confined && line.starts_with(target);
                    }
                    confinedToOnePair = confinedToOnePair || confined;
                }
                EXPECT_TRUE(confinedToOnePair) << where << "\n" << after;
            }
            for (const auto& content : gameContents) {
                EXPECT_NE(after.find(" " + content + "\n"), std::string::npos) << where << ": lost " << content << "\n" << after;
            }
            test::RemoveTree(machine.HostPath("Games"));
            fs::copy(snapshot, machine.HostPath("Games"), fs::copy_options::recursive);
        }
    }
}

} // namespace
} // namespace vantrel
