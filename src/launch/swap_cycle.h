// One launch: a mod's files and folders go into the game installation, the game runs, and the
// installation is put back as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/pair_record.h"
#include "mods/mod_placement.h"
#include "mods/program_values.h"
#include "platform/launch_lock.h"
#include "platform/messages.h"
#include "platform/process_runner.h"
#include "platform/swap_file_system.h"

namespace vantrel {

inline constexpr std::string_view kLaunchFailedMessage = "An error occurred whilst trying to launch the game!";

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
    // When set, every step of the launch goes on record there first, so that a later start can finish
    // the restore, and only one launch at a time swaps into the installations (taking `lock`).
    LaunchJournal* journal = nullptr;
    LaunchLock* lock = nullptr;
    // Told how the run went once the program has ended, before the installation is put back; may be
    // left empty.
    std::function<void(const RunResult&)> ran = {};
    // The user data folder (settings, maps, replays, saves) of the game of an install folder; empty
    // when it is not known. Asked only for a mod that keeps its own.
    std::function<std::string(std::string_view gameFolder)> userDataFolder = {};
};

// The folder that holds a mod's own user data, beside the player's `userData`: named after the
// mod's definition file, whole, so that "A.B" and "A.C" (both listed as "A") keep theirs apart.
[[nodiscard]] std::string OwnUserDataFolder(std::string_view userData, const ModRecord& mod);

// Where pair (source, destination folder) goes: the folder followed by the source's last name, one
// separator between them. nullopt, with the reason, when the source does not end in a name (a
// trailing backslash, ".", "..") or either path holds a control character.
[[nodiscard]] std::optional<std::string> PairTarget(std::string_view source, std::string_view destinationFolder,
                                                    std::string& why);

// What follows "-mod" for `mod`: the BIG file's name alone when it lies in the player's user data
// folder `userData` (where the games look for a name without a drive) or the location names no
// folder; its full path otherwise, since a game that does not find the file starts without the mod.
[[nodiscard]] std::string ModArgument(const ModRecord& mod, std::string_view userData);

// The game whose folders (install folder or user data) every pair of the mod goes into, when that
// is one game only; nullopt for a mod without pairs or with pairs in both games or elsewhere.
[[nodiscard]] std::optional<GameId> GameTheModIsFor(const ModRecord& mod, const ProgramValues& values);

// Who undoes a launch's pairs, which decides what may be taken for the launch's own.
enum class UndoMode {
    SwapInFailed, // the launch itself, before the game ran: only entries it can prove are its own
    AfterGame,    // the launch that ran the game: what stands at a placed target is the mod's, as the game left it
    Recovery,     // a later start: only its own copies, unchanged; anything else in the way is set aside
    RecoveryAfterRestart, // the same, when the record may lack the last steps: every pair counts as begun
};

// What undoing left undone or set aside, one sentence each.
struct UndoReport {
    bool complete = true;
    std::vector<std::string> notes;
};

// Undoes the pairs newest first, each as far as its step shows, recording every step in `journal`
// when given. Never removes an entry it cannot take for the launch's own; a pair that cannot be put
// back is left as it stands and the others go on.
UndoReport UndoPairs(std::vector<PairRecord>& pairs, SwapFileSystem& files, UndoMode mode, LaunchJournal* journal);

// Swaps mod `modIndex` of the catalogue in, runs `command` (to which " -mod " and ModArgument, in
// double quotes when it holds a blank, are appended when the mod names a BIG file), waits for it and
// restores the installation. A negative index only runs the command. A mod that keeps its own user
// data has it moved into the place of the player's for the run. Any failure, a program that could
// not be started or a program of the game's folder that runs already among them, is shown once as
// the launch failure message with a line saying why; a failure before the run undoes the swap-in and
// does not start the program. True when no failure was shown.
bool LaunchWithMod(const ProgramValues& values, const LaunchServices& services, std::string& command,
                   std::int16_t modIndex);

// One line on a run worth a word: one that ended within a few seconds or with an exit code other
// than 0 ("The game ended after 0.2 s with exit code 3; the game folder was put back."); empty for
// any other. `what` names the program ("The game"); `putBack` tells that the launch placed a mod.
[[nodiscard]] std::string RunOutcome(const RunResult& result, std::string_view what, bool putBack);

// The same with a command of the system given as its arguments (Steam's own for the game), to which
// "-mod" and the file are appended as two arguments; `gameProgram` is the game's program it runs, a
// path of the machine.
bool LaunchCommandWithMod(const ProgramValues& values, const LaunchServices& services,
                          std::vector<std::string>& arguments, std::string_view gameProgram, std::int16_t modIndex);

} // namespace vantrel
