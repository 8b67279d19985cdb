// The record of a launch in progress, kept beside the mod definitions (in the user's state folder when
// they lie where this process cannot write), so that a start after the launcher died (a forced quit,
// a crash, a power cut) can finish putting the installation back.
//
// The record grows by lines: the plan of every pair, written durably before anything changes, then
// one line each time a pair reaches its next step, handed to the system before that step acts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launch/pair_record.h"
#include "platform/launch_lock.h"
#include "platform/single_files.h"
#include "platform/swap_file_system.h"
#include "platform/text_files.h"

namespace vantrel {

// Every journal's file name starts so; no journal is ever listed as a mod definition.
inline constexpr std::string_view kJournalNameStart = "Vantrel launch";

// The journal file of the machine in the folder: one per machine, so that machines sharing a
// folder (two Wine prefixes) never act on each other's launches.
[[nodiscard]] std::string JournalPathFor(std::string_view folder, std::string_view machineName);

struct JournalContent {
    std::string machine; // the key of the machine whose launch it records
    std::string session; // the run of the machine it was written in
    std::vector<PairRecord> pairs;
    friend bool operator==(const JournalContent&, const JournalContent&) = default;
};

// The lines that start a journal: header, machine, session and the plan of every pair, with what it
// will set aside where that is known before the launch starts.
[[nodiscard]] std::vector<std::string> FormatJournalStart(const JournalContent& content);
// The line that records pair `index` at its current step.
[[nodiscard]] std::string FormatStep(std::size_t index, const PairRecord& pair);

// Unstarted: the launch died while it wrote its plan, before it changed anything.
enum class JournalState { Absent, Unstarted, Unreadable, NewerFormat, Read };

// The journal's pairs, each at the last step on record. A damaged last line is taken as never
// written (a kill or a power cut may cut it short); any other damage makes the journal unreadable.
[[nodiscard]] JournalState ParseJournal(const std::vector<std::string>& lines, JournalContent& content);

class LaunchJournal {
public:
    LaunchJournal(TextFiles& textFiles, SingleFiles& singleFiles, std::string folder, std::string machineName);

    [[nodiscard]] const std::string& Folder() const { return folder_; }
    [[nodiscard]] const std::string& Path() const { return path_; }

    // Creates the journal with the plan of `pairs`, written in run `session` of the machine, and makes
    // it durable; false with the reason when it cannot be written or a journal is there already.
    [[nodiscard]] bool Start(const std::vector<PairRecord>& pairs, const std::string& session, std::string& error);
    // Opens the journal that is there to add steps to it; false with the reason.
    [[nodiscard]] bool Continue(std::string& error);
    // Records pair `index` at its current step; false when the record could not be written. A step
    // that acts on the disk as soon as it is recorded (beginning a pair, which sets an entry aside or
    // creates its copy; copying into a new entry; removing one) reaches the system at once, with what
    // was noted before it; the others wait for it, or for Flush().
    [[nodiscard]] bool Note(std::size_t index, const PairRecord& pair);
    // Hands every step noted so far to the system; false when that failed.
    [[nodiscard]] bool Flush();
    // The same, and makes the journal durable on disk.
    [[nodiscard]] bool Sync();
    // The system's reason for the last failure to record.
    [[nodiscard]] std::string LastError() const { return error_; }
    // Deletes the journal; false when one is left.
    bool Remove();
    [[nodiscard]] JournalState Load(JournalContent& content);
    // The journal's text as it stands, for showing the user what a damaged one describes.
    [[nodiscard]] std::vector<std::string> RawLines();

private:
    TextFiles& textFiles_;
    SingleFiles& singleFiles_;
    std::string folder_;
    std::string machine_;
    std::string path_;
    std::unique_ptr<TextFileAppender> appender_;
    std::vector<std::string> pending_;
    std::string error_;
};

// Whether a path is one of the launcher's own: the folder of the definitions and journals, a folder
// above it, or a journal or temporary file of the launcher in it. A launch never places or sets aside
// such a path.
[[nodiscard]] bool IsLaunchersOwn(std::string_view path, std::string_view folder);

// Finishes the restore that this machine's journal describes, while the caller holds the launch
// lock; removes the journal when everything is back. Returns one line for the user, empty when there
// was no journal.
[[nodiscard]] std::string FinishInterruptedLaunch(LaunchJournal& journal, SwapFileSystem& files);

// At a start: finishes the restore that this machine's journal describes, and removes the journal
// when everything is back. Returns one line for the user, empty when there was nothing to do.
// Touches nothing while another process runs a launch (holds the lock), nor when the journal cannot
// be read: the line then names the journal and how to set it aside.
[[nodiscard]] std::string RecoverInterruptedLaunch(LaunchJournal& journal, SwapFileSystem& files, LaunchLock& lock);

// Sets a journal that cannot be read aside under a dated name, so that launches can go on; the
// installation is left as it is. Returns the new path, nullopt (with the reason) when it failed.
[[nodiscard]] std::optional<std::string> SetAsideJournal(LaunchJournal& journal, SwapFileSystem& files,
                                                         std::string_view timestamp, std::string& error);

} // namespace vantrel
