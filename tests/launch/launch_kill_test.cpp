// Real deaths: a launch in a child process is killed with SIGKILL after each of its steps, and the
// next start, in this process, must put the game folders back as they were.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
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
        // The mod keeps its own user data, which a launch before this one made; a pair places a map
        // into it, as the game finds user maps there.
        test::WriteExampleUserData(machine);
        ModRecord mod = test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"},
                                                   {"Mods/Example/GameData.ini", "Games/Generals/Data/INI"},
                                                   {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"},
                                                   {"Mods/Example/Readme.txt", "Games/ZH/Data/INI"},
                                                   {"Mods/Example/Maps/Desert",
                                                    "Games/Documents/Command and Conquer Generals Data/Maps"}});
        mod.ownUserData = true;
        test::SetOnlyMod(values, std::move(mod));
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
            LaunchWithMod(values, {files, runner, messages, {}, &journal, &lock, {}, UserData()}, command, 0);
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }

    std::function<std::string(std::string_view)> UserData() const {
        return [this](std::string_view) { return machine.WindowsPath("Games\\Documents\\Command and Conquer Generals Data"); };
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

// A FAT or exFAT disk image, mounted by the kernel's driver or else, for exFAT, its FUSE driver (the
// FUSE driver for FAT loses a folder's content when it renames it), whose entry numbers last only as
// long as a mount: a game on a USB drive or an SD card.
class DiskImage {
public:
    DiskImage(std::string kind, const fs::path& folder)
        : kind_(std::move(kind)), image_(folder / (kind_ + ".img")), mountPoint_(folder / kind_) {}
    DiskImage(const DiskImage&) = delete;
    DiskImage& operator=(const DiskImage&) = delete;
    ~DiskImage() {
        Unmount();
        if (!device_.empty()) {
            (void)Run("losetup -d " + device_);
        }
    }

    // Makes and mounts the volume; false with the reason when this machine cannot.
    bool Make(std::string& why) {
        fs::create_directories(mountPoint_);
        if (!Run("truncate -s 64M " + image_.string()) || !Run("/usr/sbin/mkfs." + kind_ + " " + image_.string())) {
            why = kind_ + ": its formatter is not installed";
            return false;
        }
        if (!Mount()) {
            why = kind_ + ": this machine mounts no " + kind_ + " image";
            return false;
        }
        return true;
    }

    bool Mount() {
        if (!kernel_ && device_.empty()) {
            kernel_ = Run("mount -o loop -t " + kind_ + " " + image_.string() + " " + mountPoint_.string());
            if (!kernel_ && kind_ == "exfat" && fs::exists("/usr/sbin/mount.exfat-fuse")) {
                // The FUSE driver wants a block device.
                if (FILE* loop = popen(("losetup -f --show " + image_.string() + " 2>/dev/null").c_str(), "r")) {
                    char line[256] = {};
                    device_ = std::fgets(line, sizeof line, loop) ? std::string(line, std::strcspn(line, "\n")) : "";
                    pclose(loop);
                }
            }
            mounted_ = kernel_;
        }
        if (!mounted_ && kernel_) {
            mounted_ = Run("mount -o loop -t " + kind_ + " " + image_.string() + " " + mountPoint_.string());
        } else if (!mounted_ && !device_.empty()) {
            mounted_ = Run("mount.exfat-fuse " + device_ + " " + mountPoint_.string());
        }
        return mounted_;
    }

    void Unmount() {
        if (mounted_) {
            (void)Run("umount " + mountPoint_.string());
            mounted_ = false;
        }
    }

    [[nodiscard]] const fs::path& Root() const { return mountPoint_; }

private:
    static bool Run(const std::string& command) {
        return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
    }

    std::string kind_;
    fs::path image_;
    fs::path mountPoint_;
    std::string device_; // the loop device the FUSE driver mounts
    bool kernel_ = false;
    bool mounted_ = false;
};

// Files and folders only: these volumes keep no permissions.
void CopyContent(const fs::path& from, const fs::path& to) {
    for (const auto& entry : fs::recursive_directory_iterator(from)) {
        const fs::path there = to / entry.path().lexically_relative(from);
        if (entry.is_directory()) {
            fs::create_directories(there);
        } else {
            test::WriteBytes(there, test::ReadBytes(entry.path()));
        }
    }
}

// On a volume whose entry numbers change when it is mounted again, as between a launcher that died
// and the next start, the recovery still puts every entry back under its own name.
TEST_F(LaunchKill, EveryStepOnAVolumeWithoutLastingEntryNumbers) {
    std::string skipped;
    int tested = 0;
    for (const std::string kind : {"vfat", "exfat"}) {
        DiskImage volume(kind, snapshot.Path());
        std::string why;
        if (!volume.Make(why)) {
            skipped += why + "; ";
            continue;
        }
        ++tested;
        // The games move onto the volume, reached through a link as a drive's mount point is.
        CopyContent(machine.HostPath("Games"), volume.Root());
        test::RemoveTree(machine.HostPath("Games"));
        fs::create_directory_symlink(volume.Root(), machine.HostPath("Games"));
        const std::string onVolume = test::DescribeTree(volume.Root());
        const test::TempFolder copy;
        CopyContent(volume.Root(), copy.Path());
        int killPoints = 0;
        for (int killAt = 1;; ++killAt) {
            const bool died = LaunchInChildDyingAt(killAt);
            volume.Unmount();
            ASSERT_TRUE(volume.Mount()) << kind;
            if (!died) {
                break;
            }
            ++killPoints;
            const std::string report = Recover();
            EXPECT_EQ(test::DescribeTree(volume.Root()), onVolume) << kind << " killed at step " << killAt << ": " << report;
            EXPECT_EQ(test::DescribeTree(machine.HostPath("Vantrel")), "") << kind << ": no journal is left";
            for (const auto& entry : fs::directory_iterator(volume.Root())) {
                fs::remove_all(entry.path());
            }
            CopyContent(copy.Path(), volume.Root());
        }
        EXPECT_GT(killPoints, 15) << kind;
        fs::remove(machine.HostPath("Games"));
        CopyContent(copy.Path(), machine.HostPath("Games"));
    }
    if (tested == 0) {
        GTEST_SKIP() << skipped;
    }
    if (!skipped.empty()) {
        std::fprintf(stderr, "Not tested: %s\n", skipped.c_str());
    }
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
    EXPECT_FALSE(
        LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock, {}, UserData()}, command, 0));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(runner.commands.empty());
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Games")), untouched);
    running.Release();
    EXPECT_TRUE(
        LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock, {}, UserData()}, command, 0));
}

// Launched twice, a mod that keeps its own user data finds in place what the game wrote into it the
// time before, while the player's own folder is as it was each time; a game of the folder that runs
// already refuses the launch before anything changes.
TEST_F(LaunchKill, AModsOwnUserDataKeepsWhatTheGameWrote) {
    LaunchJournal journal(machine.textFiles(), machine.singleFiles(), machine.WindowsPath("Vantrel"),
                          machine.swapFiles().MachineName());
    WineLaunchLock lock{prefix};
    test::RecordingRunner runner;
    test::RecordingMessages messages;
    const fs::path userData = machine.HostPath("Games/Documents/Command and Conquer Generals Data");
    const std::string player = test::DescribeTree(userData);
    for (const std::string replay : {"First.rep", "Second.rep"}) {
        runner.whileRunning = [&] {
            EXPECT_EQ(test::ReadBytes(userData / "Options.ini"), "mod's options");
            EXPECT_TRUE(fs::exists(userData / "Maps/Own/Own.map") && fs::exists(userData / "Maps/Desert/Desert.map"));
            test::WriteBytes(userData / "Replays" / replay, "the game's replay");
        };
        std::string command = "C:\\Games\\Generals\\generals.exe";
        EXPECT_TRUE(LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock, {}, UserData()},
                                  command, 0));
        EXPECT_EQ(test::DescribeTree(userData), player) << replay;
    }
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Games/Documents/Command and Conquer Generals Data (Example)")),
              "Maps/\nMaps/Own/\nMaps/Own/Own.map mod's map\nOptions.ini mod's options\nReplays/\n"
              "Replays/First.rep the game's replay\nReplays/Second.rep the game's replay\n");
    runner.runningFolder = "C:\\Games\\Generals\\";
    runner.runningProgram = "game.dat";
    const std::string untouched = test::DescribeTree(machine.HostPath("Games"));
    std::string command = "C:\\Games\\Generals\\generals.exe";
    EXPECT_FALSE(LaunchWithMod(values, {machine.swapFiles(), runner, messages, {}, &journal, &lock, {}, UserData()},
                               command, -1));
    EXPECT_NE(messages.shown.back().text.find("\"game.dat\" of \"C:\\Games\\Generals\\\" is running already"),
              std::string::npos)
        << messages.shown.back().text;
    EXPECT_EQ(runner.commands.size(), 2u);
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Games")), untouched);
}

} // namespace
} // namespace vantrel
