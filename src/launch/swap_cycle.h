// One launch: a mod's files and folders go into the game installation, the game runs, and the
// installation is put back as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mods/program_values.h"
#include "platform/messages.h"
#include "platform/process_runner.h"
#include "platform/swap_file_system.h"

namespace vantrel {

inline constexpr std::string_view kLaunchFailedMessage = "An error occurred whilst trying to launch the game!";
inline constexpr std::string_view kBackupSuffix = ".original";

// How far the swap-in has copied the mod: entries (files and folders) and bytes, done and in all.
struct CopyProgress {
    std::uint64_t entriesDone = 0;
    std::uint64_t entriesTotal = 0;
    std::uint64_t bytesDone = 0;
    std::uint64_t bytesTotal = 0;
};

struct LaunchServices {
    SwapFileSystem& files;
    ProcessRunner& runner;
    Messages& messages;
    // Told as the swap-in copies; may be left empty.
    std::function<void(const CopyProgress&)> progress = {};
};

// Where pair i of a mod goes: the destination folder followed by the source's last name, and the
// name a game entry in the way waits under.
struct PairPaths {
    std::string target;
    std::string backup;
};

// nullopt when the source holds no backslash. At a drive root the separator is not doubled.
[[nodiscard]] std::optional<PairPaths> PairPathsFor(std::string_view source, std::string_view destinationFolder);

// The kind a target path has by its name alone: a file when its first dot is not its first
// character. Only used when the source is not on disk to tell.
[[nodiscard]] EntryKind KindByName(std::string_view target);

// What one pair of this launch did, so that exactly that can be undone.
struct PlacedPair {
    PairPaths paths;
    EntryKind kind = EntryKind::None;
    bool backedUp = false;                // this launch set the game's entry aside as the backup
    bool backupWasThere = false;          // the backup was left by an earlier launch
    bool mergedIntoExisting = false;      // the copy went into a folder that was already there
    std::optional<EntryIdentity> created; // the entry this launch created at the target
};

// Swaps mod `modIndex` of the catalogue in, runs `command` (to which " -mod <file>" is appended when
// the mod names a BIG file), waits for it and restores the installation. A negative index only runs
// the command. Any failure is shown once as the launch failure message; a failure before the run
// undoes the swap-in and does not start the program. True when no failure was shown.
bool LaunchWithMod(const ProgramValues& values, const LaunchServices& services, std::string& command,
                   std::int16_t modIndex);

} // namespace vantrel
