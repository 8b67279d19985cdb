// Real deaths: a launch in a child process is killed with SIGKILL after each of its steps, and the
// next start, in this process, must put the game folders back as they were.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "launch/launch_journal.h"
#include "platform/wine/wine_launch_lock.h"
#include "support/example_mods.h"
#include "support/killing_wrappers.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using test::KillSwitch;

class LaunchKill : public ::testing::Test {
protected:
    LaunchKill() {
        test::WriteExampleInstallation(machine);
        fs::create_directories(machine.HostPath("Vantrel"));
        test::SetOnlyMod(values, test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"},
                                                            {"Mods/Example/GameData.ini", "Games/Generals/Data/INI"},
                                                            {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"},
                                                            {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"}}));
        fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive);
        before = test::DescribeTree(machine.HostPath("Games"));
    }

    // Runs the launch in a child that SIGKILLs itself at step `killAt` (or while the game runs when
    // `inGame`); true when the child died that way.
    bool LaunchInChildDyingAt(int killAt, bool inGame = false) {
        const pid_t child = fork();
        if (child == 0) {
            KillSwitch kill(killAt, KillSwitch::Mode::Signal);
            test::KillingFileSystem files(machine.swapFiles(), kill);
            test::KillingTextFiles textFiles(machine.textFiles(), kill);
            LaunchJournal journal(textFiles, machine.singleFiles(), machine.WindowsPath("Vantrel"), files.MachineName());
            WineLaunchLock lock{prefix};
            test::RecordingRunner runner;
            if (inGame) {
                runner.whileRunning = [&] { kill.Kill(); };
            }
            test::RecordingMessages messages;
            std::string command = "C:\\Games\\Generals\\generals.exe";
            LaunchWithMod(values, {files, runner, messages, {}, &journal, &lock}, command, 0);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    std::string Recover() {
        LaunchJournal journal(machine.textFiles(), machine.singleFiles(), machine.WindowsPath("Vantrel"), machine.swapFiles().MachineName());
        WineLaunchLock lock{prefix};
        return RecoverInterruptedLaunch(journal, machine.swapFiles(), lock);
    }

    void ExpectAsBefore(const std::string& where) {
        const std::string after = test::DescribeTree(machine.HostPath("Games"));
        EXPECT_EQ(after, test::AsBeforeALaunch(before, after)) << where;
        EXPECT_EQ(test::DescribeTree(machine.HostPath("Vantrel")), "") << where << ": no journal or temporary file";
        test::RemoveTree(machine.HostPath("Games"));
        fs::copy(snapshot.Path() / "Games", machine.HostPath("Games"), fs::copy_options::recursive);
    }

    test::TestMachine machine;
    WinePrefix prefix{machine.MachineFolder().string()};
    test::TempFolder snapshot;
    ProgramValues values;
    std::string before;
};

TEST_F(LaunchKill, EveryStepOfTheSwapInAndTheRestore) {
    int killPoints = 0;
    for (int killAt = 1;; ++killAt) {
        if (!LaunchInChildDyingAt(killAt)) {
            break; // the launch ran to its end before this step
        }
        ++killPoints;
        const std::string report = Recover();
        ExpectAsBefore("killed at step " + std::to_string(killAt) + ": " + report);
    }
    EXPECT_GT(killPoints, 15);
    ASSERT_TRUE(LaunchInChildDyingAt(0, true));
    EXPECT_EQ(Recover(), "A launch did not finish; the game folders were put back as they were.");
    ExpectAsBefore("killed while the game ran");
}

TEST_F(LaunchKill, EveryStepOfTheRecovery) {
    for (int killAt = 1;; ++killAt) {
        ASSERT_TRUE(LaunchInChildDyingAt(0, true));
        const pid_t child = fork();
        if (child == 0) {
            KillSwitch kill(killAt, KillSwitch::Mode::Signal);
            test::KillingFileSystem files(machine.swapFiles(), kill);
            LaunchJournal journal(machine.textFiles(), machine.singleFiles(), machine.WindowsPath("Vantrel"), machine.swapFiles().MachineName());
            WineLaunchLock lock{prefix};
            (void)RecoverInterruptedLaunch(journal, files, lock);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        const bool died = WIFSIGNALED(status);
        (void)Recover();
        ExpectAsBefore("recovery killed at step " + std::to_string(killAt));
        if (!died) {
            EXPECT_GT(killAt, 5);
            break;
        }
    }
}

TEST_F(LaunchKill, ASecondLauncherIsRefusedWhileALaunchRuns) {
    WineLaunchLock running{prefix};
    ASSERT_TRUE(running.TryAcquire(machine.WindowsPath("Vantrel")));
    LaunchJournal journal(machine.textFiles(), machine.singleFiles(), machine.WindowsPath("Vantrel"), machine.swapFiles().MachineName());
    WineLaunchLock lock{prefix};
    test::RecordingRunner runner;
    test::RecordingMessages messages;
    std::string command = "C:\\Games\\Generals\\generals.exe";
    const std::string untouched = test::DescribeTree(machine.HostPath("Games"));
    EXPECT_FALSE(LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock}, command, 0));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Games")), untouched);
    running.Release();
    EXPECT_TRUE(LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock}, command, 0));
}

} // namespace
} // namespace vantrel
