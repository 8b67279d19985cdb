// One pair of a launch as it moves through its life, the same for the launch that places it, the
// restore that takes it out and a later start that finishes what a dead launcher left.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/swap_file_system.h"

namespace vantrel {

inline constexpr std::string_view kBackupSuffix = ".original";

// The steps of a pair, in order; each is on record before anything of the next happens.
enum class PairStep : std::uint8_t {
    Planned, // nothing done yet
    Begun,   // what stands at the target is decided; the displaced entry may be set aside
    Copying, // the copy's own entry exists (its identity is known); its content may be unfinished
    Placed,  // the copy is complete and its content measured
    Undoing, // the entry at the target (its identity is known) is being removed
    Undone,  // the target holds no entry of the launch and the displaced entry is back
};

struct PairRecord {
    // From the definition, fixed before the launch changes anything.
    std::string target; // where the copy goes: the destination folder and the source's last name
    EntryKind kind = EntryKind::None;
    // When set, the pair moves the folder there into the target for the run, and back after it,
    // instead of copying: a mod's own user data, of which nothing is ever deleted.
    std::string movedFrom;

    // Decided from what stands on the disk: before the launch changes anything when `decidedAtPlan`
    // (no earlier pair touches the target), else when the pair begins.
    bool decidedAtPlan = false;
    std::string restoreAs;                  // where the displaced entry lives, its own letter case kept
    std::string backup;                     // where it waits meanwhile: restoreAs and ".original"
    std::optional<EntryIdentity> displaced; // the game's entry set aside, or a leftover backup put back
    bool setsAside = false;                 // the launch renames `displaced` from restoreAs to backup
    std::optional<std::size_t> mergesInto;  // the earlier pair whose copy this one copies into

    // Where the pair is.
    PairStep step = PairStep::Planned;
    std::optional<EntryIdentity> copy;     // the entry the launch created at the target
    TreeSize content;                      // what the copy held once complete
    std::optional<EntryIdentity> removing; // what an undo is removing

    friend bool operator==(const PairRecord&, const PairRecord&) = default;
};

} // namespace vantrel
