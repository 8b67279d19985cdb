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
#include "platform/launch_lock.h"
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

class LaunchJournal;

struct LaunchServices {
    SwapFileSystem& files;
    ProcessRunner& runner;
    Messages& messages;
    // Told as the swap-in copies; may be left empty.
    std::function<void(const CopyProgress&)> progress = {};
    // When set, every step of the swap-in is recorded there first, so that a later start can finish
    // the restore, and only one launch at a time swaps into the installations (taking `lock`).
    LaunchJournal* journal = nullptr;
    LaunchLock* lock = nullptr;
};

// Where pair i of a mod goes: the destination folder followed by the source's last name, and the
// name a game entry in the way waits under.
struct PairPaths {
    std::string target;
    std::string backup;
    friend bool operator==(const PairPaths&, const PairPaths&) = default;
};

// nullopt when the source holds no backslash, or either path a control character (a NUL would cut
// the path short at the system). At a drive root the separator is not doubled.
[[nodiscard]] std::optional<PairPaths> PairPathsFor(std::string_view source, std::string_view destinationFolder);

// The kind a target path has by its name alone: a file when its first dot is not its first
// character. Only used when the source is not on disk to tell.
[[nodiscard]] EntryKind KindByName(std::string_view target);

// What one pair of a launch set out to do and what it did, so that exactly that can be undone, also
// by a later start after the launcher died half way.
struct PlacedPair {
    PairPaths paths;
    EntryKind kind = EntryKind::None;
    bool started = false;                 // the pair's first step may have been taken
    bool willBackUp = false;              // the game's entry at the target is set aside as the backup
    bool backupWasThere = false;          // the backup was left by an earlier launch
    bool targetWasFree = false;           // nothing stood at the target when the copy began
    bool copied = false;                  // the copy finished
    bool mergedIntoExisting = false;      // the copy went into a folder that was already there
    std::optional<EntryIdentity> created; // the entry this launch created at the target
    TreeSize content;                     // what that entry held when the copy finished
    friend bool operator==(const PlacedPair&, const PlacedPair&) = default;
};

// Undoes placed pairs newest first; a pair that cannot be undone safely is left as it is and the
// others go on. `strict` (after a launcher died) also leaves a copy whose content changed since it
// was placed, and takes a game entry already back in place as restored. Adds each pair left to
// `left` when given; false when any was left.
bool UndoPlacedPairs(const std::vector<PlacedPair>& pairs, SwapFileSystem& files, bool strict,
                     std::vector<PlacedPair>* left = nullptr);

// Swaps mod `modIndex` of the catalogue in, runs `command` (to which " -mod <file>" is appended when
// the mod names a BIG file), waits for it and restores the installation. A negative index only runs
// the command. Any failure is shown once as the launch failure message; a failure before the run
// undoes the swap-in and does not start the program. True when no failure was shown.
bool LaunchWithMod(const ProgramValues& values, const LaunchServices& services, std::string& command,
                   std::int16_t modIndex);

} // namespace vantrel
