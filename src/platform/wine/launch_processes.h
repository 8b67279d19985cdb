// The processes that keep a launch going: those that run a program of the game's install folder.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// True for a process Wine runs for the prefix itself, given its command line's first word: the
// wineserver and the programs of C:\windows (services, explorer, winedevice...). They outlive a game
// by seconds or for good, so they must not keep a launch waiting.
[[nodiscard]] bool IsWineHousekeeping(std::string_view program);

// A program file as /proc/<pid>/maps shows what a process has mapped: by its device and inode, and by
// its path for file systems whose mappings name another device (overlays).
struct MappedFile {
    unsigned long major = 0;
    unsigned long minor = 0;
    unsigned long inode = 0;
    std::string path;
};

// The identity of the host file at `hostPath`; nullopt when there is none.
[[nodiscard]] std::optional<MappedFile> MappedFileAt(const std::string& hostPath);

// The processes other than this one that run a program whose file lies directly in the host folder
// `folder` (a real path), other than `except` (a store's stub): natively, or through Wine's loader (a
// program whose name begins with "wine"), which maps a Windows program's image (".exe", ".dat") from
// its file. So a game started from its folder by anyone is found (a store's client, which is no
// child of the launch), in any prefix that shares the folder; Wine's own programs never count.
// Returns the host path of each one's program.
[[nodiscard]] std::vector<std::string> ProcessesOfFolder(const std::string& folder,
                                                         const std::optional<MappedFile>& except);

} // namespace vantrel
