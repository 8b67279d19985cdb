#include "startup/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

TEST(SilentCommandLine, TakesTheNameFromTheNinthCharacter) {
    struct Case {
        const char* arguments;
        const char* file; // "" for interactive mode
    };
    const Case cases[] = {
        {"", ""},
        {"-win", ""},
        {"-SILENT MyMod", "C:\\Vantrel\\MyMod.vtl"},
        {"-silent MyMod", "C:\\Vantrel\\MyMod.vtl"},
        {"-Silent my mod", "C:\\Vantrel\\my mod.vtl"},
        {"-SILENT", "C:\\Vantrel\\.vtl"},
        {"-SILENT  MyMod", "C:\\Vantrel\\ MyMod.vtl"},
        {"/x -SILENT MyMod", "C:\\Vantrel\\NT MyMod.vtl"},
        {"-SILENT \"MyMod\"", "C:\\Vantrel\\\"MyMod\".vtl"},
        {"-SILENT MyMod ", "C:\\Vantrel\\MyMod .vtl"},
        {"-SILENTMyMod", "C:\\Vantrel\\yMod.vtl"},
        {"-SILENT \xC3\x89t\xC3\xA9", "C:\\Vantrel\\\xC3\x89t\xC3\xA9.vtl"},
        {"\xC3\xA9\xC3\xA9-SILENT x", "C:\\Vantrel\\T x.vtl"}, // the 9th character, not the 9th byte
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SilentModFileFromCommandLine("C:\\Vantrel", c.arguments), c.file) << c.arguments;
    }
}

// "--play <mod> -- <command>" alone starts from Steam's launch options; every other line keeps its
// meaning, the silent switch first of all.
TEST(SteamCommandLine, TakesTheModAndTheGamesCommandAfterTheSeparator) {
    struct Case {
        std::vector<std::string> arguments;
        std::string mod; // "" when the line is not the Steam form
        std::vector<std::string> command;
        std::string program;
    };
    const std::string proton = "/home/u/.steam/steam/steamapps/common/Proton 9.0/proton";
    const std::string game = "/home/u/.steam/steam/steamapps/common/Generals/generals.exe";
    const Case cases[] = {
        {{"--play", "My Mod", "--", proton, "waitforexitandrun", game},
         "My Mod", {proton, "waitforexitandrun", game}, game},
        {{"--play", "X", "--", "/s/reaper", "SteamLaunch", "AppId=2229870", "--", "/s/_v2-entry-point",
          "--verb=waitforexitandrun", "--", proton, "waitforexitandrun", game, "-win"},
         "X", {"/s/reaper", "SteamLaunch", "AppId=2229870", "--", "/s/_v2-entry-point", "--verb=waitforexitandrun",
               "--", proton, "waitforexitandrun", game, "-win"}, game},
        {{"--play", "X", "--", "C:\\Games\\Generals\\generals.exe", "-win"},
         "X", {"C:\\Games\\Generals\\generals.exe", "-win"}, "C:\\Games\\Generals\\generals.exe"},
        {{"--play", "X", "--", "/opt/proton", "run", game}, "X", {"/opt/proton", "run", game}, game},
        {{"--play", "X", "--", "/opt/not-proton", "run", game}, "X", {"/opt/not-proton", "run", game}, "/opt/not-proton"},
        {{"--play", "X", "--"}, "", {}, ""},
        {{"--play", "X", game}, "", {}, ""},
        {{"X", "--play", "--", game}, "", {}, ""},
        {{"--play", "-SILENT", "--", game}, "", {}, ""},
        {{"--play", "X", "--", proton, "waitforexitandrun", game, "-silent"}, "", {}, ""},
        {{"-SILENT", "X"}, "", {}, ""},
        {{"--set-aside-journal"}, "", {}, ""},
        {{}, "", {}, ""},
    };
    for (const auto& c : cases) {
        std::string line;
        for (const auto& argument : c.arguments) {
            line += argument + " ";
        }
        const auto steam = SteamLaunchFromArguments(c.arguments);
        ASSERT_EQ(steam.has_value(), !c.mod.empty()) << line;
        if (steam) {
            EXPECT_EQ(steam->modName, c.mod) << line;
            EXPECT_EQ(steam->command, c.command) << line;
            EXPECT_EQ(ProgramOfSteamCommand(steam->command), c.program) << line;
        }
    }
}

} // namespace
} // namespace vantrel
