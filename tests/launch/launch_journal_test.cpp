#include "launch/launch_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/native_platform.h"
#include "platform/windows_paths.h"
#include "support/faulty_file_system.h"
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
    LaunchJournal Journal(TextFiles& files, SwapFileSystem* on = nullptr) {
        return LaunchJournal(files, machine.singleFiles(), machine.WindowsPath("Vantrel"),
                             (on ? *on : machine.swapFiles()).MachineName());
    }
    std::filesystem::path JournalFile() {
        return machine.HostPath("Vantrel/" + std::string(LastWindowsName(Journal(machine.textFiles()).Path())));
    }

    // Runs a launch that dies at step `killAt` (0: never); true when it died. `inner` stands for the
    // machine's file layer.
    bool LaunchDyingAt(int killAt, std::function<void()> whileRunning = nullptr, SwapFileSystem* inner = nullptr) {
        KillSwitch kill(killAt);
        test::KillingFileSystem files(inner ? *inner : machine.swapFiles(), kill);
        test::KillingTextFiles textFiles(machine.textFiles(), kill);
        LaunchJournal journal = Journal(textFiles, &files);
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

    std::string Recover(SwapFileSystem* on = nullptr) {
        LaunchJournal journal = Journal(machine.textFiles(), on);
        return RecoverInterruptedLaunch(journal, on ? *on : machine.swapFiles(), lock);
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
        fs::copy(snapshot.Path() / "Games", machine.HostPath("Games"), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
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

PairRecord Planned(std::string target, EntryKind kind) {
    PairRecord pair;
    pair.target = std::move(target);
    pair.kind = kind;
    return pair;
}

// Pairs at each step, as a journal records them.
std::vector<PairRecord> PairsAtEveryStep() {
    std::vector<PairRecord> pairs(6);
    pairs[0] = Planned("C:\\Games\\Data\\Maps", EntryKind::Folder);
    pairs[0].restoreAs = "C:\\Games\\Data\\MAPS";
    pairs[0].backup = "C:\\Games\\Data\\MAPS.original";
    pairs[0].displaced = EntryIdentity{9, 10};
    pairs[0].setsAside = true;
    pairs[0].decidedAtPlan = true;
    pairs[1] = Planned("C:\\Games\\G\xC3\xA9n\xC3\xA9raux\\x.ini", EntryKind::File);
    pairs[1].restoreAs = "C:\\Games\\G\xC3\xA9n\xC3\xA9raux\\X.INI";
    pairs[1].backup = "C:\\Games\\G\xC3\xA9n\xC3\xA9raux\\X.INI.original";
    pairs[1].displaced = EntryIdentity{7, 1234567890123ULL};
    pairs[1].setsAside = true;
    pairs[1].step = PairStep::Begun;
    pairs[2] = Planned("D:\\a=b c", EntryKind::Folder);
    pairs[2].restoreAs = "D:\\a=b c";
    pairs[2].backup = "D:\\a=b c.original";
    pairs[2].displaced = EntryIdentity{1, 2};
    pairs[2].step = PairStep::Copying;
    pairs[2].copy = EntryIdentity{3, 4};
    pairs[3] = pairs[2];
    pairs[3].step = PairStep::Placed;
    pairs[3].content = {4, 21, 18446744073709551615ULL};
    pairs[4] = pairs[3];
    pairs[4].step = PairStep::Undoing;
    pairs[4].removing = EntryIdentity{5, 6};
    pairs[5] = Planned("D:\\a=b c", EntryKind::Folder);
    pairs[5].mergesInto = 2;
    pairs[5].step = PairStep::Undone;
    return pairs;
}

// The lines a launch at PairsAtEveryStep() writes: its start, then each pair's steps in turn.
std::vector<std::string> JournalOf(const std::vector<PairRecord>& pairs) {
    std::vector<PairRecord> planned;
    for (const auto& pair : pairs) {
        // What the plan decides goes into the start; the rest is decided as a pair begins.
        planned.push_back(pair.step == PairStep::Planned ? pair : Planned(pair.target, pair.kind));
    }
    auto lines = FormatJournalStart({"0123456789abcdef", "boot 1", planned});
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        PairRecord at = pairs[i];
        for (const auto step : {PairStep::Begun, PairStep::Copying, PairStep::Placed, PairStep::Undoing, PairStep::Undone}) {
            if (step <= pairs[i].step && !(pairs[i].mergesInto && step > PairStep::Begun && step < PairStep::Undone)) {
                at.step = step;
                lines.push_back(FormatStep(i, at));
            }
        }
    }
    return lines;
}

TEST(LaunchJournalFormat, ReadsBackEveryStepOfEveryPair) {
    const auto pairs = PairsAtEveryStep();
    JournalContent read;
    ASSERT_EQ(ParseJournal(JournalOf(pairs), read), JournalState::Read);
    EXPECT_EQ(read.machine, "0123456789abcdef");
    EXPECT_EQ(read.session, "boot 1");
    ASSERT_EQ(read.pairs.size(), pairs.size());
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        EXPECT_EQ(read.pairs[i], pairs[i]) << "pair " << i;
    }
    EXPECT_EQ(ParseJournal(FormatJournalStart({"k", "s", {}}), read), JournalState::Read);
    EXPECT_TRUE(read.pairs.empty());
}

// The start is made durable before anything changes: one cut short stands for nothing done. A step
// line cut short at the end (a kill or a power cut in the middle of an append) counts as never
// written; damage anywhere else makes the journal unreadable.
TEST(LaunchJournalFormat, TakesALastLineCutShortAsUnwrittenAndRefusesOtherDamage) {
    const auto pairs = PairsAtEveryStep();
    const auto lines = JournalOf(pairs);
    const std::size_t startLines = pairs.size() + 4;
    JournalContent read;
    for (std::size_t line = 0; line < lines.size(); ++line) {
        for (std::size_t cut = 0; cut < lines[line].size(); ++cut) {
            std::vector<std::string> torn(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(line));
            torn.push_back(lines[line].substr(0, cut));
            const JournalState state = ParseJournal(torn, read);
            if (line < startLines) {
                EXPECT_EQ(state, JournalState::Unstarted) << "line " << line << " cut at " << cut;
            } else {
                EXPECT_EQ(state, JournalState::Read) << "line " << line << " cut at " << cut;
            }
        }
    }
    for (const std::size_t line : {std::size_t{1}, startLines - 1, startLines + 1}) {
        auto changed = lines;
        changed[line][6] ^= 1;
        EXPECT_EQ(ParseJournal(changed, read), JournalState::Unreadable) << "a damaged line " << line;
    }
    EXPECT_EQ(ParseJournal({std::string(200, '\0')}, read), JournalState::Unstarted) << "a start never written";
    EXPECT_EQ(ParseJournal({"damaged"}, read), JournalState::Unreadable);
    auto newer = FormatJournalStart({"k", "s", {}});
    newer[0] = "Vantrel launch journal\t9\t" + newer[0].substr(newer[0].rfind('\t') + 1);
    EXPECT_EQ(ParseJournal(newer, read), JournalState::Unreadable) << "its checksum no longer holds";
}

TEST_F(LaunchJournalTest, ALaunchThatEndsLeavesNoJournal) {
    ASSERT_FALSE(LaunchDyingAt(0, [&] { EXPECT_NE(ProgramFolder().find(".journal"), std::string::npos); }));
    EXPECT_TRUE(messages.shown.empty());
    ExpectGamesAsBefore("after the launch");
    EXPECT_EQ(Recover(), "");
}

// The launcher dies after each step of the swap-in and of the restore, and once while the game runs;
// the next start puts the game folders back as they were and removes the journal.
TEST_F(LaunchJournalTest, NextStartPutsBackALaunchKilledAtAnyStep) {
    fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
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
    fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    for (int recoveryKilledAt = 1;; ++recoveryKilledAt) {
        LaunchKilledWhileTheGameRuns();
        bool died = false;
        {
            // The dead recovery's files close with it, as the system closes a killed process's.
            KillSwitch kill(recoveryKilledAt);
            test::KillingFileSystem files(machine.swapFiles(), kill);
            LaunchJournal journal = Journal(machine.textFiles());
            try {
                (void)RecoverInterruptedLaunch(journal, files, lock);
            } catch (const Killed&) {
                died = true;
                lock.held = false;
            }
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

// After a kill while the game ran, a copy the game changed is not the launch's to remove: it is set
// aside under a name the game does not load, the game's entry comes back, and every mod can be
// launched again.
TEST_F(LaunchJournalTest, ACopyTheGameChangedIsKeptAsideAndTheGamesEntryComesBack) {
    const std::vector<std::pair<std::string, std::function<void()>>> games = {
        {"patched in place", [&] { machine.Write("Games/ZH/Data/Readme.txt", "patched by the game"); }},
        {"replaced by a new file",
         [&] {
             fs::remove(machine.HostPath("Games/ZH/Data/Readme.txt"));
             machine.Write("Games/ZH/Data/Readme.txt", "patched by the game");
         }},
    };
    for (const auto& [name, game] : games) {
        LaunchKilledWhileTheGameRuns(game);
        const std::string report = Recover();
        EXPECT_NE(report.find("put back as they were"), std::string::npos) << name << ": " << report;
        EXPECT_NE(report.find("Readme.txt.vantrel-kept"), std::string::npos) << name << ": " << report;
        EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/Readme.txt.vantrel-kept")), "patched by the game");
        fs::remove(machine.HostPath("Games/ZH/Data/Readme.txt.vantrel-kept"));
        ExpectGamesAsBefore(name);
        EXPECT_FALSE(LaunchDyingAt(0)) << name << ": the mod can be launched again";
        EXPECT_TRUE(messages.shown.empty()) << name;
    }
}

// A journal that cannot be read is never acted on; the user is told which file it is and how to set
// it aside, after which launches go on.
TEST_F(LaunchJournalTest, ADamagedJournalIsNeverActedOnAndCanBeSetAside) {
    LaunchKilledWhileTheGameRuns();
    const std::string during = Games();
    const fs::path path = JournalFile();
    const std::string whole = test::ReadBytes(path);
    std::string changed = whole;
    changed[whole.size() / 3] ^= 1;
    for (const std::string& damaged : {changed, std::string(whole.size(), 'x'),
                                      std::string("Vantrel launch journal\t9\t#ffffffff\r\n")}) {
        test::WriteBytes(path, damaged);
        const std::string report = Recover();
        EXPECT_NE(report.find("left as they are"), std::string::npos) << report;
        EXPECT_NE(report.find(Journal(machine.textFiles()).Path()), std::string::npos) << report;
        EXPECT_NE(report.find("--set-aside-journal"), std::string::npos) << report;
        EXPECT_EQ(Games(), during);
        EXPECT_EQ(test::ReadBytes(path), damaged);
        EXPECT_FALSE(LaunchDyingAt(0));
        EXPECT_TRUE(test::ShowedLaunchFailure(messages, {"cannot be read"}));
        messages.shown.clear();
    }
    LaunchJournal journal = Journal(machine.textFiles());
    std::string error;
    const auto aside = SetAsideJournal(journal, machine.swapFiles(), "20261207-120000", error);
    ASSERT_TRUE(aside) << error;
    EXPECT_NE(aside->find("20261207-120000"), std::string::npos);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(Recover(), "");
    EXPECT_NE(ProgramFolder().find("20261207-120000"), std::string::npos) << "nothing of it is lost";
}

// After a power cut the steps not yet on disk are gone from the record. The start, made durable before
// anything changed, is enough to bring every game entry back; what cannot be proven the launch's own is
// set aside, never deleted.
TEST_F(LaunchJournalTest, AfterARestartTheDurableRecordAloneBringsTheGameEntriesBack) {
    class Restarted final : public test::ForwardingFileSystem {
    public:
        using ForwardingFileSystem::ForwardingFileSystem;
        bool IsSameSession(std::string_view) override { return false; }
    } restarted(machine.swapFiles());
    fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive);
    struct Case {
        std::int16_t pairs;
        std::string lastDurable; // the record up to the line that starts so is all that is left
        std::size_t kept;
    };
    // The plan alone; or, with a pair decided only as it began (it sets the pair before it aside),
    // that pair's durable start and all before it.
    for (const auto& c : {Case{4, "planned\t", 4}, Case{5, "begun\t4\t", 1}}) {
        values.Mods[0].nPairCount = c.pairs;
        LaunchKilledWhileTheGameRuns();
        const std::string whole = test::ReadBytes(JournalFile());
        const std::size_t durable = whole.find(c.lastDurable);
        ASSERT_NE(durable, std::string::npos);
        test::WriteBytes(JournalFile(), whole.substr(0, whole.find("\r\n", durable) + 2) + std::string(40, '\0'));
        const std::string report = Recover(&restarted);
        EXPECT_NE(report.find("put back as they were"), std::string::npos) << report;
        std::vector<fs::path> kept;
        for (const auto& entry : fs::recursive_directory_iterator(machine.HostPath("Games"))) {
            if (entry.path().filename().string().find(".vantrel-kept") != std::string::npos) {
                EXPECT_NE(report.find(entry.path().filename().string()), std::string::npos) << report;
                kept.push_back(entry.path());
            }
        }
        for (const auto& path : kept) {
            test::RemoveTree(path);
        }
        EXPECT_EQ(kept.size(), c.kept) << "what cannot be proven the launch's own is kept, never deleted";
        ExpectGamesAsBefore("after a restart, " + std::to_string(c.pairs) + " pairs");
        ResetGames();
    }
}

TEST_F(LaunchJournalTest, NothingIsTakenThatThePairsHadNotReached) {
    // Killed as the first pair's copy starts; then a file of the user's lands where a later pair
    // would have copied to.
    test::FaultyFileSystem killing(machine.swapFiles(), 3);
    killing.halfway = [](std::string_view) { throw Killed(); };
    EXPECT_TRUE(LaunchDyingAt(0, nullptr, &killing));
    machine.Write("Games/ZH/Data/INI/Readme.txt", "the user's own");
    const std::string report = Recover();
    EXPECT_NE(report.find("put back as they were"), std::string::npos) << report;
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/ZH/Data/INI/Readme.txt")), "the user's own");
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Games/Generals/Data/Maps/Alpine.map")), "game map");
}

TEST(LaunchJournalRecovery, LeavesRelativeTargetsAlone) {
    test::TestMachine machine;
    machine.Write("Data/Maps/Own.map", "the user's own");
    std::vector<PairRecord> pairs = {Planned("Data\\Maps", EntryKind::Folder)};
    pairs[0].step = PairStep::Copying;
    pairs[0].copy = machine.swapFiles().IdentityOf(machine.WindowsPath("Data\\Maps"));
    // A later start whose working folder holds a Data\Maps of its own.
    const fs::path working = fs::current_path();
    fs::current_path(machine.HostPath(""));
    const UndoReport report = UndoPairs(pairs, machine.swapFiles(), UndoMode::Recovery, nullptr);
    fs::current_path(working);
    EXPECT_FALSE(report.complete);
    EXPECT_EQ(test::ReadBytes(machine.HostPath("Data/Maps/Own.map")), "the user's own");
}

TEST_F(LaunchJournalTest, FolderPairsWithTheSameTargetAreRecovered) {
    test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"},
                                                        {"Mods/Example/Maps", "Games/Generals/Data"}}));
    LaunchKilledWhileTheGameRuns();
    EXPECT_EQ(Recover(), "A launch did not finish; the game folders were put back as they were.");
    ExpectGamesAsBefore("same-target folders");
}

// A restore that fails half way through deleting a copy (an I/O error), or dies there, leaves the
// pair on record as being undone; the next start finishes it.
TEST_F(LaunchJournalTest, AnInterruptedRestoreIsFinishedByTheNextStart) {
    for (int i = 0; i < 400; ++i) {
        machine.Write("Mods/Example/Maps/Many/" + std::to_string(i) + ".map", "many");
    }
    for (const bool dies : {false, true}) {
        // The first operation after the game ran is the removal of the newest pair's copy; the first
        // pair's copy (the Maps folder) is removed last.
        test::FaultyFileSystem faulty(machine.swapFiles(), 0);
        ASSERT_FALSE(LaunchDyingAt(0, nullptr, &faulty));
        const int restoreOfMaps = faulty.Operations() - 1;
        test::FaultyFileSystem failing(machine.swapFiles(), restoreOfMaps);
        failing.halfway = [&](std::string_view) {
            int removed = 0;
            for (const auto& entry : fs::directory_iterator(machine.HostPath("Games/Generals/Data/Maps/Many"))) {
                if (++removed % 2 == 0) {
                    fs::remove(entry.path());
                }
            }
            if (dies) {
                throw Killed();
            }
        };
        messages.shown.clear();
        EXPECT_EQ(LaunchDyingAt(0, nullptr, &failing), dies);
        if (!dies) {
            EXPECT_TRUE(test::ShowedLaunchFailure(messages, {"Maps\" could not be removed", "input/output error"}));
        }
        EXPECT_TRUE(fs::exists(machine.HostPath("Games/Generals/Data/Maps.original/Alpine.map")));
        const std::string report = Recover();
        EXPECT_EQ(report, "A launch did not finish; the game folders were put back as they were.") << dies;
        ExpectGamesAsBefore(dies ? "restore killed half way" : "restore failed half way");
    }
}

TEST_F(LaunchJournalTest, AModWithoutPairsNeedsNoRecord) {
    lock.heldElsewhere = true;
    values.Mods[0].nPairCount = 0;
    EXPECT_FALSE(LaunchDyingAt(0, [&] { EXPECT_EQ(ProgramFolder(), ""); }));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(runner.commands.size(), 1u);
}

// Refuses every new journal, as a full disk or a read-only folder would.
class FailingTextFiles final : public TextFiles {
public:
    explicit FailingTextFiles(TextFiles& inner) : inner_(inner) {}
    std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) override { return inner_.OpenForReading(path); }
    std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) override { return inner_.StartReplacing(path); }
    std::unique_ptr<TextFileAppender> StartAppending(std::string_view, bool, std::string& error) override {
        error = "no space left on the disk";
        return nullptr;
    }
    void RemoveLeftovers(std::string_view folder) override { inner_.RemoveLeftovers(folder); }

private:
    TextFiles& inner_;
};

TEST_F(LaunchJournalTest, ALaunchThatCannotBeRecordedDoesNotStart) {
    FailingTextFiles text(machine.textFiles());
    LaunchJournal journal = Journal(text);
    std::string command = "C:\\Games\\Generals\\generals.exe";
    EXPECT_FALSE(LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock}, command, 0));
    EXPECT_TRUE(test::ShowedLaunchFailure(messages, {machine.WindowsPath("Vantrel"), "no space left on the disk"}));
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(Games(), before);
    EXPECT_EQ(ProgramFolder(), "");
}

// Two Wine prefixes share one program folder: a launch killed in one is put back only there, and
// never touches the other's files, which may have the same paths.
TEST_F(LaunchJournalTest, RecoveryActsOnlyOnTheMachineThatLaunched) {
    class OtherMachine final : public test::ForwardingFileSystem {
    public:
        using ForwardingFileSystem::ForwardingFileSystem;
        std::string MachineName() override { return "another prefix"; }
    } other(machine.swapFiles());
    fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    for (const int killAt : {5, 7, 9}) {
        ASSERT_TRUE(LaunchDyingAt(killAt, nullptr, &other));
        const std::string during = Games();
        EXPECT_EQ(Recover(), "") << "this machine has no launch to finish";
        EXPECT_EQ(Games(), during);
        EXPECT_NE(Recover(&other), "");
        ExpectGamesAsBefore("put back on its own machine, killed at " + std::to_string(killAt));
        ResetGames();
    }
}

// Mods that exercise the corners of the swap: leftovers of earlier launches, nested and repeated
// targets, backup-named sources, letter case. Every launch, and a launch killed at every step, must
// end with each game entry back in place and nothing left on record.
TEST_F(LaunchJournalTest, TrickyModsSurviveAKillAtAnyStep) {
    struct Case {
        std::string name;
        std::function<void(test::TestMachine&)> setup;
        test::RelativePairs pairs;
    };
    const auto setAside = [](const char* entry) {
        return [entry](test::TestMachine& m) {
            fs::rename(m.HostPath(entry), m.HostPath(std::string(entry) + ".original"));
        };
    };
    const std::vector<Case> cases = {
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
        {"a link as the game's entry", [](test::TestMachine& m) {
             m.Write("Shared/GameData.ini", "shared data");
             fs::permissions(m.HostPath("Shared/GameData.ini"), fs::perms::owner_read);
             // Where the system makes links: the launch must never change what the link leads to.
             std::error_code linked;
             fs::rename(m.HostPath("Games/ZH/Data/INI/Weapon.ini"), m.HostPath("Games/ZH/Data/INI/Weapon.real"));
             fs::create_symlink(m.HostPath("Shared/GameData.ini"), m.HostPath("Games/ZH/Data/INI/Weapon.ini"), linked);
             if (linked) {
                 fs::rename(m.HostPath("Games/ZH/Data/INI/Weapon.real"), m.HostPath("Games/ZH/Data/INI/Weapon.ini"));
             }
             m.Write("Mods/Example/Weapon.ini", "mod weapon");
         },
         {{"Mods/Example/Weapon.ini", "Games/ZH/Data/INI"}}},
    };
    const std::vector<std::string> gameContents = {"game map", "game desert", "game data", "zh weapon", "zh readme"};
    for (const auto& c : cases) {
        test::RemoveTree(machine.HostPath("Games"));
        test::RemoveTree(snapshot.Path() / "Games");
        (void)Journal(machine.textFiles()).Remove();
        test::WriteExampleInstallation(machine);
        machine.Write("Games/ZH/Data/Readme.txt", "zh readme");
        c.setup(machine);
        fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive | fs::copy_options::copy_symlinks);
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
            // As before the launch, or as after a whole one (which also puts back an earlier leftover).
            const bool asBefore = after == test::AsBeforeALaunch(before, after);
            const bool asAfterALaunch = after == test::AsBeforeALaunch(afterLaunch, after);
            EXPECT_TRUE(asBefore || asAfterALaunch) << where << "\n" << after;
            EXPECT_EQ(Recover(), "") << where << " (a second start finds nothing left)";
        }
    }
}

// Backups that no record explains are never put in the place of what is there: the launch fails
// before anything changes and names the leftover.
TEST_F(LaunchJournalTest, UnexplainedBackupsStopTheLaunchBeforeAnythingChanges) {
    struct Case {
        std::string name;
        std::function<void()> setup;
        test::RelativePairs pairs;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"a live folder beside a stray backup of it, twice over",
         [&] {
             fs::rename(machine.HostPath("Games/Generals/Data/Maps"), machine.HostPath("Games/Generals/Data/Maps.original"));
             machine.Write("Games/Generals/Data/Maps/Left.map", "live");
         },
         {{"Mods/Example/Maps", "Games/Generals/Data"}, {"Mods/Example/Maps", "Games/Generals/Data"}},
         "Maps.original\" stands beside"},
        {"a backup of another kind", [&] { machine.Write("Games/Generals/Data/Maps.original", "some file"); },
         {{"Mods/Example/Maps", "Games/Generals/Data"}}, "Maps.original\" stands beside"},
        {"a file beside its stray backup",
         [&] {
             machine.Write("Games/ZH/Data/INI/Readme.txt", "game readme");
             machine.Write("Games/ZH/Data/INI/Readme.txt.original", "old");
         },
         {{"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}}, "Readme.txt.original\" stands beside"},
        {"a backup name that another pair places, in other letter case",
         [&] { machine.Write("Mods/X/Desert.original/Fake.map", "a mod's backup-named folder"); },
         {{"Mods/X/Desert.original", "Games/Generals/Data/Maps"}, {"Mods/Example/Maps/Desert", "Games/Generals/DATA/Maps"}},
         "its backup name"},
    };
    for (const auto& c : cases) {
        test::RemoveTree(machine.HostPath("Games"));
        test::WriteExampleInstallation(machine);
        c.setup();
        test::SetOnlyMod(values, test::ModOfPairs(machine, c.pairs));
        const std::string untouched = Games();
        messages.shown.clear();
        EXPECT_FALSE(LaunchDyingAt(0)) << c.name;
        EXPECT_TRUE(test::ShowedLaunchFailure(messages, {c.reason})) << c.name;
        EXPECT_TRUE(runner.commands.empty()) << c.name;
        EXPECT_EQ(Games(), untouched) << c.name;
        EXPECT_EQ(ProgramFolder(), "") << c.name << ": nothing on record";
    }
}

// What a launch could not put back stays on record; the next launch first finishes it, and is refused
// while it cannot, or while the record cannot be read.
TEST_F(LaunchJournalTest, ANewLaunchFirstFinishesWhatAnEarlierOneLeft) {
    test::FaultyFileSystem faulty(machine.swapFiles(), 0);
    ASSERT_FALSE(LaunchDyingAt(0, nullptr, &faulty));
    test::FaultyFileSystem failingLastRename(machine.swapFiles(), faulty.Operations());
    EXPECT_FALSE(LaunchDyingAt(0, nullptr, &failingLastRename));
    EXPECT_TRUE(test::ShowedLaunchFailure(messages, {"Maps.original\" could not be renamed back", "input/output error"}));
    EXPECT_TRUE(fs::exists(JournalFile()));
    messages.shown.clear();
    EXPECT_FALSE(LaunchDyingAt(0));
    ASSERT_EQ(messages.shown.size(), 1u) << "the user is told what was put back first";
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
    EXPECT_NE(messages.shown[0].text.find("put back as they were"), std::string::npos) << messages.shown[0].text;
    ExpectGamesAsBefore("the earlier launch's leftover put back first");

    // A record that cannot be read is never written over: the launch is refused.
    test::WriteBytes(JournalFile(), "damaged");
    messages.shown.clear();
    EXPECT_FALSE(LaunchDyingAt(0));
    EXPECT_TRUE(test::ShowedLaunchFailure(messages, {"cannot be read"}));
    EXPECT_EQ(test::ReadBytes(JournalFile()), "damaged");
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
