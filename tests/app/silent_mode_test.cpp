// The program itself in silent mode, against a throw-away Wine prefix and a stand-in for wine.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/wine/wine_instance_guard.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string standardError;
};

class SilentMode : public ::testing::Test {
protected:
    SilentMode() {
        machine.SetInstallFolders("C:\\Games\\Generals\\", "C:\\Games\\ZH\\");
        machine.Write("Games/Generals/generals.exe", "game");
        machine.Write("Games/Generals/Data/Maps/Alpine.map", "game map");
        machine.Write("Games/Generals/Data/INI/GameData.ini", "game data");
        fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                        fs::perm_options::remove);
        machine.Write("Mods/Example/Maps/Mod.map", "mod map");
        machine.Write("Mods/Example/GameData.ini", "mod data");
        machine.Write("Vantrel/Example.vtl",
                      "Location=C:\\Mods\\Example\\Example.big\r\n"
                      "[Folder]\r\nSource=C:\\Mods\\Example\\Maps\r\n"
                      "Destination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n"
                      "[Folder]\r\nSource=C:\\Mods\\Example\\GameData.ini\r\n"
                      "Destination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\\INI\r\n");
        fs::create_directories(machine.HostPath("WorkingFolder"));
        fs::create_directories(machine.HostPath("Runtime"));
    }

    Outcome Run(const std::vector<std::string>& arguments, const std::string& exitCode = "0",
                const std::string& killLauncher = "", const std::string& linger = "") {
        const fs::path errors = machine.HostPath("stderr.txt");
        std::vector<std::string> environment = {
            "WINEPREFIX=" + machine.MachineFolder().string(),
            "VANTREL_HOME=" + machine.HostPath("Vantrel").string(),
            "VANTREL_MESSAGES=stderr",
            "XDG_RUNTIME_DIR=" + machine.HostPath("Runtime").string(),
            std::string("WINE=") + VANTREL_FAKE_WINE,
            "FAKE_WINE_LOG=" + log.string(),
            "FAKE_WINE_GAME=" + machine.HostPath("Games/Generals").string(),
            "FAKE_WINE_EXIT=" + exitCode,
            "FAKE_WINE_KILL_LAUNCHER=" + killLauncher,
            "FAKE_WINE_LINGER=" + linger,
            "PATH=/usr/bin:/bin",
        };
        std::vector<std::string> argv = {VANTREL_EXECUTABLE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        const auto pointers = [](std::vector<std::string>& strings) {
            std::vector<char*> result;
            for (auto& text : strings) {
                result.push_back(text.data());
            }
            result.push_back(nullptr);
            return result;
        };
        auto args = pointers(argv);
        auto env = pointers(environment);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, machine.HostPath("WorkingFolder").c_str());
        pid_t child = 0;
        Outcome outcome;
        if (posix_spawn(&child, VANTREL_EXECUTABLE, &actions, nullptr, args.data(), env.data()) == 0) {
            int status = 0;
            waitpid(child, &status, 0);
            outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        outcome.standardError = test::ReadBytes(errors);
        return outcome;
    }

    std::string Game() const { return test::DescribeTree(machine.HostPath("Games/Generals")); }

    test::TestMachine machine;
    fs::path log = machine.HostPath("wine.log");
};

TEST_F(SilentMode, PlaysTheModAndLeavesTheGameAsItWas) {
    const std::string before = Game();
    const Outcome outcome = Run({"-silent", "Example"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
    EXPECT_EQ(outcome.standardError, "");
    const std::string seen = test::ReadBytes(log);
    EXPECT_NE(seen.find("cwd: " + machine.HostPath("WorkingFolder").string() + "\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("arg: C:\\Games\\Generals\\generals.exe\narg: -nologo\narg: -mod\narg: Example.big\n"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("./Data/Maps/Mod.map"), std::string::npos) << "the mod is in place while the game runs\n" << seen;
    EXPECT_NE(seen.find("./Data/Maps.original/Alpine.map"), std::string::npos) << seen;
    EXPECT_NE(seen.find("./Data/INI/GameData.ini.original"), std::string::npos) << seen;
    // The read-only game file comes back writable, as the launch clears its attributes.
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Game(), before);
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Vantrel")).find("journal"), std::string::npos);
}

TEST_F(SilentMode, NextStartPutsBackALaunchWhoseLauncherWasKilled) {
    const std::string before = Game();
    const Outcome killed = Run({"-SILENT", "Example"}, "0", "yes");
    EXPECT_EQ(killed.exitCode, -SIGKILL);
    EXPECT_TRUE(fs::exists(machine.HostPath("Games/Generals/Data/Maps.original")));
    EXPECT_TRUE(fs::exists(machine.HostPath("Vantrel/Vantrel launch.journal")));

    const Outcome next = Run({"-SILENT", "Missing"});
    EXPECT_EQ(next.exitCode, 0);
    EXPECT_EQ(next.standardError, "Vantrel: A launch did not finish; the game folders were put back as they were.\n");
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Game(), before);
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Vantrel")).find("journal"), std::string::npos);
}

TEST_F(SilentMode, NoRecoveryUnderAGameThatStillRuns) {
    const std::string before = Game();
    EXPECT_EQ(Run({"-SILENT", "Example"}, "0", "yes", "2").exitCode, -SIGKILL);
    // The launcher is gone, its game is not: the installation stays as the game needs it.
    const Outcome during = Run({"-SILENT", "Missing"});
    EXPECT_EQ(during.standardError, "");
    EXPECT_TRUE(fs::exists(machine.HostPath("Games/Generals/Data/Maps.original")));
    for (int wait = 0; wait < 100 && !fs::exists(log.string() + ".ended"); ++wait) {
        usleep(100 * 1000);
    }
    ASSERT_TRUE(fs::exists(log.string() + ".ended"));
    usleep(200 * 1000);
    const Outcome after = Run({"-SILENT", "Missing"});
    EXPECT_EQ(after.standardError, "Vantrel: A launch did not finish; the game folders were put back as they were.\n");
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Game(), before);
}

TEST_F(SilentMode, UnreadableModRunsThePlainGame) {
    const std::string before = Game();
    const Outcome outcome = Run({"-SILENT", "Missing"}, "3");
    EXPECT_EQ(outcome.exitCode, 0) << "the game's own exit code is not the launcher's";
    EXPECT_NE(test::ReadBytes(log).find("arg: C:\\Games\\Generals\\generals.exe\narg: -nologo\nfile: "), std::string::npos)
        << test::ReadBytes(log);
    EXPECT_EQ(Game(), before);
}

TEST_F(SilentMode, FailedLaunchIsReportedAndUndone) {
    machine.Write("Games/Generals/Data/INI/GameData.ini.original", "left by an earlier launch");
    const std::string before = Game();
    const Outcome outcome = Run({"-SILENT", "Example"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.standardError, "Vantrel: An error occurred whilst trying to launch the game!\n");
    EXPECT_FALSE(fs::exists(log)) << "the game is not started";
    // Attributes a launch clears are not put back, also when it is undone.
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Game(), before);
}

TEST_F(SilentMode, RefusedBesideAnOpenMainWindow) {
    WineInstanceGuard window((machine.HostPath("Runtime") / "vantrel.lock").string());
    ASSERT_TRUE(window.Acquire());
    const std::string before = Game();
    const Outcome outcome = Run({"-SILENT", "Example"});
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.standardError, "Vantrel: Another instance of the Vantrel is already running!\n");
    EXPECT_FALSE(fs::exists(log));
    EXPECT_EQ(Game(), before);
}

} // namespace
} // namespace vantrel
