// What the launcher keeps of the Wine prefixes between starts, in the user's own folders: the one the
// player chose, and whether each prefix held the games when its registry was last as it is now.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct MachineMemoryFiles {
    std::string choice; // $XDG_CONFIG_HOME/vantrel/machine: the chosen prefix's folder
    std::string holds;  // $XDG_CACHE_HOME/vantrel/machines: a line per prefix looked into
};

// The files under the XDG folders as they are set now (a relative value is ignored, as the rules say).
[[nodiscard]] MachineMemoryFiles MachineMemoryFilesFromEnvironment();

// The prefix folder the file names; empty when there is none.
[[nodiscard]] std::string ReadChosenMachine(const std::string& file);
// Replaces the file's choice at once (a reader sees the old one or the new one); false on failure.
[[nodiscard]] bool WriteChosenMachine(const std::string& file, std::string_view prefix);

// Whether the prefix held the games when its registry files were last as they are now; nullopt when
// not recorded or changed since.
[[nodiscard]] std::optional<bool> ReadHoldsGames(const std::string& file, std::string_view prefix);
// Records it, replacing what the file said of that prefix; a failure only costs a look next time.
void WriteHoldsGames(const std::string& file, std::string_view prefix, bool holds);

} // namespace vantrel
