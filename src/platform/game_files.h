// What finding the games needs of the disk beyond the registry: the folders Steam keeps outside it,
// the paths Steam's own files name, and small reads of store files and game folders. All paths given
// and returned are Windows paths of the machine.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class GameFiles {
public:
    GameFiles() = default;
    GameFiles(const GameFiles&) = delete;
    GameFiles& operator=(const GameFiles&) = delete;
    virtual ~GameFiles() = default;

    // Steam's own folders that the system knows of outside the registry (on Linux: ~/.steam/steam,
    // ~/.local/share/Steam, the Flatpak's and the Snap's), once each, in that order; those the
    // machine cannot reach are left out. Empty where the registry names them (Windows).
    [[nodiscard]] virtual std::vector<std::string> SteamFolders() = 0;
    // A folder as Steam's own files name it (a host path on Linux) as a path of the machine; nullopt
    // when it is not there or the machine cannot reach it.
    [[nodiscard]] virtual std::optional<std::string> MachinePath(std::string_view steamPath) = 0;
    // The bytes of a file of at most `limit` bytes; nullopt when it is missing, unreadable or larger.
    [[nodiscard]] virtual std::optional<std::string> ReadSmallFile(std::string_view path, std::size_t limit) = 0;
    // The names of the files in the folder that begin with `prefix` and end with `suffix` (letter case
    // as given), in no set order; empty when the folder cannot be listed.
    [[nodiscard]] virtual std::vector<std::string> FileNames(std::string_view folder, std::string_view prefix,
                                                             std::string_view suffix) = 0;
    // The names of the folders in the folder (links to folders among them), in no set order; empty when
    // it cannot be listed.
    [[nodiscard]] virtual std::vector<std::string> FolderNames(std::string_view folder) = 0;
    // True when an ordinary file (not a folder) is at the path.
    [[nodiscard]] virtual bool FileExists(std::string_view path) = 0;
};

} // namespace vantrel
