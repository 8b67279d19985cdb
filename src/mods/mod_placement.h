// Where each file of a downloaded mod goes: into the game's install folder, merged with the game's
// own folders, or into the player's user data folder (maps), and what the game would not read.
#pragma once

#include "mods/program_values.h"
#include "platform/swap_file_system.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// Destinations that move with the machine: the reader puts the install folders found in the place of
// these, and the launch the player's user data folder of the game; none can be a real path.
inline constexpr std::string_view kGeneralsUserDataPlaceholder =
    "<Documents>\\Command and Conquer Generals Data\\";
inline constexpr std::string_view kZeroHourUserDataPlaceholder =
    "<Documents>\\Command and Conquer Generals Zero Hour Data\\";

// The install-folder placeholder of `game`, ending in a backslash.
[[nodiscard]] std::string_view InstallPlaceholder(GameId game);
[[nodiscard]] std::string_view UserDataPlaceholder(GameId game);
// The game whose user data placeholder begins `destination` (or is all of it, without its closing
// backslash); nullopt for any other destination.
[[nodiscard]] std::optional<GameId> UserDataGameOf(std::string_view destination);

// An entry of the unpacked mod: its path below the mod's folder, names joined by backslashes.
struct ModTreeEntry {
    std::string path;
    bool folder = false;
};

// A rename inside the mod's folder that puts a file or folder where the game expects it ("Weapon.ini"
// into "Data\INI", a ".gib" to ".big"); the folders above `to` are created first where missing.
struct ModMove {
    std::string from;
    std::string to;
};

struct PlannedPair {
    std::string source;      // below the mod's folder, after the moves
    std::string destination; // a placeholder followed by the folder below it, if any
};

struct ModPlacement {
    std::vector<ModMove> moves;
    std::vector<PlannedPair> pairs;
    // What stays in the mod's folder but not in the game, one line each ("Readme.txt: a read-me").
    std::vector<std::string> leftOut;
    // The mod ships a program of its own and nothing else the game would load.
    bool needsItsOwnProgram = false;
};

// What the game has, by a path below its install folder or its user data folder.
using GameProbe = std::function<EntryKind(std::string_view relativePath)>;

// Plans the placement of the entries (any order; folders above an entry may be left out) for `game`,
// whose folders `installHas` and `userDataHas` tell.
[[nodiscard]] ModPlacement PlanPlacement(const std::vector<ModTreeEntry>& entries, GameId game,
                                         const GameProbe& installHas, const GameProbe& userDataHas);

} // namespace vantrel
