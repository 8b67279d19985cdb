#include "launch/launch_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/native_platform.h"
#include "support/example_mods.h"
#include "support/killing_wrappers.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::Killed;
using test::KillSwitch;

// The launch lock of a test: held or not, in this process.
class TestLock final : public LaunchLock {
public:
    bool heldElsewhere = false;
    bool held = false;
    bool TryAcquire(std::string_view) override { return !heldElsewhere && (held = true); }
    void Release() override { held = false; }
};

// A mod with a folder over a game folder, a file over a read-only game file, a file over a game file
// and two pairs with the same target, as in the launches that are killed below.
class LaunchJournalTest : public ::testing::Test {
protected:
    LaunchJournalTest() {
        test::WriteExampleInstallation(machine);
        machine.Write("Games/ZH/Data/Readme.txt", "zh readme");
        fs::create_directories(machine.HostPath("Vantrel"));
        test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"},
                                                            {"Mods/Example/GameData.ini", "Games/Generals/Data/INI"},
                                                            {"Mods/Example/Readme.txt", "Games/ZH/Data"},
                                                            {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"},
                                                            {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}}));
        before = Games();
    }

    std::string Games() const { return test::DescribeTree(machine.HostPath("Games")); }
    std::string ProgramFolder() const { return test::DescribeTree(machine.HostPath("Vantrel")); }
    LaunchJournal Journal(TextFiles& files) { return LaunchJournal(files, machine.singleFiles(), machine.WindowsPath("Vantrel")); }

    // Runs a launch that dies at step `killAt` (0: never); true when it died.
    bool LaunchDyingAt(int killAt, std::function<void()> whileRunning = nullptr) {
        KillSwitch kill(killAt);
        test::KillingFileSystem files(machine.swapFiles(), kill);
        test::KillingTextFiles textFiles(machine.textFiles(), kill);
        LaunchJournal journal = Journal(textFiles);
        runner.whileRunning = std::move(whileRunning);
        std::string command = "C:\\Games\\Generals\\generals.exe";
        try {
            LaunchWithMod(values, {files, runner, messages, {}, &journal, &lock}, command, 0);
        } catch (const Killed&) {
            lock.held = false; // the system drops a dead process's lock
            return true;
        }
        steps = kill.Steps();
        return false;
    }

    // A launch whose launcher dies while the game runs, after `meanwhile` (the game's doing).
    void LaunchKilledWhileTheGameRuns(const std::function<void()>& meanwhile = nullptr) {
        EXPECT_TRUE(LaunchDyingAt(0, [&] {
            if (meanwhile) {
                meanwhile();
            }
            throw Killed();
        }));
    }

    std::string Recover() {
        LaunchJournal journal = Journal(machine.textFiles());
        return RecoverInterruptedLaunch(journal, machine.swapFiles(), lock);
    }

    // The game folders as before the launch, but for the read-only game file that a launch clears.
    void ExpectGamesAsBefore(const std::string& where) {
        const std::string after = Games();
        EXPECT_EQ(after, test::AsBeforeALaunch(before, after)) << where;
        if (fs::exists(machine.HostPath("Vantrel"))) {
            EXPECT_EQ(ProgramFolder(), "") << where << ": no journal or temporary file remains";
        }
    }

    void ResetGames() {
        test::RemoveTree(machine.HostPath("Games"));
        fs::copy(snapshot.Path() / "Games", machine.HostPath("Games"), fs::copy_options::recursive);
    }

    test::TestMachine machine;
    test::TempFolder snapshot;
    ProgramValues values;
    test::RecordingRunner runner;
    test::RecordingMessages messages;
    TestLock lock;
    std::string before;
    int steps = 0;
};

TEST(LaunchJournalFormat, ReadsBackWhatItWrote) {
    std::vector<PlacedPair> pairs(3);
    pairs[0] = {{"C:\\Games\\Data\\Maps", "C:\\Games\\Data\\Maps.original"}, EntryKind::Folder, true, true, false,
                true, true, false, EntryIdentity{7, 1234567890123ULL}, TreeSize{4, 21, 18446744073709551615ULL}};
    pairs[1] = {{"C:\\Games\\G\xC3\xA9n\xC3\xA9raux\\x.ini", "C:\\Games\\G\xC3\xA9n\xC3\xA9raux\\x.ini.original"},
                EntryKind::File, false, false, true, true, false, false, std::nullopt, TreeSize{}};
    pairs[2] = {{"D:\\a=b", "D:\\a=b.original"}, EntryKind::Folder, true, false, false, false, true, true, std::nullopt,
                TreeSize{1, 0, 5}};
    for (const auto& written : {std::vector<PlacedPair>{}, pairs}) {
        std::vector<PlacedPair> read;
        EXPECT_EQ(ParseJournal(FormatJournal(written), read), JournalState::Read);
        EXPECT_EQ(read, written);
    }
}

TEST(LaunchJournalFormat, RefusesAnythingButAWholeJournal) {
    std::vector<PlacedPair> pairs(1);
    pairs[0].paths = {"C:\\Games\\Data\\Maps", "C:\\Games\\Data\\Maps.original"};
    const auto lines = FormatJournal(pairs);
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    std::vector<PlacedPair> read;
    // Cut at every byte: only the whole text reads.
    for (std::size_t cut = 0; cut + 1 < text.size(); ++cut) {
        std::vector<std::string> cutLines;
        for (std::size_t pos = 0; pos < cut;) {
            const std::size_t end = std::min(text.find('\n', pos), cut);
            cutLines.push_back(text.substr(pos, end - pos));
            pos = end + 1;
        }
        EXPECT_NE(ParseJournal(cutLines, read), JournalState::Read) << "cut at " << cut;
        EXPECT_TRUE(read.empty());
    }
    auto changed = lines;
    changed[2][12] ^= 1;
    EXPECT_EQ(ParseJournal(changed, read), JournalState::Unreadable);
    EXPECT_EQ(ParseJournal({std::string(200, '\0')}, read), JournalState::Unreadable);
    auto newer = lines;
    newer[0] = "Vantrel launch journal 2";
    EXPECT_EQ(ParseJournal(newer, read), JournalState::NewerFormat);
}

TEST_F(LaunchJournalTest, ALaunchThatEndsLeavesNoJournal) {
    ASSERT_FALSE(LaunchDyingAt(0, [&] { EXPECT_NE(ProgramFolder().find("Vantrel launch.journal"), std::string::npos); }));
    EXPECT_TRUE(messages.shown.empty());
    ExpectGamesAsBefore("after the launch");
    EXPECT_EQ(Recover(), "");
}

// The launcher dies after each step of the swap-in and of the restore, and once while the game runs;
// the next start puts the game folders back as they were and removes the journal.
TEST_F(LaunchJournalTest, NextStartPutsBackALaunchKilledAtAnyStep) {
    fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive);
    ASSERT_FALSE(LaunchDyingAt(0));
    const int total = steps;
    ASSERT_GT(total, 15);
    ResetGames();
    for (int killAt = 1; killAt <= total; ++killAt) {
        ASSERT_TRUE(LaunchDyingAt(killAt)) << killAt;
        const std::string report = Recover();
        ExpectGamesAsBefore("killed at step " + std::to_string(killAt) + ": " + report);
        ResetGames();
    }
    LaunchKilledWhileTheGameRuns();
    EXPECT_EQ(Recover(), "A launch did not finish; the game folders were put back as they were.");
    ExpectGamesAsBefore("killed while the game ran");
}

TEST_F(LaunchJournalTest, ARecoveryKilledAtAnyStepIsFinishedByTheNext) {
    fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive);
    for (int recoveryKilledAt = 1;; ++recoveryKilledAt) {
        LaunchKilledWhileTheGameRuns();
        KillSwitch kill(recoveryKilledAt);
        test::KillingFileSystem files(machine.swapFiles(), kill);
        LaunchJournal journal = Journal(machine.textFiles());
        bool died = false;
        try {
            (void)RecoverInterruptedLaunch(journal, files, lock);
        } catch (const Killed&) {
            died = true;
            lock.held = false;
        }
        (void)Recover();
        ExpectGamesAsBefore("recovery killed at step " + std::to_string(recoveryKilledAt));
        ResetGames();
        if (!died) {
            EXPECT_GT(recoveryKilledAt, 5);
            break;
        }
    }
}

TEST_F(LaunchJournalTest, ACopyTheGameChangedIsNotRemoved) {
    LaunchKilledWhileTheGameRuns([&] { machine.Write("Games/ZH/Data/Readme.txt", "patched by the game"); });
    const std::string report = Recover();
    EXPECT_NE(report.find("left as they are"), std::string::npos) << report;
    EXPECT_NE(report.find(machine.WindowsPath("Games\\ZH\\Data\\Readme.txt")), std::string::npos) << report;
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/Readme.txt")), "patched by the game");
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/Readme.txt.original")), "zh readme");
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps/Alpine.map")), "game map")
        << "every other pair is put back";
    EXPECT_NE(ProgramFolder().find("Vantrel launch.journal"), std::string::npos) << "the journal stays";
}

TEST_F(LaunchJournalTest, ADamagedJournalIsNeverActedOn) {
    LaunchKilledWhileTheGameRuns();
    const std::string during = Games();
    const fs::path path = machine.HostPath("Vantrel/Vantrel launch.journal");
    const std::string whole = test::ReadBytes(path);
    for (const std::string& damaged : {whole.substr(0, whole.size() / 2), std::string(whole.size(), '\0'),
                                      std::string("Vantrel launch journal 9\r\n")}) {
        test::WriteBytes(path, damaged);
        const std::string report = Recover();
        EXPECT_NE(report.find("left as they are"), std::string::npos) << report;
        EXPECT_EQ(Games(), during);
        EXPECT_EQ(test::ReadBytes(path), damaged);
    }
}

TEST_F(LaunchJournalTest, NothingIsTakenThatThePairsHadNotReached) {
    // Killed while setting the first pair aside; then a file of the user's lands where a later pair
    // would have copied to.
    ASSERT_TRUE(LaunchDyingAt(2));
    machine.Write("Games/ZH/Data/INI/Readme.txt", "the user's own");
    const std::string report = Recover();
    EXPECT_NE(report.find("left as they are"), std::string::npos) << report;
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/INI/Readme.txt")), "the user's own");
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps/Alpine.map")), "game map");
}

TEST(LaunchJournalRecovery, LeavesRelativeTargetsAlone) {
    test::TestMachine machine;
    machine.Write("Data/Maps/Own.map", "the user's own");
    PlacedPair pair;
    pair.paths = {"Data\\Maps", "Data\\Maps.original"};
    pair.kind = EntryKind::Folder;
    pair.started = true;
    pair.targetWasFree = true;
    // A later start whose working folder holds a Data\Maps of its own.
    const fs::path working = fs::current_path();
    fs::current_path(machine.HostPath(""));
    std::vector<PlacedPair> left;
    EXPECT_FALSE(UndoPlacedPairs({pair}, machine.swapFiles(), true, &left));
    fs::current_path(working);
    EXPECT_EQ(left.size(), 1u);
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Data/Maps/Own.map")), "the user's own");
}

TEST_F(LaunchJournalTest, FolderPairsWithTheSameTargetAreRecovered) {
    test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"},
                                                        {"Mods/Example/Maps", "Games/Generals/Data"}}));
    LaunchKilledWhileTheGameRuns();
    EXPECT_EQ(Recover(), "A launch did not finish; the game folders were put back as they were.");
    ExpectGamesAsBefore("same-target folders");
}

TEST_F(LaunchJournalTest, WhatARestoreLeftStaysOnRecord) {
    ASSERT_FALSE(LaunchDyingAt(0, [&] {
        fs::rename(machine.HostPath("Games/ZH/Data/Readme.txt"), machine.HostPath("Games/ZH/Data/Moved.txt"));
        machine.Write("Games/ZH/Data/Readme.txt", "someone else's");
    }));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/Readme.txt.original")), "zh readme");
    const std::string report = Recover();
    EXPECT_NE(report.find(machine.WindowsPath("Games\\ZH\\Data\\Readme.txt")), std::string::npos) << report;
    EXPECT_NE(ProgramFolder().find("Vantrel launch.journal"), std::string::npos);
}

TEST_F(LaunchJournalTest, LaunchesWithoutARecordWhereNoneCanBeKept) {
    // A mod without pairs changes nothing: no record and no lock are needed.
    lock.heldElsewhere = true;
    values.Mods[0].nPairCount = 0;
    EXPECT_FALSE(LaunchDyingAt(0, [&] { EXPECT_EQ(ProgramFolder(), ""); }));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(runner.commands.size(), 1u);

    // A program folder that takes no file: the launch goes on as the system had it.
    lock.heldElsewhere = false;
    values.Mods[0].nPairCount = 5;
    test::RemoveTree(machine.HostPath("Vantrel"));
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_TRUE(messages.shown.empty());
    ExpectGamesAsBefore("without a record");
}


// Mods that exercise the corners of the swap: leftovers of earlier launches, nested and repeated
// targets, backup-named sources, letter case. Every launch, and a launch killed at every step, must
// end with each game entry back in place and nothing left on record.
TEST_F(LaunchJournalTest, TrickyModsSurviveAKillAtAnyStep) {
    struct Case {
        std::string name;
        std::function<void(test::TestMachine&)> setup;
        test::RelativePairs pairs;
        // A leftover of an earlier launch that a pair merges into is not the launch's own: a later
        // start leaves it, and says so, rather than delete it.
        bool leftoverMergedInto = false;
    };
    const auto setAside = [](const char* entry) {
        return [entry](test::TestMachine& m) {
            fs::rename(m.HostPath(entry), m.HostPath(std::string(entry) + ".original"));
        };
    };
    const std::vector<Case> cases = {
        {"a leftover folder over the game's, set aside before",
         [](test::TestMachine& m) {
             fs::rename(m.HostPath("Games/Generals/Data/Maps"), m.HostPath("Games/Generals/Data/Maps.original"));
             m.Write("Games/Generals/Data/Maps/Left.map", "left");
         },
         {{"Mods/Example/Maps", "Games/Generals/Data"}},
         true},
        {"a leftover backup of a file, its target free",
         [&](test::TestMachine& m) {
             setAside("Games/ZH/Data/INI/Weapon.ini")(m);
             m.Write("Mods/Example/Weapon.ini", "mod weapon");
         },
         {{"Mods/Example/Weapon.ini", "Games/ZH/Data/INI"}}},
        {"a leftover backup of a folder, its target free", setAside("Games/Generals/Data/Maps"),
         {{"Mods/Example/Maps", "Games/Generals/Data"}}},
        {"nested targets, outer first", [](test::TestMachine&) {},
         {{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Maps/Desert", "Games/Generals/Data/Maps"}}},
        {"nested targets, inner first", [](test::TestMachine&) {},
         {{"Mods/Example/Maps/Desert", "Games/Generals/Data/Maps"}, {"Mods/Example/Maps", "Games/Generals/Data"}}},
        {"the same folder target three times", [](test::TestMachine&) {},
         {{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Maps", "Games/Generals/Data"},
          {"Mods/Example/Maps", "Games/Generals/Data"}}},
        {"the same file target from two sources, no game entry",
         [](test::TestMachine& m) { m.Write("Mods/Other/Readme.txt", "another mod's readme, longer"); },
         {{"Mods/Example/Readme.txt", "Games/Generals/Data"}, {"Mods/Other/Readme.txt", "Games/Generals/Data"}}},
        {"the same target in two letter cases", [](test::TestMachine&) {},
         {{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Maps", "Games/Generals/DATA"}}},
        {"a leftover folder twice over",
         [](test::TestMachine& m) {
             fs::rename(m.HostPath("Games/Generals/Data/Maps"), m.HostPath("Games/Generals/Data/Maps.original"));
             m.Write("Games/Generals/Data/Maps/Left.map", "left");
         },
         {{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Maps", "Games/Generals/Data"}},
         true},
    };
    const std::vector<std::string> gameContents = {"game map", "game desert", "game data", "zh weapon", "zh readme"};
    for (const auto& c : cases) {
        test::RemoveTree(machine.HostPath("Games"));
        test::RemoveTree(snapshot.Path() / "Games");
        (void)Journal(machine.textFiles()).Remove();
        test::WriteExampleInstallation(machine);
        machine.Write("Games/ZH/Data/Readme.txt", "zh readme");
        c.setup(machine);
        fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive);
        test::SetOnlyMod(values, test::ModOfPairs(machine, c.pairs));
        before = Games();
        messages.shown.clear();
        ASSERT_FALSE(LaunchDyingAt(0)) << c.name;
        EXPECT_TRUE(messages.shown.empty()) << c.name << ": " << ProgramFolder();
        const int total = steps;
        const std::string afterLaunch = Games();
        for (const auto& content : gameContents) {
            EXPECT_NE(afterLaunch.find(" " + content + "\n"), std::string::npos) << c.name << ": lost " << content;
        }
        EXPECT_EQ(Recover(), "") << c.name;
        for (int killAt = 1; killAt <= total + 1; ++killAt) {
            ResetGames();
            (void)Journal(machine.textFiles()).Remove();
            if (killAt <= total) {
                LaunchDyingAt(killAt);
            } else {
                LaunchKilledWhileTheGameRuns();
            }
            lock.held = false;
            const std::string report = Recover();
            const std::string where = c.name + ", killed at step " + std::to_string(killAt) + ": " + report;
            const std::string after = Games();
            for (const auto& content : gameContents) {
                EXPECT_NE(after.find(" " + content + "\n"), std::string::npos) << where << ": lost " << content;
            }
            if (c.leftoverMergedInto && report.find("left as they are") != std::string::npos) {
                continue;
            }
            // As before the launch, or as after a whole one (which also puts back an earlier leftover).
            const bool asBefore = after == test::AsBeforeALaunch(before, after);
            const bool asAfterALaunch = after == test::AsBeforeALaunch(afterLaunch, after);
            EXPECT_TRUE(asBefore || asAfterALaunch) << where << "\n" << after;
            EXPECT_EQ(Recover(), "") << where << " (a second start finds nothing left)";
        }
    }
}

TEST_F(LaunchJournalTest, AHealedLeftoverIsNotTakenTwice) {
    test::RemoveTree(machine.HostPath("Games/Generals/Data/Maps"));
    machine.Write("Games/Generals/Data/Maps.original/Alpine.map", "game map");
    machine.Write("Games/Generals/Data/Maps/Left.map", "left by an earlier launch");
    test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"},
                                                        {"Mods/Example/Maps", "Games/Generals/Data"}}));
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps/Alpine.map")), "game map");
}

TEST_F(LaunchJournalTest, ABackupOfAnotherKindIsNeverTakenForTheGamesEntry) {
    machine.Write("Games/Generals/Data/Maps.original", "some file");
    test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"}}));
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps/Alpine.map")), "game map");
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps.original")), "some file");
}

TEST_F(LaunchJournalTest, LetterCaseDoesNotHideABackupThisLaunchCopied) {
    machine.Write("Mods/X/Desert.original/Fake.map", "a mod's backup-named folder");
    test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/X/Desert.original", "Games/Generals/Data/Maps"},
                                                        {"Mods/Example/Maps/Desert", "Games/Generals/DATA/Maps"}}));
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps/Desert/Desert.map")), "game desert");
    EXPECT_EQ(Recover(), "");
}

TEST_F(LaunchJournalTest, AFailedFileCopyOntoAGameEntryLeavesNothingOnRecord) {
    machine.Write("Games/ZH/Data/INI/Readme.txt", "game readme");
    machine.Write("Games/ZH/Data/INI/Readme.txt.original", "old");
    test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}}));
    const std::string untouched = Games();
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(Games(), untouched);
    EXPECT_EQ(Recover(), "");
}

TEST_F(LaunchJournalTest, ANewLaunchKeepsWhatAnEarlierOneLeftOnRecord) {
    LaunchKilledWhileTheGameRuns([&] { machine.Write("Games/ZH/Data/Readme.txt", "patched by the game"); });
    EXPECT_NE(Recover().find("left as they are"), std::string::npos);
    test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/GameData.ini", "Games/Generals/Data/INI"}}));
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_NE(Recover().find(machine.WindowsPath("Games\\ZH\\Data\\Readme.txt")), std::string::npos)
        << "the earlier record is still there";

    // A record that cannot be read is never written over: the launch is refused.
    test::WriteBytes(machine.HostPath("Vantrel/Vantrel launch.journal"), "damaged");
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Vantrel/Vantrel launch.journal")), "damaged");
}

// Refuses every replacement once `failing` is set, as a full disk would.
class FailingTextFiles final : public TextFiles {
public:
    explicit FailingTextFiles(TextFiles& inner) : inner_(inner) {}
    std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) override { return inner_.OpenForReading(path); }
    std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) override {
        return failing ? nullptr : inner_.StartReplacing(path);
    }
    void RemoveLeftovers(std::string_view folder) override { inner_.RemoveLeftovers(folder); }
    bool failing = false;

private:
    TextFiles& inner_;
};

TEST_F(LaunchJournalTest, ARecordThatCannotBeRewrittenIsKept) {
    FailingTextFiles text(machine.textFiles());
    LaunchJournal journal = Journal(text);
    runner.whileRunning = [&] {
        fs::rename(machine.HostPath("Games/ZH/Data/Readme.txt"), machine.HostPath("Games/ZH/Data/Moved.txt"));
        machine.Write("Games/ZH/Data/Readme.txt", "someone else's");
        text.failing = true;
    };
    std::string command = "C:\\Games\\Generals\\generals.exe";
    EXPECT_FALSE(LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock}, command, 0));
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/Readme.txt.original")), "zh readme");
    EXPECT_NE(ProgramFolder().find("Vantrel launch.journal"), std::string::npos);
}

TEST_F(LaunchJournalTest, OnlyOneLaunchAtATime) {
    lock.heldElsewhere = true;
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(Games(), before);
    EXPECT_EQ(Recover(), "") << "a running launch's journal is its own";
}

} // namespace
} // namespace vantrel
