// Finds the install folders of Generals and Zero Hour: in the registry, where the disc and EA App
// releases record them, and in Steam's libraries.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mods/program_values.h"
#include "platform/game_files.h"
#include "platform/registry.h"

namespace vantrel {

inline constexpr std::string_view kGeneralsKey = "SOFTWARE\\Electronic Arts\\EA Games\\Generals";
inline constexpr std::string_view kZeroHourKey =
    "SOFTWARE\\Electronic Arts\\EA Games\\Command and Conquer Generals Zero Hour";
inline constexpr std::string_view kInstallPathValue = "InstallPath";
inline constexpr std::string_view kEaAppGeneralsKey = "SOFTWARE\\EA Games\\Generals";
inline constexpr std::string_view kEaAppZeroHourKey = "SOFTWARE\\EA Games\\Command and Conquer Generals Zero Hour";
inline constexpr std::string_view kEaAppValue = "Install Dir";
// The First Decade collection records each of its games' folders as a value of one key.
inline constexpr std::string_view kFirstDecadeKey =
    "SOFTWARE\\Electronic Arts\\EA Games\\Command and Conquer The First Decade";
inline constexpr std::string_view kFirstDecadeZeroHourValue = "zh_folder";
inline constexpr std::string_view kSteamZeroHourAppId = "2732960";
// What a folder must hold to count as a game's, in every place but the disc release's own keys.
inline constexpr std::string_view kGameProgram = "generals.exe";

// Where a folder was found, as the game list tells the player.
inline constexpr std::string_view kDiscSource = "disc";
inline constexpr std::string_view kEaAppSource = "EA App";
inline constexpr std::string_view kFirstDecadeSource = "The First Decade";
inline constexpr std::string_view kSteamSource = "Steam";

struct GameInstall {
    std::string folder; // ends with a backslash; empty when the game was not found
    std::string source; // kDiscSource, kEaAppSource or kSteamSource
    // A Steam game's library folder and app id, whose Proton prefix lies beside it.
    std::string steamLibrary;
    std::string steamAppId;
};

// The folder in which Proton keeps a Steam game's data; the game's prefix is its "pfx" folder.
[[nodiscard]] inline std::string CompatDataFolder(const GameInstall& game) {
    return game.steamLibrary + "\\steamapps\\compatdata\\" + game.steamAppId;
}

struct Installations {
    GameInstall generals;
    GameInstall zeroHour;
    std::vector<std::string> steamLibraries; // every library looked in, in order
    std::vector<std::string> steamFolders;   // Steam's own folders among them (its client installs)
    // The libraries of a Steam of this system rather than one installed in the machine: on Linux, the
    // games there run through Proton; a Windows Steam in a prefix runs its games with the prefix's Wine.
    std::vector<std::string> protonLibraries;
};

// The folder path with a backslash at its end, as install folders are kept: every consumer appends a
// file name directly. An empty text stays empty.
[[nodiscard]] std::string AsFolder(std::string text);

// The "InstallPath" text of the key as stored, or the empty string when the game is not found.
[[nodiscard]] std::string ReadInstallFolder(Registry& registry, std::string_view key);

// Each game from the disc release's keys (HKLM, 32-bit view) when they name a folder, as they stand
// but for a backslash added at the end. A game they miss comes from the first place that holds its
// program: the same keys in the other view and in HKCU, the EA App's keys, The First Decade's key
// (Zero Hour only), then Steam's libraries.
// Without `files`, only the disc release's keys are read. With `steam`, what Steam's libraries hold is
// taken from there instead of being looked for again (after a change of machine, say).
[[nodiscard]] Installations FindInstallations(Registry& registry, GameFiles* files,
                                              const Installations* steam = nullptr);

// Sets szGeneralsPath, szZeroHourPath, where each came from, and what a player is told of the search.
void ApplyInstallations(const Installations& found, ProgramValues& values);

// FindInstallations in the registry alone, followed by ApplyInstallations.
void DiscoverInstallFolders(Registry& registry, ProgramValues& values);

// What Steam's libraries hold, as another machine names the same places (`pathThere`, nullopt for a
// place it cannot reach: left out): for FindInstallations on that machine.
[[nodiscard]] Installations SteamFindsThere(
    const Installations& found, const std::function<std::optional<std::string>(std::string_view)>& pathThere);

// True when the game was found in a library of a Steam of the system rather than one installed in the
// machine (on Linux, one whose games run through Proton).
[[nodiscard]] bool FromTheSystemsSteam(const Installations& found, const GameInstall& game);

// True when the machine itself holds a game: in its registry, or in a library of a Steam installed on
// it rather than of the system's.
[[nodiscard]] bool HoldsOwnGame(const Installations& found);

// The Wine prefix Proton made for the Steam game, when the games were found only through Steam:
// Zero Hour's, else Generals'. Empty when a game was installed on the machine itself or no such
// prefix exists.
[[nodiscard]] std::string ProtonPrefixToUse(const Installations& found, GameFiles& files);

} // namespace vantrel
