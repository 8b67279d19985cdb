// The processes a launch started: those below the process that adopts them while the game runs,
// and those that run one of the games' program files.
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

// The processes below `root` (its children, theirs and so on) that still run and are not Wine's own.
[[nodiscard]] std::vector<pid_t> LaunchProcessesBelow(pid_t root);

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

// The processes other than this one that run one of `files`: Wine's loader (a program whose name
// begins with "wine") maps a Windows program's image from its file, so this finds a game started
// from its folder by anyone (a store's client, which is no child of the launch), in any prefix that
// shares the folder.
[[nodiscard]] std::vector<pid_t> ProcessesRunning(const std::vector<MappedFile>& files);

} // namespace vantrel
