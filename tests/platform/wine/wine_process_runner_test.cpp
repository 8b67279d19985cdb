#include "platform/wine/wine_process_runner.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>

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
        test::WriteBytes(Host("Program.exe"), "shorter name that wins");
        test::WriteBytes(Host("Games/ZH/generals.exe"), "exe");
        test::WriteBytes(Host("Games/Tool"), "no extension, never tried as is");
        log = folder.Path() / "wine.log";
        setenv("WINE", VANTREL_FAKE_WINE, 1);
        setenv("FAKE_WINE_LOG", log.c_str(), 1);
        unsetenv("FAKE_WINE_GAME");
        unsetenv("FAKE_WINE_EXIT");
    }
    ~WineRunner() override { unsetenv("WINE"); }

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
        // The shortest beginning that names a program wins, as on Windows.
        {"C:\\Program Files\\EA Games\\Generals\\generals.exe -win", "C:\\Program.exe",
         {"Files\\EA", "Games\\Generals\\generals.exe", "-win"}},
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
    fs::remove(Host("Program.exe"));
    const auto spaced = runner.ParseCommandLine("C:\\Program Files\\EA Games\\Generals\\generals.exe -win");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->program, "C:\\Program Files\\EA Games\\Generals\\generals.exe");
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

} // namespace
} // namespace vantrel
