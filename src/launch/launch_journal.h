// The record of a launch in progress, kept beside the mod definitions, so that a start after the
// launcher died (a forced quit, a crash, a power cut) can finish putting the installation back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/swap_cycle.h"
#include "platform/launch_lock.h"
#include "platform/single_files.h"
#include "platform/swap_file_system.h"
#include "platform/text_files.h"

namespace vantrel {

// Its extension is never listed as a mod definition.
inline constexpr std::string_view kJournalFileName = "Vantrel launch.journal";

// The journal's text: a versioned header, the pairs, and a last line that counts them and holds a
// checksum of everything before it, so that a cut or damaged journal is known as such.
[[nodiscard]] std::vector<std::string> FormatJournal(const std::vector<PlacedPair>& pairs);

enum class JournalState { Absent, Unreadable, NewerFormat, Read };

// The pairs of a journal's lines; nothing is taken from a journal that is not whole and valid.
[[nodiscard]] JournalState ParseJournal(const std::vector<std::string>& lines, std::vector<PlacedPair>& pairs);

class LaunchJournal {
public:
    LaunchJournal(TextFiles& textFiles, SingleFiles& singleFiles, std::string programFolder);

    [[nodiscard]] const std::string& Folder() const { return folder_; }
    [[nodiscard]] const std::string& Path() const { return path_; }

    // Replaces the journal with these pairs as one step, made durable unless `durable` is false;
    // false when that failed.
    [[nodiscard]] bool Save(const std::vector<PlacedPair>& pairs, bool durable = true);
    // Deletes the journal; false when one is left.
    bool Remove();
    [[nodiscard]] JournalState Load(std::vector<PlacedPair>& pairs);
    // Removes what interrupted saves left behind.
    void RemoveLeftovers();

private:
    TextFiles& textFiles_;
    SingleFiles& singleFiles_;
    std::string folder_;
    std::string path_;
};

// At a start: finishes the restore that a journal left by a launch that did not end describes, and
// removes the journal when everything was put back. Returns one line for the user, empty when there
// was nothing to do. Touches nothing while another process runs a launch (holds the lock), nor when
// the journal cannot be read.
[[nodiscard]] std::string RecoverInterruptedLaunch(LaunchJournal& journal, SwapFileSystem& files, LaunchLock& lock);

} // namespace vantrel
