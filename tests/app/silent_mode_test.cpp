// The program itself in silent mode, against a throw-away Wine prefix and a stand-in for wine.
#include <gmock/gmock.h>
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
    std::string standardError; // without the line on how the game ended
    std::string gameEnded;     // that line: the stand-in always ends within a few seconds
    std::string standardOutput;
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
        // "NAME=value" sets a variable, a bare name removes it.
        for (const auto& change : environmentChanges) {
            const std::string name = change.substr(0, change.find('=')) + "=";
            std::erase_if(environment, [&](const std::string& setting) { return setting.starts_with(name); });
            if (change.find('=') != std::string::npos) {
                environment.push_back(change);
            }
        }
        std::string executable = VANTREL_EXECUTABLE;
        std::vector<std::string> argv;
        if (installed.empty()) {
            environment.push_back("VANTREL_HOME=" + machine.HostPath("Vantrel").string());
        } else {
            // No VANTREL_HOME: the program's own folder, mounted read-only in a mount namespace of the
            // launcher's own, as an installed program's is.
            for (const char* variable : {"HOME=Home", "XDG_DATA_HOME=Data", "XDG_STATE_HOME=State"}) {
                const std::string setting = variable;
                const std::size_t equals = setting.find('=');
                environment.push_back(setting.substr(0, equals + 1) +
                                      machine.HostPath(setting.substr(equals + 1)).string());
            }
            argv = {kUnshare, "-m", "--propagation", "private", "/bin/sh", "-c",
                    "mount --bind \"$1\" \"$1\" && mount -o remount,ro,bind \"$1\" && shift && "
                    "exec \"$0\" \"$@\"",
                    installed.string() + "/vantrel", installed.string()};
            executable = kUnshare;
        }
        if (argv.empty()) {
            argv = {executable};
        }
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
        const fs::path output = machine.HostPath("stdout.txt");
        posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, machine.HostPath("WorkingFolder").c_str());
        pid_t child = 0;
        Outcome outcome;
        if (posix_spawn(&child, executable.c_str(), &actions, nullptr, args.data(), env.data()) == 0) {
            int status = 0;
            waitpid(child, &status, 0);
            outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        outcome.standardError = test::ReadBytes(errors);
        outcome.standardOutput = test::ReadBytes(output);
        if (const std::size_t at = outcome.standardError.find("The game ended after "); at != std::string::npos) {
            const std::size_t end = outcome.standardError.find('\n', at) + 1;
            outcome.gameEnded = outcome.standardError.substr(at, end - at);
            outcome.standardError.erase(at, end - at);
        }
        return outcome;
    }

    std::string Game() const { return test::DescribeTree(machine.HostPath("Games/Generals")); }

    // Makes the program an installed one in `folder`, holding a copy of the launcher; false when this
    // process may not mount a folder read-only in a namespace of its own.
    bool Install(const fs::path& folder) {
        if (system((std::string(kUnshare) + " -m --propagation private /bin/true 2>/dev/null").c_str()) != 0) {
            return false;
        }
        fs::create_directories(folder);
        fs::copy_file(VANTREL_EXECUTABLE, folder / "vantrel");
        installed = folder;
        return true;
    }

    static constexpr const char* kUnshare = "/usr/bin/unshare";
    test::TestMachine machine;
    fs::path log = machine.HostPath("wine.log");
    std::string messagesSetting = "VANTREL_MESSAGES=stderr";
    fs::path installed; // the read-only program folder; empty for the launcher as built, with VANTREL_HOME
    std::vector<std::string> environmentChanges;
};

TEST_F(SilentMode, PlaysTheModAndLeavesTheGameAsItWas) {
    // The stand-in leaves the store's game.dat behind for half a second, as a store's stub does.
    fs::copy_file("/bin/sh", machine.HostPath("Games/Generals/game.dat"));
    const std::string before = Game();
    environmentChanges = {"FAKE_WINE_LEAVE=0.5",
                          "FAKE_WINE_LEAVE_SHELL=" + machine.HostPath("Games/Generals/game.dat").string()};
    const Outcome outcome = Run({"-silent", "Example"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
    EXPECT_EQ(outcome.standardError, "");
    EXPECT_THAT(outcome.gameEnded, ::testing::MatchesRegex("The game ended after [0-9]\\.[0-9] s; the game folder was put back\\.\n"));
    const std::string seen = test::ReadBytes(log);
    EXPECT_NE(seen.find("cwd: " + machine.HostPath("WorkingFolder").string() + "\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("arg: C:\\Games\\Generals\\generals.exe\narg: -nologo\narg: -mod\narg: C:\\Mods\\Example\\Example.big\n"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("./Data/Maps/Mod.map"), std::string::npos) << "the mod is in place while the game runs\n" << seen;
    EXPECT_NE(seen.find("./Data/Maps.original/Alpine.map"), std::string::npos) << seen;
    EXPECT_NE(seen.find("./Data/INI/GameData.ini.original"), std::string::npos) << seen;
    EXPECT_TRUE(seen.find("left saw: ./Data/Maps/Mod.map\n") != std::string::npos && seen.ends_with("left ended\n"))
        << "the game a stub left behind finds the mod in place, and the restore waits for it\n" << seen;
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

// Steam's Stop or a terminal's Ctrl+C reaches the launcher too: the game ends, and the launcher still
// puts the folders back before it ends.
TEST_F(SilentMode, AStopRequestEndsTheGameButNotTheRestore) {
    const std::string before = Game();
    for (const char* signal : {"TERM", "INT", "HUP"}) {
        EXPECT_EQ(Run({"-SILENT", "Example"}, "0", signal).exitCode, 0) << signal;
        fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                        fs::perm_options::remove);
        EXPECT_EQ(Game(), before) << signal;
        EXPECT_EQ(test::DescribeTree(machine.HostPath("Vantrel")).find("journal"), std::string::npos) << signal;
    }
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

// A mod that keeps its own user data plays with it in the place of the player's, in the prefix's
// Documents: it starts with the player's settings, keeps them, and the player's folder is as it was.
TEST_F(SilentMode, AModPlaysWithItsOwnUserData) {
    const std::string player = "users/steamuser/Documents/Command and Conquer Generals Data";
    machine.Write(player + "/Options.ini", "player's options");
    machine.Write(player + "/Replays/Mine.rep", "player's replay");
    machine.Write("Vantrel/Own.vtl", "Location=C:\\Mods\\Example\\Example.big\r\nUserData=Own\r\n");
    const std::string before = test::DescribeTree(machine.HostPath(player));
    environmentChanges = {"USER", "FAKE_WINE_GAME=" + machine.HostPath(player).string()};
    const Outcome outcome = Run({"-SILENT", "Own"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
    const std::string seen = test::ReadBytes(log);
    EXPECT_NE(seen.find("./Options.ini\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("Mine.rep"), std::string::npos) << "the player's replays are not the mod's\n" << seen;
    EXPECT_EQ(test::DescribeTree(machine.HostPath(player)), before);
    EXPECT_EQ(test::DescribeTree(machine.HostPath(player + " (Own)")), "Options.ini player's options\n");
}

TEST_F(SilentMode, AShortcutPlaysTheModWithItsGameAndSwitches) {
    const std::string before = Game();
    const Outcome played = Run({"--play", "Example", "--game", "generals", "--switches", "-win  -nologo"});
    EXPECT_EQ(played.exitCode, 0) << played.standardError;
    const std::string seen = test::ReadBytes(log);
    EXPECT_NE(seen.find("arg: C:\\Games\\Generals\\generals.exe\narg: -win\narg: -nologo\narg: -mod\n"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("./Data/Maps/Mod.map"), std::string::npos) << seen;
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Game(), before);
    // Refused before anything changes: the game is never started.
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--play", "Example", "--game", "quake"}, "unknown game quake"},
        {{"--play", "Example"}, "--game is needed"},
        {{"--play", "Example", "--game", "generals", "--switches", "-win -quickstart"}, "unknown switch -quickstart"},
        {{"--play", "Missing", "--game", "generals"}, "There is no mod named Missing"},
        {{"--play", "..\\Example", "--game", "generals"}, "There is no mod named"},
    };
    for (const auto& [arguments, said] : refused) {
        fs::remove(log);
        const Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.exitCode, 1) << said;
        EXPECT_NE(outcome.standardError.find(said), std::string::npos) << outcome.standardError;
        EXPECT_FALSE(fs::exists(log)) << said;
        EXPECT_EQ(Game(), before) << said;
    }
}

TEST_F(SilentMode, ImportsADownloadedModFromTheCommandLine) {
    machine.Write("Downloads/Cool Mod v2/!Cool.gib", "big");
    const std::string zip = machine.HostPath("Downloads/Cool Mod v2.zip").string();
    ASSERT_EQ(system(("cd '" + machine.HostPath("Downloads/Cool Mod v2").string() + "' && zip -qr '" + zip + "' .").c_str()),
              0);
    const Outcome imported = Run({"--import", zip, "--game", "generals"});
    EXPECT_EQ(imported.exitCode, 0) << imported.standardError;
    EXPECT_TRUE(imported.standardOutput.ends_with("\nCool Mod\n")) << imported.standardOutput;
    EXPECT_EQ(machine.Read("Vantrel/Mods/Cool Mod/!Cool.big"), "big");
    EXPECT_NE(machine.Read("Vantrel/Cool Mod.vtl").find("Source=C:\\Vantrel\\Mods\\Cool Mod\\!Cool.big"),
              std::string::npos);
    const std::string before = test::DescribeTree(machine.HostPath("Vantrel"));
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--import", zip, "--game", "generals"}, "A mod named \"Cool Mod\" exists already"},
        {{"--import", zip, "--game", "quake"}, "unknown game quake"},
        {{"--import", zip, "--name", "Other", "--name", "Third"}, "--name is given twice"},
        {{"--import"}, "needs the archive or folder"},
        {{"--import", machine.HostPath("Downloads/Missing.zip").string()}, "There is no file or folder"},
    };
    for (const auto& [arguments, said] : refused) {
        const Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.exitCode, 1) << said;
        EXPECT_NE(outcome.standardError.find(said), std::string::npos) << outcome.standardError;
        EXPECT_EQ(test::DescribeTree(machine.HostPath("Vantrel")), before) << said;
    }
}

TEST_F(SilentMode, UnreadableModRunsThePlainGame) {
    const std::string before = Game();
    const Outcome outcome = Run({"-SILENT", "Missing"}, "3");
    EXPECT_EQ(outcome.exitCode, 0) << "the game's own exit code is not the launcher's";
    EXPECT_THAT(outcome.gameEnded, ::testing::MatchesRegex("The game ended after [0-9]\\.[0-9] s with exit code 3\\.\n"));
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

// Makes a stand-in for another launcher's Wine build at `path`: it says which it is, then runs as wine.
void PlaceLauncherWine(const fs::path& path, const std::string& name) {
    test::WriteBytes(path, "#!/bin/sh\necho \"runner: " + name + "\" >>\"$FAKE_WINE_LOG\"\nexec " +
                               VANTREL_FAKE_WINE + " \"$@\"\n");
    fs::permissions(path, fs::perms::owner_all);
}

// Without WINEPREFIX, the games are played in the prefix another launcher made for them, with its Wine,
// or in the one the player chose among several; a prefix named by WINEPREFIX is the only one.
TEST_F(SilentMode, PlaysOnTheMachineAnotherLauncherMadeOrThePlayerChose) {
    const fs::path home = machine.MachineFolder().parent_path() / "home";
    const fs::path bottle = home / ".local/share/bottles/bottles/Generals";
    fs::create_directories(bottle.parent_path());
    fs::copy(machine.MachineFolder(), bottle, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    test::WriteBytes(home / ".local/share/lutris/games/command-conquer-generals-1700000000.yml",
                     "game:\n  exe: " + machine.HostPath("Games/Generals/generals.exe").string() +
                         "\n  prefix: " + machine.MachineFolder().string() + "\nwine:\n  version: lutris-test\n");
    PlaceLauncherWine(home / ".local/share/lutris/runners/wine/lutris-test/bin/wine", "lutris");
    test::WriteBytes(bottle / "bottle.yml", "Name: Generals\nRunner: bottles-test\nPath: Generals\nCustom_Path: false\n");
    const fs::path bottlesWine = home / ".local/share/bottles/runners/bottles-test/bin/wine";
    PlaceLauncherWine(bottlesWine, "bottles");
    const std::string before = Game();
    const std::string inBottle = test::DescribeTree(bottle / "drive_c/Games/Generals");
    const struct {
        std::string chosen;               // what the player chose last
        std::vector<std::string> shortcut; // what a shortcut's command sets; empty: none of it
        std::string runner;               // the "runner:" line of the Wine build used; empty for $WINE
        fs::path prefix;
    } cases[] = {
        {"", {}, "lutris", machine.MachineFolder()},
        {bottle.string(), {}, "bottles", bottle},
        {"/gone/prefix", {}, "lutris", machine.MachineFolder()},
        // A shortcut keeps the machine it was made on, whatever was chosen since.
        {bottle.string(), {"WINEPREFIX=" + machine.MachineFolder().string(), "WINE=" VANTREL_FAKE_WINE}, "",
         machine.MachineFolder()},
        {"", {"WINEPREFIX=" + bottle.string(), "VANTREL_PREFIX_WINE=" + bottlesWine.string()}, "bottles", bottle},
    };
    for (const auto& [chosen, shortcut, runner, prefix] : cases) {
        SCOPED_TRACE(chosen + (shortcut.empty() ? "" : " from a shortcut"));
        fs::remove(log);
        test::WriteBytes(home / ".config/vantrel/machine", chosen + "\n");
        environmentChanges = {"HOME=" + home.string(), "WINEPREFIX", "WINE"};
        environmentChanges.insert(environmentChanges.end(), shortcut.begin(), shortcut.end());
        const Outcome outcome = Run({"-SILENT", "Example"});
        EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
        const std::string seen = test::ReadBytes(log);
        EXPECT_EQ(seen.starts_with("runner: "), !runner.empty()) << seen;
        EXPECT_NE(seen.find((runner.empty() ? "" : "runner: " + runner + "\n") + "prefix: " + prefix.string() + "\n"),
                  std::string::npos)
            << seen;
        EXPECT_NE(seen.find("arg: -mod"), std::string::npos) << seen;
    }
    // A launch in the bottle whose launcher was killed is told of on the other machine, and put back
    // on its own.
    environmentChanges = {"HOME=" + home.string(), "WINEPREFIX", "WINE"};
    test::WriteBytes(home / ".config/vantrel/machine", bottle.string() + "\n");
    EXPECT_EQ(Run({"-SILENT", "Example"}, "0", "yes").exitCode, -SIGKILL);
    test::WriteBytes(home / ".config/vantrel/machine", "\n");
    EXPECT_NE(Run({"-SILENT", "Missing"}).standardError.find("A launch on Bottles: Generals did not finish"),
              std::string::npos);
    test::WriteBytes(home / ".config/vantrel/machine", bottle.string() + "\n");
    EXPECT_NE(Run({"-SILENT", "Missing"}).standardError.find("A launch did not finish; the game folders were put back"),
              std::string::npos);
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    fs::permissions(bottle / "drive_c/Games/Generals/Data/INI/GameData.ini", fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(Game(), before);
    EXPECT_EQ(test::DescribeTree(bottle / "drive_c/Games/Generals"), inBottle);
}

// The stand-in for Proton's launcher at `relative` on the machine's disk; its host path.
std::string PlaceProton(const test::TestMachine& machine, const std::string& relative) {
    const fs::path proton = machine.HostPath(relative);
    fs::create_directories(proton.parent_path());
    fs::copy_file(VANTREL_FAKE_PROTON, proton);
    fs::permissions(proton, fs::perms::owner_all);
    return proton.string();
}

// Generals found only in a Steam library, the Proton Steam maps it to there: silent mode starts it
// through that Proton, with the mod in place while it runs.
TEST_F(SilentMode, StartsASteamGameThroughItsProton) {
    machine.SetInstallFolders("", "");
    const std::string steam = machine.HostPath("home/.steam/steam").string();
    machine.Write("home/.steam/steam/steamapps/libraryfolders.vdf",
                  "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"" + steam + "\"\n\t}\n}\n");
    machine.Write("home/.steam/steam/steamapps/appmanifest_2229870.acf",
                  "\"AppState\"\n{\n\t\"appid\"\t\t\"2229870\"\n\t\"name\"\t\t\"Command & Conquer Generals\"\n"
                  "\t\"installdir\"\t\t\"Generals\"\n}\n");
    machine.Write("home/.steam/steam/config/config.vdf",
                  "\"InstallConfigStore\" { \"Software\" { \"Valve\" { \"Steam\" { \"CompatToolMapping\" {"
                  " \"2229870\" { \"name\" \"proton_9\" \"config\" \"\" \"priority\" \"250\" } } } } } }\n");
    PlaceProton(machine, "home/.steam/steam/steamapps/common/Proton 9.0/proton");
    const std::string game = steam + "/steamapps/common/Generals";
    fs::create_directories(game);
    fs::copy(machine.HostPath("Games/Generals"), game, fs::copy_options::recursive);
    const std::string before = test::DescribeTree(game);
    const fs::path protonLog = machine.HostPath("proton.log");
    environmentChanges = {"HOME=" + machine.HostPath("home").string(), "FAKE_PROTON_LOG=" + protonLog.string(), "WINE"};

    const Outcome outcome = Run({"-SILENT", "Example"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.standardError;
    EXPECT_EQ(outcome.standardError, "");
    const std::string seen = test::ReadBytes(protonLog);
    EXPECT_TRUE(seen.starts_with("STEAM_COMPAT_DATA_PATH: " + steam + "/steamapps/compatdata/2229870\n"
                                 "STEAM_COMPAT_CLIENT_INSTALL_PATH: " + steam + "\nSteamAppId: 2229870\n"
                                 "WINEPREFIX: (unset)\narg: waitforexitandrun\narg: " + game +
                                 "/generals.exe\narg: -nologo\narg: -mod\narg: C:\\Mods\\Example\\Example.big\n"))
        << seen;
    EXPECT_NE(seen.find("file: ./Data/Maps/Mod.map\n"), std::string::npos) << "the mod is in place while it runs\n" << seen;
    EXPECT_FALSE(fs::exists(log)) << "wine itself is not started";
    fs::permissions(game + "/Data/INI/GameData.ini", fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(test::DescribeTree(game), before);
}

// Steam starts the launcher from the game's launch options with the game's own command after "--":
// the mod goes into that game's folder, the command runs as given with "-mod <file>" appended, and
// a command or a mod that cannot be played is refused before anything changes.
TEST_F(SilentMode, PlaysAModFromSteamsLaunchOptions) {
    const std::string proton = PlaceProton(machine, "Steam/steamapps/common/Proton 9.0/proton");
    const std::string program = machine.HostPath("Games/Generals/generals.exe").string();
    machine.Write("Other/generals.exe", "another copy");
    const fs::path protonLog = machine.HostPath("proton.log");
    environmentChanges = {"FAKE_PROTON_LOG=" + protonLog.string(),
                          "STEAM_COMPAT_DATA_PATH=" + machine.HostPath("compatdata/2229870").string()};
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        std::string reason; // empty when the game runs
    };
    const Case cases[] = {
        {"Proton's command", {"--play", "Example", "--", proton, "waitforexitandrun", program, "-win"}, ""},
        {"a mod that does not exist", {"--play", "Missing", "--", proton, "waitforexitandrun", program},
         "there is no mod \"Missing\" in "},
        {"a program of no game's folder",
         {"--play", "Example", "--", proton, "waitforexitandrun", machine.HostPath("Other/generals.exe").string()},
         "the command Steam gave runs \"" + machine.HostPath("Other/generals.exe").string() +
             "\", which is no game of C:\\Games\\Generals\\ or C:\\Games\\ZH\\"},
    };
    for (const auto& c : cases) {
        fs::remove(protonLog);
        const std::string before = Game();
        const Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.exitCode, c.reason.empty() ? 0 : 1) << c.name << ": " << outcome.standardError;
        const std::string seen = test::ReadBytes(protonLog);
        if (c.reason.empty()) {
            EXPECT_EQ(outcome.standardError, "") << c.name;
            EXPECT_TRUE(seen.starts_with("STEAM_COMPAT_DATA_PATH: " + machine.HostPath("compatdata/2229870").string() +
                                         "\n"))
                << c.name << ": Steam's own environment is passed on\n" << seen;
            EXPECT_NE(seen.find("arg: waitforexitandrun\narg: " + program + "\narg: -win\narg: -mod\narg: C:\\Mods\\Example\\Example.big\n"
                                "file: "),
                      std::string::npos)
                << c.name << "\n" << seen;
            EXPECT_NE(seen.find("file: ./Data/Maps/Mod.map\n"), std::string::npos) << c.name << "\n" << seen;
        } else {
            EXPECT_TRUE(outcome.standardError.starts_with("Vantrel: An error occurred whilst trying to launch the game!\n"
                                                          "Vantrel: " + c.reason))
                << c.name << ": " << outcome.standardError;
            EXPECT_EQ(seen, "") << c.name << ": nothing runs";
        }
        EXPECT_FALSE(fs::exists(log)) << c.name << ": wine itself is not started";
        fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                        fs::perm_options::remove);
        EXPECT_EQ(Game(), before) << c.name;
    }
}

bool HoldsJournal(const fs::path& folder) {
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(folder, missing)) {
        if (entry.path().extension() == ".journal") {
            return true;
        }
    }
    return false;
}

// An installed program's folder cannot be written: the journal goes beside definitions the user can
// write, else into the user's state folder, and a launch killed there is still put back.
TEST_F(SilentMode, AReadOnlyProgramFolderNeitherFailsALaunchNorLosesItsJournal) {
    struct Case {
        std::string name;
        std::string definitions; // where Example.vtl lies
        std::string journal;     // where the launch keeps its journal
    };
    const Case cases[] = {
        {"definitions beside the program", "Program", "State/vantrel"},
        {"definitions in the user's data folder", "Data/vantrel", "Data/vantrel"},
    };
    if (!Install(machine.HostPath("Program"))) {
        GTEST_SKIP() << "this process may not mount the program folder read-only (unshare -m is refused)";
    }
    const std::string definition = machine.Read("Vantrel/Example.vtl");
    for (const auto& c : cases) {
        fs::remove(machine.HostPath("Program/Example.vtl"));
        test::RemoveTree(machine.HostPath("Data"));
        test::RemoveTree(machine.HostPath("State"));
        machine.Write(c.definitions + "/Example.vtl", definition);
        const std::string before = Game();

        const Outcome played = Run({"-SILENT", "Example"});
        EXPECT_EQ(played.exitCode, 0) << c.name << ": " << played.standardError;
        EXPECT_EQ(played.standardError, "") << c.name;
        EXPECT_NE(test::ReadBytes(log).find("./Data/Maps/Mod.map"), std::string::npos) << c.name;
        fs::remove(log);

        EXPECT_EQ(Run({"-SILENT", "Example"}, "0", "yes").exitCode, -SIGKILL) << c.name;
        EXPECT_TRUE(HoldsJournal(machine.HostPath(c.journal))) << c.name;
        EXPECT_FALSE(HoldsJournal(machine.HostPath("Program"))) << c.name;
        const Outcome next = Run({"-SILENT", "Missing"});
        EXPECT_EQ(next.standardError,
                  "Vantrel: A launch did not finish; the game folders were put back as they were.\n")
            << c.name;
        EXPECT_FALSE(HoldsJournal(machine.HostPath(c.journal))) << c.name;
        fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                        fs::perm_options::remove);
        EXPECT_EQ(Game(), before) << c.name;
        fs::remove(log);
    }
}

} // namespace
} // namespace vantrel
