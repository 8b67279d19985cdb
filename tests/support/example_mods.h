// Mod records for tests, their paths given relative to the test machine's disk.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mods/program_values.h"
#include "support/test_machine.h"

namespace vantrel::test {

using RelativePairs = std::vector<std::pair<std::string, std::string>>;

// A record of the pairs (source, destination folder), each relative to the machine's disk.
inline ModRecord ModOfPairs(const TestMachine& machine, const RelativePairs& pairs,
                            std::string modFile = "Example.big") {
    ModRecord mod;
    mod.szName = "Example";
    mod.szModFile = std::move(modFile);
    for (const auto& [source, destination] : pairs) {
        mod.szSrcPaths.push_back(machine.WindowsPath(source));
        mod.szDstFolders.push_back(machine.WindowsPath(destination));
    }
    mod.nPairCount = static_cast<std::int16_t>(pairs.size());
    return mod;
}

// An installation of both games under Games\ and a mod under Mods\Example, as the launch tests use
// them: a game folder with a subfolder, a read-only game file, and mod files and folders.
inline void WriteExampleInstallation(const TestMachine& machine) {
    machine.Write("Games/Generals/generals.exe", "game");
    machine.Write("Games/Generals/Data/Maps/Alpine.map", "game map");
    machine.Write("Games/Generals/Data/Maps/Desert/Desert.map", "game desert");
    machine.Write("Games/Generals/Data/INI/GameData.ini", "game data");
    std::filesystem::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"),
                                 std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    machine.Write("Games/ZH/Data/INI/Weapon.ini", "zh weapon");
    machine.Write("Mods/Example/Maps/Mod.map", "mod map");
    machine.Write("Mods/Example/Maps/Desert/Desert.map", "mod desert");
    machine.Write("Mods/Example/Readme.txt", "mod readme");
    machine.Write("Mods/Example/GameData.ini", "mod data");
    machine.Write("Mods/Example/README", "no extension");
}

// The player's user data of Generals under Games\Documents, and the own user data of the mod
// Example beside it, as a launch before made it.
inline constexpr std::string_view kExampleUserData = "Games/Documents/Command and Conquer Generals Data";

inline void WriteExampleUserData(const TestMachine& machine) {
    const std::string player(kExampleUserData);
    machine.Write(player + "/Options.ini", "player's options");
    machine.Write(player + "/Replays/Last.rep", "player's replay");
    machine.Write(player + " (Example)/Options.ini", "mod's options");
    machine.Write(player + " (Example)/Maps/Own/Own.map", "mod's map");
}

// The tree of a folder as before a launch, but for the read-only game file that a launch clears
// once it got to it: which of the two `after` shows.
inline std::string AsBeforeALaunch(std::string before, const std::string& after) {
    if (after.find("GameData.ini game data") != std::string::npos) {
        const std::size_t at = before.find("GameData.ini [ro] game data");
        if (at != std::string::npos) {
            before.replace(at, 27, "GameData.ini game data");
        }
    }
    return before;
}

// The catalogue holding that one mod as element 0.
inline void SetOnlyMod(ProgramValues& values, ModRecord mod) {
    values.Mods = {std::move(mod)};
    values.nModCount = 1;
}

} // namespace vantrel::test
