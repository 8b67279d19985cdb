#include "platform/wine/wine_process_runner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/temp_folder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

class WineRunner : public ::testing::Test {
protected:
    WineRunner() {
        fs::create_directories(folder.Path() / "prefix/dosdevices");
        fs::create_directory_symlink("../drive_c", folder.Path() / "prefix/dosdevices/c:");
        test::WriteBytes(Host("Program Files/EA Games/Generals/generals.exe"), "exe");
        test::WriteBytes(Host("Program Files/EA Games/Generals/worldbuilder.exe"), "exe");
        test::WriteBytes(Host("Program.exe"), "planted where Windows' search for an unquoted line looks first");
        test::WriteBytes(Host("Games/Command.exe"), "planted");
        test::WriteBytes(Host("Games/Command and Conquer/generals.exe"), "exe");
        test::WriteBytes(Host("Games/ZH/generals.exe"), "exe");
        test::WriteBytes(Host("Games/Tool"), "no extension, never tried as is");
        log = folder.Path() / "wine.log";
        setenv("WINE", VANTREL_FAKE_WINE, 1);
        setenv("FAKE_WINE_LOG", log.c_str(), 1);
        for (const char* variable : {"FAKE_WINE_GAME", "FAKE_WINE_EXIT", "FAKE_WINE_LEAVE", "FAKE_WINE_LEAVE_SHELL",
                                     "FAKE_WINE_HOUSEKEEPING", "FAKE_WINE_KILL_KEEPER", "FAKE_WINE_LINGER",
                                     "VANTREL_GAME_START_WAIT"}) {
            unsetenv(variable);
        }
    }
    ~WineRunner() override {
        // Nothing the stand-in left behind outlives the test.
        for (const char* list : {".left", ".housekeeping"}) {
            for (const pid_t pid : PidsIn(log.string() + list)) {
                kill(pid, SIGKILL);
            }
        }
        unsetenv("WINE");
    }

    static std::vector<pid_t> PidsIn(const fs::path& file) {
        std::vector<pid_t> pids;
        std::ifstream list(file);
        for (pid_t pid = 0; list >> pid;) {
            pids.push_back(pid);
        }
        return pids;
    }

    fs::path Host(const std::string& relative) const { return folder.Path() / "prefix/drive_c" / relative; }

    test::TempFolder folder;
    WinePrefix prefix{(folder.Path() / "prefix").string()};
    WineProcessRunner runner{prefix};
    fs::path log;
};

TEST_F(WineRunner, FindsTheProgramAsWindowsDoesForAnUnquotedLine) {
    struct Case {
        std::string line;
        std::optional<std::string> program;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"C:\\Games\\ZH\\generals.exe -win -mod X.big", "C:\\Games\\ZH\\generals.exe", {"-win", "-mod", "X.big"}},
        {"C:\\Games\\ZH\\generals.exe -nologo  -mod X.big", "C:\\Games\\ZH\\generals.exe", {"-nologo", "-mod", "X.big"}},
        {"C:\\Games\\ZH\\generals -win", "C:\\Games\\ZH\\generals.exe", {"-win"}},
        {"c:\\games\\zh\\GENERALS.EXE", "c:\\games\\zh\\GENERALS.EXE", {}},
        // Never a shorter beginning of the line that names another program, planted or not.
        {"C:\\Program Files\\EA Games\\Generals\\generals.exe -win",
         "C:\\Program Files\\EA Games\\Generals\\generals.exe", {"-win"}},
        {"C:\\Games\\Command and Conquer\\generals.exe -nologo  -mod X.big",
         "C:\\Games\\Command and Conquer\\generals.exe", {"-nologo", "-mod", "X.big"}},
        {"\"C:\\Games\\Command and Conquer\\generals.exe\" -win", "C:\\Games\\Command and Conquer\\generals.exe",
         {"-win"}},
        {"C:\\Games\\Tool -x", std::nullopt, {}},
        {"C:\\Games\\ZH\\missing.exe -win", std::nullopt, {}},
        {"", std::nullopt, {}},
        {" C:\\Games\\ZH\\generals.exe", std::nullopt, {}},
    };
    for (const auto& c : cases) {
        const auto command = runner.ParseCommandLine(c.line);
        ASSERT_EQ(command.has_value(), c.program.has_value()) << c.line;
        if (command) {
            EXPECT_EQ(command->program, *c.program) << c.line;
            EXPECT_EQ(command->arguments, c.arguments) << c.line;
        }
    }
}

TEST_F(WineRunner, RunsThroughWineInThePrefixAndReturnsTheExitCode) {
    setenv("FAKE_WINE_EXIT", "3", 1);
    const RunResult result = runner.RunAndWait("C:\\Games\\ZH\\generals.exe -win -mod Example.big");
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(test::ReadBytes(log), "prefix: " + prefix.Root() + "\ncwd: " + fs::current_path().string() +
                                        "\narg: C:\\Games\\ZH\\generals.exe\narg: -win\narg: -mod\narg: Example.big\n");
}

TEST_F(WineRunner, TellsAtOnceWhyNothingStarted) {
    const std::string noWine = (folder.Path() / "no-such-wine").string();
    struct Case {
        std::string line;
        std::string wine;
        std::string error;
    };
    const Case cases[] = {
        {"C:\\Games\\ZH\\missing.exe -win", VANTREL_FAKE_WINE, "C:\\Games\\ZH\\missing.exe was not found"},
        {"C:\\Games\\Tool -x", VANTREL_FAKE_WINE, "C:\\Games\\Tool.exe was not found"},
        {"", VANTREL_FAKE_WINE, "no program was named"},
        {"C:\\Games\\ZH\\generals.exe", noWine, noWine + " could not be started: no such file or folder"},
    };
    for (const auto& c : cases) {
        setenv("WINE", c.wine.c_str(), 1);
        const RunResult result = runner.RunAndWait(c.line);
        EXPECT_FALSE(result.started) << c.line;
        EXPECT_EQ(result.error, c.error) << c.line;
    }
    EXPECT_FALSE(fs::exists(log)) << "wine is not started for a program that is not there";
}

// A game of a Steam library runs through the Proton found for it, with Steam's compatibility
// variables and the program as a host path, unless WINE names the runner; without a Proton it does
// not start, and says why.
TEST_F(WineRunner, StartsASteamGameThroughItsProton) {
    const fs::path proton = Host("Steam/steamapps/common/Proton 9.0/proton");
    fs::create_directories(proton.parent_path());
    fs::copy_file(VANTREL_FAKE_PROTON, proton);
    fs::permissions(proton, fs::perms::owner_all);
    test::WriteBytes(Host("Games/ZH/Example.big"), "mod");
    const fs::path protonLog = folder.Path() / "proton.log";
    setenv("FAKE_PROTON_LOG", protonLog.c_str(), 1);
    setenv("FAKE_PROTON_EXIT", "3", 1);
    setenv("WINEPREFIX", "/somewhere/else", 1);
    const ProtonRun found{"c:\\games\\zh\\", "2732960", "C:\\Steam\\steamapps\\common\\Proton 9.0\\proton",
                          "C:\\Lib\\steamapps\\compatdata\\2732960", "C:\\Steam", ""};
    const std::string drive = (folder.Path() / "prefix/drive_c").string();
    struct Case {
        std::string name;
        ProtonRun run;
        const char* wine; // WINE, or nullptr
        std::string protonSaw;
        std::string wineSaw;
        std::string error; // empty when the game started
    };
    const Case cases[] = {
        {"through Proton", found, nullptr,
         "STEAM_COMPAT_DATA_PATH: " + drive + "/Lib/steamapps/compatdata/2732960\nSTEAM_COMPAT_CLIENT_INSTALL_PATH: " +
             drive + "/Steam\nSteamAppId: 2732960\nWINEPREFIX: (unset)\narg: waitforexitandrun\narg: " + drive +
             "/Games/ZH/generals.exe\narg: -win\narg: -mod\narg: Example.big\nfile: ./Example.big\n"
             "file: ./generals.exe\n",
         "", ""},
        {"WINE names the runner", found, VANTREL_FAKE_WINE, "", "arg: C:\\Games\\ZH\\generals.exe\narg: -win", ""},
        {"no Proton", {"C:\\Games\\ZH\\", "2732960", "", "", "", "no Proton found for app 2732960; why"}, nullptr,
         "", "", "C:\\Games\\ZH\\generals.exe could not be started: no Proton found for app 2732960; why"},
    };
    for (const auto& c : cases) {
        fs::remove(log);
        fs::remove(protonLog);
        c.wine ? setenv("WINE", c.wine, 1) : unsetenv("WINE");
        runner.RunThroughProton([&] { return std::vector<ProtonRun>{c.run}; });
        EXPECT_EQ(runner.NeedsProton(), c.wine == nullptr) << c.name;
        const RunResult result = runner.RunAndWait("C:\\Games\\ZH\\generals.exe -win -mod Example.big");
        EXPECT_EQ(result.started, c.error.empty()) << c.name;
        EXPECT_EQ(result.error, c.error) << c.name;
        EXPECT_EQ(result.exitCode, c.protonSaw.empty() ? (c.wineSaw.empty() ? -1 : 0) : 3) << c.name;
        EXPECT_EQ(test::ReadBytes(protonLog), c.protonSaw) << c.name;
        EXPECT_EQ(fs::exists(log), !c.wineSaw.empty()) << c.name;
        EXPECT_NE(test::ReadBytes(log).find(c.wineSaw), std::string::npos) << c.name;
    }
    unsetenv("WINEPREFIX");
}

// A store's stub hands the game to its client and ends at once: the launch lasts while a program of
// the game's folder runs, whoever started it, and while the started program runs, but not for what
// the stub left from elsewhere (the client, its helpers) nor for Wine's own processes; it leaves the
// launcher's other children alone.
TEST_F(WineRunner, WaitsForTheProgramsOfTheGamesFolderButNotForTheStoresClient) {
    struct Case {
        std::string name;
        const char* leave;             // FAKE_WINE_LEAVE, or nullptr
        bool leftInFolder;             // what is left runs as a program of the game's folder
        bool housekeeping;             // FAKE_WINE_HOUSEKEEPING
        const char* gameFromElsewhere; // game.dat of the folder, started by another process this many
                                       // seconds after the launch began, or nullptr
        bool keeperKilled;             // the keeper dies without a word while the program lingers 3 s
        std::string seenWhenDone;      // what the log ends with when the launch returns
        std::string error;             // empty when the game is taken for started
    };
    const Case cases[] = {
        {"the game left by a stub", "1", true, false, nullptr, false, "left saw: ./mod.big\nleft ended\n", ""},
        {"Wine's wineserver and services.exe going on after the game", nullptr, false, true, "0", false, "./mod.big\n", ""},
        {"a client left by the stub", "forever", false, true, "0", false, "./mod.big\n", ""},
        {"the game a store's client starts after the stub ended", nullptr, false, false, "2", false, "./mod.big\n", ""},
        {"a client that starts the game 15 s after the stub ended and goes on", "forever", false, false, "15", false,
         "./mod.big\n", ""},
        {"a client that never starts the game", "forever", false, false, nullptr, false, "./mod.big\n",
         "C:\\Games\\ZH\\generals.exe handed the game to its store's client, but the game did not start within 2 seconds"},
        {"the keeper killed while the program runs on after the game", nullptr, false, false, "0", true, "./mod.big\n",
         ""},
    };
    fs::create_directories(folder.Path() / "game");
    fs::copy_file("/bin/sleep", Host("Games/ZH/game.dat"));
    fs::copy_file("/bin/sh", Host("Games/ZH/shell.exe"));
    setenv("FAKE_WINE_GAME", (folder.Path() / "game").c_str(), 1);
    // A child of the launcher's own, which the launch must neither reap nor end.
    int status = 0;
    pid_t own = 0;
    const char* sleepArgs[] = {"sleep", "30", nullptr};
    ASSERT_EQ(posix_spawnp(&own, "sleep", nullptr, nullptr, const_cast<char**>(sleepArgs), environ), 0);
    for (const auto& c : cases) {
        fs::remove(log);
        fs::remove(log.string() + ".ended");
        test::WriteBytes(folder.Path() / "game/mod.big", "mod");
        c.leave ? setenv("FAKE_WINE_LEAVE", c.leave, 1) : unsetenv("FAKE_WINE_LEAVE");
        c.leftInFolder ? setenv("FAKE_WINE_LEAVE_SHELL", Host("Games/ZH/shell.exe").c_str(), 1)
                       : unsetenv("FAKE_WINE_LEAVE_SHELL");
        c.housekeeping ? setenv("FAKE_WINE_HOUSEKEEPING", "yes", 1) : unsetenv("FAKE_WINE_HOUSEKEEPING");
        c.keeperKilled ? setenv("FAKE_WINE_KILL_KEEPER", "yes", 1) : unsetenv("FAKE_WINE_KILL_KEEPER");
        c.keeperKilled ? setenv("FAKE_WINE_LINGER", "3", 1) : unsetenv("FAKE_WINE_LINGER");
        setenv("VANTREL_GAME_START_WAIT", c.error.empty() ? "17" : "2", 1);
        pid_t game = 0;
        if (c.gameFromElsewhere) {
            const std::string start = std::string("sleep ") + c.gameFromElsewhere + "; exec \"$0\" 1";
            const std::string path = Host("Games/ZH/game.dat").string();
            const char* gameArgs[] = {"sh", "-c", start.c_str(), path.c_str(), nullptr};
            ASSERT_EQ(posix_spawnp(&game, "sh", nullptr, nullptr, const_cast<char**>(gameArgs), environ), 0);
        }
        const RunResult result = runner.RunAndWait("C:\\Games\\ZH\\generals.exe -win");
        // The mod's file goes as soon as the launch returns, as the restore takes it away.
        fs::remove(folder.Path() / "game/mod.big");
        EXPECT_EQ(result.started, c.error.empty()) << c.name;
        EXPECT_EQ(result.error, c.error) << c.name;
        if (game != 0) {
            EXPECT_EQ(waitpid(game, &status, WNOHANG), game) << c.name << ": the launch waited for the game";
            kill(game, SIGKILL);
            waitpid(game, &status, 0);
        }
        if (c.keeperKilled) {
            EXPECT_TRUE(fs::exists(log.string() + ".ended")) << c.name << ": the launch waited for the program";
        }
        EXPECT_TRUE(test::ReadBytes(log).ends_with(c.seenWhenDone)) << c.name << "\n" << test::ReadBytes(log);
        for (const char* list : {".left", ".housekeeping"}) {
            const bool running = (c.leave && std::string_view(c.leave) == "forever" && list == std::string_view(".left")) ||
                                 (c.housekeeping && list == std::string_view(".housekeeping"));
            for (const pid_t pid : PidsIn(log.string() + list)) {
                if (running) {
                    EXPECT_EQ(kill(pid, 0), 0) << c.name << ": what runs from elsewhere is left running";
                }
                kill(pid, SIGKILL);
            }
            fs::remove(log.string() + list);
        }
    }
    EXPECT_EQ(waitpid(own, &status, WNOHANG), 0) << "the launcher's own child still runs, unreaped";
    kill(own, SIGKILL);
    EXPECT_EQ(waitpid(own, &status, 0), own);
}

} // namespace
} // namespace vantrel
