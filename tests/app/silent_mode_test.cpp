// The program itself in silent mode, against a throw-away Wine prefix and a stand-in for wine.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
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
            messagesSetting,
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
    std::string messagesSetting = "VANTREL_MESSAGES=stderr";
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
    // A launch that goes well shows nothing, so it never needs the display: here one that cannot be reached.
    messagesSetting = "DISPLAY=:4093";
    EXPECT_EQ(Run({"-SILENT", "Example"}).exitCode, 0);
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Game(), before);
}

TEST_F(SilentMode, NextStartPutsBackALaunchWhoseLauncherWasKilled) {
    const std::string before = Game();
    const Outcome killed = Run({"-SILENT", "Example"}, "0", "yes");
    EXPECT_EQ(killed.exitCode, -SIGKILL);
    EXPECT_TRUE(fs::exists(machine.HostPath("Games/Generals/Data/Maps.original")));
    EXPECT_NE(test::DescribeTree(machine.HostPath("Vantrel")).find(".journal"), std::string::npos);

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

// Every failure is the launch failure message and one line that says why, and exit status 1.
TEST_F(SilentMode, FailedLaunchIsReportedWithItsReasonAndUndone) {
    struct Case {
        std::string name;
        std::function<void()> setup;
        std::string reason;
        bool gameStarts;
    };
    const std::string leftover = "Games/Generals/Data/INI/GameData.ini.original";
    const Case cases[] = {
        {"a stray backup beside a game file", [&] { machine.Write(leftover, "left by an earlier launch"); },
         "Vantrel: pair 2: \"C:\\Games\\Generals\\Data\\INI\\GameData.ini.original\" stands beside", false},
        {"the game's program is missing", [&] { fs::rename(machine.HostPath("Games/Generals/generals.exe"), machine.HostPath("moved.exe")); },
         "Vantrel: the game could not be started: C:\\Games\\Generals\\generals.exe was not found", false},
    };
    for (const auto& c : cases) {
        c.setup();
        const std::string before = Game();
        const Outcome outcome = Run({"-SILENT", "Example"});
        EXPECT_EQ(outcome.exitCode, 1) << c.name;
        EXPECT_TRUE(outcome.standardError.starts_with("Vantrel: An error occurred whilst trying to launch the game!\n" +
                                                      c.reason))
            << c.name << ": " << outcome.standardError;
        EXPECT_EQ(fs::exists(log), c.gameStarts) << c.name;
        // Attributes a launch clears are not put back, also when it is undone.
        fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                        fs::perm_options::remove);
        EXPECT_EQ(Game(), before) << c.name;
        fs::remove(machine.HostPath(leftover));
    }
}

TEST_F(SilentMode, ADamagedJournalIsShownAndSetAsideOnRequest) {
    EXPECT_EQ(Run({"-SILENT", "Example"}, "0", "yes").exitCode, -SIGKILL);
    const auto journal = [&] {
        for (const auto& entry : fs::directory_iterator(machine.HostPath("Vantrel"))) {
            if (entry.path().extension() == ".journal") {
                return entry.path();
            }
        }
        return fs::path();
    }();
    ASSERT_FALSE(journal.empty());
    std::string damaged = test::ReadBytes(journal);
    damaged[damaged.size() / 2] ^= 1;
    test::WriteBytes(journal, damaged);
    const Outcome refused = Run({"-SILENT", "Example"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.standardError.find("--set-aside-journal"), std::string::npos) << refused.standardError;
    const Outcome setAside = Run({"--set-aside-journal"});
    EXPECT_EQ(setAside.exitCode, 0) << setAside.standardError;
    EXPECT_NE(setAside.standardError.find("Vantrel launch journal"), std::string::npos) << "shows what it describes";
    EXPECT_NE(setAside.standardError.find("It was set aside as"), std::string::npos) << setAside.standardError;
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_EQ(Run({"-SILENT", "Missing"}).standardError, "");
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
