// Tells silent mode from interactive mode by the command line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

inline constexpr std::string_view kSilentSwitch = "-SILENT";
inline constexpr std::string_view kSetAsideJournalSwitch = "--set-aside-journal";
inline constexpr std::string_view kPlaySwitch = "--play";
inline constexpr std::string_view kImportSwitch = "--import";

// "--play <mod> --game generals|zerohour [--switches "<switches>"]": what a shortcut plays.
struct PlayArguments {
    std::string modName;
    std::string game;     // "generals" or "zerohour"
    std::string switches; // the game's switches, each one of kPlaySwitches, blank-separated
    std::string error;    // why the arguments cannot be taken; the rest is then empty
};

// The switches a shortcut may hand the game: the main window's options.
inline constexpr std::string_view kPlaySwitches[] = {"-nologo", "-noshellmap", "-nomusic", "-noaudio",
                                                     "-win", "-constantdebug", "-scriptdebug"};

// "--import <archive or folder> [--game generals|zerohour] [--name <name>]".
struct ImportArguments {
    std::string source; // as given: a path of the system the program runs on
    std::string name;   // empty when not given
    std::string game;   // "generals", "zerohour", or empty when not given
    std::string error;  // why the arguments cannot be taken; the rest is then empty
};

// A start from a game's launch options in Steam: "--play <mod> -- %command%".
struct SteamLaunch {
    std::string modName;
    std::vector<std::string> command; // the game's own command as Steam gives it, program first
};

// True when the command line is the switch that sets aside a launch journal, and nothing else.
[[nodiscard]] bool AsksToSetAsideJournal(std::string_view argumentText);

// True when the command line holds the silent switch in any letter case anywhere.
[[nodiscard]] bool AsksForSilentMode(std::string_view argumentText);

// The Steam form when the arguments are "--play", a mod's name, "--" and the game's command (at least
// one argument), and none holds the silent switch, which keeps its own meaning; nullopt otherwise.
[[nodiscard]] std::optional<SteamLaunch> SteamLaunchFromArguments(const std::vector<std::string>& arguments);

// The shortcut form when the arguments begin with "--play" and a mod's name and go on otherwise than
// with Steam's "--"; nullopt otherwise, and when an argument holds the silent switch, which keeps its
// own meaning. A missing or unknown game or switch gives the reason in `error`.
[[nodiscard]] std::optional<PlayArguments> PlayFromArguments(const std::vector<std::string>& arguments);

// The import form when the first argument is "--import"; nullopt otherwise. An unknown option or game,
// a missing value or a second source gives the reason in `error`.
[[nodiscard]] std::optional<ImportArguments> ImportFromArguments(const std::vector<std::string>& arguments);

// The game's program in Steam's command: the argument after Proton's verb ("<folder>/proton
// waitforexitandrun <program>", "run" alike), else the first argument.
[[nodiscard]] std::string ProgramOfSteamCommand(const std::vector<std::string>& command);

// The definition path that silent mode reads when the command line holds the switch in any letter
// case anywhere: the definition folder, "\", the text from its 9th character on (the switch and one
// blank are expected first) as it stands, and ".vtl". The empty string means interactive mode.
[[nodiscard]] std::string SilentModFileFromCommandLine(std::string_view definitionFolder,
                                                       std::string_view argumentText);

} // namespace vantrel
