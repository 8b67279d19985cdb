// Importing a downloaded mod: an archive or a folder unpacked into the program's mod folder, its
// files planned into the game, and a definition written for it, all or nothing.
#pragma once

#include "mods/mod_placement.h"
#include "mods/program_values.h"
#include "platform/import_files.h"
#include "platform/messages.h"
#include "platform/text_files.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct ImportRequest {
    std::string source;         // the archive or folder, a path of the machine
    std::string name;           // the mod's name; empty: from the source's name
    std::optional<GameId> game; // empty: Zero Hour when the mod's files say so, else Generals
};

struct ImportProgress {
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};

struct ImportServices {
    ImportFiles& files;
    TextFiles& textFiles;
    Messages& messages;
    // Told as the import goes; returning false cancels it. May be left empty.
    std::function<bool(const ImportProgress&)> progress = {};
    // The player's user data folder of a game; empty when not known. May be left empty.
    std::function<std::string(GameId)> userDataFolder = {};
};

struct ImportResult {
    bool ok = false;
    bool cancelled = false;
    bool nameTaken = false; // refused since a mod or folder of the name exists; another name may do
    std::string error;      // why nothing was imported
    std::string name;       // the mod's name
    std::string definition; // the definition written
    std::string modFolder;  // where the mod's files are kept
    GameId game = GameId::Generals;
    std::vector<std::string> placed;      // "Data\INI\Weapon.ini → Zero Hour: Data\INI", one a pair
    std::vector<std::string> leftOut;     // kept in the mod's folder, not placed into the game
    std::vector<std::string> notUnpacked; // entries not safe to unpack, or not files or folders
    bool needsItsOwnProgram = false;
};

// The folder, beside the definitions, that holds the imported mods' files.
[[nodiscard]] std::string ImportedModsFolder(const ProgramValues& values);

// Imports the mod. Nothing is left behind when it fails or is cancelled; an existing mod or folder of
// the name is never replaced.
[[nodiscard]] ImportResult ImportMod(const ProgramValues& values, const ImportServices& services,
                                     const ImportRequest& request);

// The import told in a few lines for the player: what went where and what was left out.
[[nodiscard]] std::string ImportSummary(const ImportResult& result);

// "12.4 MB": a size for the player.
[[nodiscard]] std::string SizeText(std::uint64_t bytes);

} // namespace vantrel
