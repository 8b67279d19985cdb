#include "launch/swap_cycle.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <unordered_map>

#include "launch/launch_journal.h"
#include "launch/report_text.h"
#include "mods/mod_placement.h"
#include "platform/case_fold.h"
#include "platform/utf8.h"
#include "platform/windows_paths.h"

namespace vantrel {
namespace {

// A pair's life, as the launch, its restore and a later start see it:
//
//   Planned --Begin--> Begun --(copy creates its entry)--> Copying --(copy complete)--> Placed
//   Placed --(the game runs)--> Undoing --(entry removed, displaced entry renamed back)--> Undone
//
// Each step goes on record before it acts, and every undo asks the disk by identity where each
// entry is, so that whoever undoes a pair (the launch, or a later start after the launcher died at
// any moment) removes only what the record proves is the launch's own.

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// The sibling of `path` whose name ends in `suffix`.
std::string WithSuffix(std::string_view path, std::string_view suffix) {
    return std::string(path) + std::string(suffix);
}

// `folder` and one of its entries, by the entry's name as the disk spells it.
std::string Sibling(std::string_view path, std::string_view name) {
    return JoinWindowsPath(ParentWindowsPath(path), name);
}

void Note(LaunchJournal* journal, std::size_t index, const PairRecord& pair) {
    // A step that cannot be recorded still acts: by then the record holds enough for a later start to
    // leave whatever this pair touched alone rather than guess.
    if (journal) {
        (void)journal->Note(index, pair);
    }
}

// Removes the entry at `path`, of the kind the copy made unless the game made it another; a read-only
// copy of the launch's goes too.
bool RemoveEntry(SwapFileSystem& files, const std::string& path, EntryKind kind) {
    const auto remove = [&](EntryKind as) {
        return as == EntryKind::Folder ? files.DeleteFolder(path) : files.DeleteFile(path, true);
    };
    if (remove(kind)) {
        return true;
    }
    const EntryKind there = files.KindOf(path);
    return there != kind && there != EntryKind::None && remove(there);
}

// Moves what stands at `path` to a name beside it that the game does not load; the new name, or
// nullopt when that failed.
std::optional<std::string> KeepAside(SwapFileSystem& files, const std::string& path) {
    for (int n = 1; n <= 99; ++n) {
        const std::string kept = WithSuffix(path, n == 1 ? ".vantrel-kept" : ".vantrel-kept-" + std::to_string(n));
        if (files.KindOf(kept) == EntryKind::None && files.Rename(path, kept)) {
            return kept;
        }
    }
    return std::nullopt;
}

// What stands at a pair's target, as far as an undo can tell.
enum class AtTarget {
    Nothing,
    Displaced, // the entry the pair displaced: it never left, or was put back
    Ours,      // what the launch put there
    Unproven,  // anything else, or what the record cannot prove the launch's own
};

// Where a pair's entries are, told apart by identity where the volume keeps identities, else by
// what the record can prove by name and content: only the launch gives an entry the backup name (the
// launch refuses one that stands there unexplained), so what stands there is the displaced entry.
class PairEntries {
public:
    PairEntries(SwapFileSystem& files, const PairRecord& pair, UndoMode mode)
        : files_(files), pair_(pair), mode_(mode), stable_(files.HasStableIdentities(pair.target)) {}

    [[nodiscard]] bool Recovering() const {
        return mode_ == UndoMode::Recovery || mode_ == UndoMode::RecoveryAfterRestart;
    }

    [[nodiscard]] AtTarget AtTheTarget() {
        const auto now = files_.IdentityOf(pair_.target);
        if (!now) {
            return AtTarget::Nothing;
        }
        if (stable_ ? now == pair_.displaced : pair_.displaced && !files_.IdentityOf(pair_.backup)) {
            // Without identities, a displaced entry not at its backup name is home, unless what is there
            // proves to be the launch's complete copy.
            if (stable_ || !(pair_.step == PairStep::Placed && files_.MeasureTree(pair_.target) == pair_.content)) {
                return AtTarget::Displaced;
            }
        }
        if (!pair_.movedFrom.empty()) {
            return AtTarget::Ours; // the mod's own data, whatever the game made of it, and never deleted
        }
        bool ours = false;
        switch (pair_.step) {
        case PairStep::Begun:
            // Killed between creating the copy's entry and recording it: an entry as the copy makes
            // it first, empty, is the launch's (nothing is lost with it).
            ours = Recovering() && IsAsCreated();
            break;
        case PairStep::Copying:
            // An unfinished copy: nothing but the launch wrote into it. Without identities, the name
            // the record says the launch was creating (the game's entry waits at its backup name).
            ours = !stable_ || now == pair_.copy;
            break;
        case PairStep::Placed:
            // The launch that ran the game takes what stands there for the mod's entry as the game
            // left it (the game may save by replacing a file); a later start cannot tell.
            ours = mode_ == UndoMode::AfterGame ||
                   ((!stable_ || now == pair_.copy) && files_.MeasureTree(pair_.target) == pair_.content);
            break;
        case PairStep::Undoing:
            ours = !stable_ || now == pair_.removing;
            break;
        default:
            break;
        }
        return ours ? AtTarget::Ours : AtTarget::Unproven;
    }

    [[nodiscard]] bool DisplacedAtBackup() {
        const auto there = files_.IdentityOf(pair_.backup);
        return stable_ ? there == pair_.displaced : there.has_value();
    }

    [[nodiscard]] bool DisplacedHome() {
        const auto there = files_.IdentityOf(pair_.restoreAs);
        return stable_ ? there == pair_.displaced : there.has_value() && !files_.IdentityOf(pair_.backup);
    }

private:
    bool IsAsCreated() {
        const TreeSize size = files_.MeasureTree(pair_.target);
        return files_.KindOf(pair_.target) == pair_.kind && size.entries == 1 && size.bytes == 0;
    }

    SwapFileSystem& files_;
    const PairRecord& pair_;
    UndoMode mode_;
    bool stable_;
};

// Takes out what pair `index` put at its target, as far as `mode` lets it prove the entry there is the
// launch's own, and gives the displaced entry its place back.
bool UndoPair(std::vector<PairRecord>& pairs, std::size_t index, SwapFileSystem& files, UndoMode mode,
              LaunchJournal* journal, UndoReport& report) {
    PairRecord& pair = pairs[index];
    if (mode == UndoMode::RecoveryAfterRestart && pair.step == PairStep::Planned && pair.decidedAtPlan) {
        // Its start may be lost, not what it did: the plan names what it displaces. (A pair decided
        // as it begins makes that record durable first.)
        pair.step = PairStep::Begun;
    }
    if (pair.step == PairStep::Planned || pair.step == PairStep::Undone) {
        // An undone pair's displaced entry may have gone again since with an earlier pair's copy
        // (it lay inside it, or was it): nothing of it is left to do.
        return true;
    }
    if (!IsDrivePath(pair.target)) {
        // A record not made by this version's launch: a relative path would name a folder below the
        // working folder of whoever reads it, not what the launch touched.
        report.notes.push_back(Quoted(pair.target) + " is not a full path; it was left alone");
        return false;
    }
    if (pair.mergesInto) {
        // Its content went into an earlier pair's copy and goes out with it.
        pair.step = PairStep::Undone;
        Note(journal, index, pair);
        return true;
    }
    const std::string& target = pair.target;
    PairEntries entries(files, pair, mode);
    const AtTarget at = entries.AtTheTarget();
    if (!pair.movedFrom.empty() && at == AtTarget::Ours) {
        if (pair.step != PairStep::Undoing) {
            pair.removing = files.IdentityOf(target);
            pair.step = PairStep::Undoing;
            Note(journal, index, pair);
        }
        if (files.KindOf(pair.movedFrom) != EntryKind::None || !files.Rename(target, pair.movedFrom)) {
            const auto kept = KeepAside(files, target);
            if (!kept) {
                report.notes.push_back(Quoted(target) + " could not be moved back to " + Quoted(pair.movedFrom) + ": " +
                                       files.LastError());
                return false;
            }
            report.notes.push_back(Quoted(target) + " could not be moved back to " + Quoted(pair.movedFrom) +
                                   "; it was kept as " + Quoted(*kept));
        }
    }
    switch (pair.movedFrom.empty() ? at : AtTarget::Displaced) {
    case AtTarget::Ours:
        if (pair.step != PairStep::Undoing) {
            pair.removing = files.IdentityOf(target);
            pair.step = PairStep::Undoing;
            Note(journal, index, pair);
        }
        if (!RemoveEntry(files, target, pair.kind)) {
            report.notes.push_back(Quoted(target) + " could not be removed: " + files.LastError());
            return false;
        }
        break;
    case AtTarget::Unproven: {
        // What the launch cannot take for its own is kept, under a name the game does not load, so
        // that the game's entry gets its name back.
        const auto kept = KeepAside(files, target);
        const std::string how =
            pair.step == PairStep::Begun ? " stood where the mod was to go" : " changed since the mod was put in";
        if (!kept) {
            report.notes.push_back(Quoted(target) + how + " and could not be set aside: " + files.LastError());
            return false;
        }
        report.notes.push_back(Quoted(target) + how + "; it was kept as " + Quoted(*kept));
        break;
    }
    case AtTarget::Nothing:
        if (pair.step == PairStep::Placed && mode == UndoMode::AfterGame) {
            // Reported; the displaced entry still goes back.
            report.notes.push_back(Quoted(target) + " was gone when the game ended");
        }
        break;
    case AtTarget::Displaced:
        break;
    }
    if (pair.displaced && !entries.DisplacedHome()) {
        if (!entries.DisplacedAtBackup()) {
            report.notes.push_back("the entry set aside as " + Quoted(pair.backup) + " is no longer there");
            return false;
        }
        if (files.KindOf(pair.restoreAs) != EntryKind::None || !files.Rename(pair.backup, pair.restoreAs)) {
            report.notes.push_back(Quoted(pair.backup) + " could not be renamed back to " + Quoted(pair.restoreAs) +
                                   (files.KindOf(pair.restoreAs) != EntryKind::None ? ": that name is taken"
                                                                                     : ": " + files.LastError()));
            return false;
        }
    }
    pair.step = PairStep::Undone;
    Note(journal, index, pair);
    return true;
}

// The pair as planned from the definition alone.
PairRecord Undecided(PairRecord pair) {
    PairRecord planned;
    planned.target = std::move(pair.target);
    planned.kind = pair.kind;
    return planned;
}

// Names the games whose placeholders a definition's destinations would have needed.
std::string GamesNotFound(const ProgramValues& values) {
    if (values.szGeneralsPath.empty() && values.szZeroHourPath.empty()) {
        return "; neither Generals nor Zero Hour was found on this machine";
    }
    if (values.szGeneralsPath.empty()) {
        return "; Generals was not found on this machine";
    }
    if (values.szZeroHourPath.empty()) {
        return "; Zero Hour was not found on this machine";
    }
    return {};
}

// The pairs read once, bounded by the arrays nPairCount counts.
std::size_t PairCountOf(const ModRecord& mod) {
    return std::min<std::size_t>({static_cast<std::size_t>(std::max<std::int16_t>(mod.nPairCount, 0)),
                                  mod.szSrcPaths.size(), mod.szDstFolders.size()});
}

// Gives the launch lock back however the launch ends.
class LockHolder {
public:
    explicit LockHolder(LaunchLock* lock) : lock_(lock) {}
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    ~LockHolder() {
        if (lock_) {
            lock_->Release();
        }
    }

private:
    LaunchLock* lock_;
};

class SwapCycle {
public:
    // `userData`: the game's user data folder, for a mod that keeps its own; else empty.
    SwapCycle(const ModRecord& mod, const ProgramValues& values, const LaunchServices& services, std::string userData)
        : mod_(mod), values_(values), services_(services), files_(services.files), journal_(services.journal),
          userData_(std::move(userData)) {}

    // A destination in a game's user data folder, which moves with the machine, as this one names it
    // in `resolved`; left empty for any other destination.
    bool ResolveUserData(const std::string& destination, std::string (&known)[2], std::string& resolved,
                         std::string& why) const {
        const auto game = UserDataGameOf(destination);
        if (!game) {
            return true;
        }
        const std::string_view placeholder = UserDataPlaceholder(*game);
        std::string& folder = known[*game == GameId::Generals ? 0 : 1];
        const std::string& install = InstallFolderOf(values_, *game);
        if (folder.empty() && !install.empty() && services_.userDataFolder) {
            folder = services_.userDataFolder(install);
        }
        if (folder.empty()) {
            why = "the destination is " + std::string(GamesOwn(*game)) +
                  " user data folder, which is not known on this machine" +
                  (install.empty() ? GamesNotFound(values_) : "");
            return false;
        }
        resolved = destination.size() <= placeholder.size()
                       ? folder
                       : JoinWindowsPath(folder, std::string_view(destination).substr(placeholder.size()));
        return true;
    }

    // Checks every pair before anything changes; false with the reason at the first that cannot go.
    bool Plan(std::string& why) {
        // First, so that pairs placing files into the user data go into the mod's own.
        if (!userData_.empty() && !PlanOwnUserData(why)) {
            return false;
        }
        const std::size_t count = PairCountOf(mod_);
        const std::string ownFolder = journal_ ? journal_->Folder() : values_.programFolder;
        std::set<std::string> checkedFolders;
        std::unordered_map<std::string, std::optional<std::string>> folders; // by destination as written
        // The launcher's folder and those above it, however a path names them (a link, a drive's link).
        for (std::string folder = ownFolder; folder.size() > 3; folder = ParentWindowsPath(folder)) {
            if (const auto identity = files_.IdentityOf(folder)) {
                ownFolders_.push_back(*identity);
            }
        }
        std::string playerData[2]; // Generals', Zero Hour's: asked once, when a pair names one
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& source = mod_.szSrcPaths[i];
            const std::string which = "pair " + std::to_string(i + 1) + ": ";
            std::string withUserData;
            if (!ResolveUserData(mod_.szDstFolders[i], playerData, withUserData, why)) {
                why = which + why;
                return false;
            }
            std::string_view written = withUserData.empty() ? std::string_view(mod_.szDstFolders[i]) : withUserData;
            // The install-folder placeholders end in a backslash: a pair into the install folder itself
            // names it with one. Only a drive's root keeps it.
            while (written.size() > 3 && written.ends_with('\\')) {
                written.remove_suffix(1);
            }
            const std::string destination(written);
            if (!IsDrivePath(destination) || HasControlCharacter(destination)) {
                why = which + "the destination " + Quoted(destination) + " is not a full path on a drive" +
                      GamesNotFound(values_);
                return false;
            }
            // The folder as the disk spells it, so that pairs naming it in other letter case meet.
            auto [known, isNew] = folders.try_emplace(destination);
            if (isNew) {
                known->second = FolderDuringTheRun(destination);
            }
            if (!known->second) {
                why = which + "the destination folder " + Quoted(destination) + " does not exist" + GamesNotFound(values_);
                return false;
            }
            const std::string& folder = *known->second;
            auto target = PairTarget(source, folder, why);
            if (!target) {
                why = which + why;
                return false;
            }
            if (!ownFolder.empty() && (IsLaunchersOwn(*target, ownFolder) ||
                                       IsLaunchersOwn(WithSuffix(*target, kBackupSuffix), ownFolder))) {
                why = which + Quoted(*target) + " is Vantrel's own; a mod cannot be placed there";
                return false;
            }
            const auto sourceName = IsDrivePath(source) ? files_.EntryName(source) : std::nullopt;
            const std::string resolved = sourceName ? Sibling(source, *sourceName) : source;
            const EntryKind kind = sourceName ? files_.KindOf(resolved) : EntryKind::None;
            if (kind == EntryKind::None) {
                why = which + "the source " + Quoted(source) +
                      (sourceName ? " is neither a file nor a folder" : " was not found");
                return false;
            }
            if (checkedFolders.insert(WindowsPathKey(folder)).second && !files_.CanChangeFolder(AsItIsNow(folder))) {
                why = Quoted(folder) + ": " + files_.LastError() +
                      " — the game folder cannot be changed; Vantrel must be able to create, rename and delete files "
                      "there (run Vantrel as an administrator, or move the game to a folder you own)";
                return false;
            }
            PairRecord& pair = pairs_.emplace_back();
            pair.target = std::move(*target);
            pair.kind = kind;
            sources_.push_back(resolved);
        }
        return CheckPlacesAgainstEachOther(why);
    }

    // The mod's own user data takes the place of the player's for the run: two folders side by side,
    // moved by renames, of which nothing is ever deleted. The mod's starts with the player's settings
    // (resolution, keys); the game makes the rest.
    bool PlanOwnUserData(std::string& why) {
        const std::string which = "the mod's own user data: ";
        const auto documents = FolderOf(ParentWindowsPath(userData_));
        if (!documents) {
            why = which + "the folder " + Quoted(ParentWindowsPath(userData_)) + " does not exist";
            return false;
        }
        const std::string target = JoinWindowsPath(*documents, LastWindowsName(userData_));
        const std::string own = OwnUserDataFolder(target, mod_);
        if (!files_.CanChangeFolder(*documents)) {
            why = which + Quoted(*documents) + ": " + files_.LastError();
            return false;
        }
        const EntryKind there = files_.KindOf(own);
        if (there == EntryKind::File) {
            why = which + Quoted(own) + " is a file, where the mod's folder belongs";
            return false;
        }
        if (there == EntryKind::None) {
            const std::string options = JoinWindowsPath(target, "Options.ini");
            TreeSize copied;
            if (!files_.CreateFolder(own) ||
                (files_.KindOf(options) == EntryKind::File &&
                 !files_.CopyFile(options, JoinWindowsPath(own, "Options.ini"), {}, copied))) {
                why = which + Quoted(own) + " could not be made: " + files_.LastError();
                return false;
            }
        }
        PairRecord& pair = pairs_.emplace_back();
        pair.target = target;
        pair.kind = EntryKind::Folder;
        pair.movedFrom = own;
        sources_.push_back(own);
        return true;
    }

    // How a message names pair `index` of the launch.
    std::string Label(std::size_t index) const {
        if (userData_.empty()) {
            return "pair " + std::to_string(index + 1);
        }
        return index == 0 ? std::string("the mod's own user data") : "pair " + std::to_string(index);
    }

    // A destination folder as it will be while the game runs, spelled as the disk does: inside the
    // player's user data, the mod's own stands in its place. nullopt when there is no such folder.
    std::optional<std::string> FolderDuringTheRun(const std::string& destination) {
        const std::string now = AsItIsNow(destination);
        if (now == destination) {
            return FolderOf(destination);
        }
        const PairRecord& moved = pairs_.front();
        const auto there = FolderOf(now);
        return there ? std::optional(moved.target + there->substr(moved.movedFrom.size())) : std::nullopt;
    }

    // Where what will be at `path` during the run is now: in the mod's own user data for a path in
    // the player's, which it replaces.
    std::string AsItIsNow(const std::string& path) const {
        if (pairs_.empty() || pairs_.front().movedFrom.empty()) {
            return path;
        }
        const PairRecord& moved = pairs_.front();
        const std::string key = WindowsPathKey(path);
        const std::string targetKey = WindowsPathKey(moved.target);
        if (key != targetKey && !IsInsideKey(key, targetKey)) {
            return path;
        }
        return moved.movedFrom + path.substr(std::min(path.size(), moved.target.size()));
    }

    // A destination folder as the disk spells it; nullopt when there is no such folder.
    std::optional<std::string> FolderOf(const std::string& destination) {
        if (destination.size() <= 3) {
            return destination; // a drive's root
        }
        const auto name = files_.EntryName(destination);
        const std::string folder = name ? Sibling(destination, *name) : destination;
        return name && files_.KindOf(folder) == EntryKind::Folder ? std::optional(folder) : std::nullopt;
    }

    // Starts the journal with the plan; false with the reason when it cannot be written.
    bool Record(std::string& why) {
        if (journal_ && !journal_->Start(pairs_, files_.SessionName(), why)) {
            why = "the launch cannot be recorded in " + Quoted(journal_->Folder()) + ": " + why;
            return false;
        }
        return true;
    }

    // Places every pair in order; false with the reason at the first failure.
    bool SwapIn(std::string& why) {
        if (services_.progress) {
            for (std::size_t i = 0; i < sources_.size(); ++i) {
                if (!pairs_[i].movedFrom.empty()) {
                    continue; // moved, not copied
                }
                const TreeSize size = files_.MeasureTree(sources_[i]);
                progress_.entriesTotal += size.entries;
                progress_.bytesTotal += size.bytes;
            }
            services_.progress(progress_);
        }
        for (std::size_t i = 0; i < pairs_.size(); ++i) {
            if (!Begin(i, why) || !Copy(i, why)) {
                why = Label(i) + ": " + why;
                return false;
            }
        }
        // What the copies hold is on record before the game can change them. Nothing more is made
        // durable: after a power cut, a later start sets aside whatever it cannot prove the launch's
        // own, rather than rely on steps lost from the record.
        if (journal_ && !journal_->Flush()) {
            why = "the launch cannot be recorded in " + Quoted(journal_->Folder()) + ": " + journal_->LastError();
            return false;
        }
        return true;
    }

    UndoReport Undo(UndoMode mode) {
        UndoReport report = UndoPairs(pairs_, files_, mode, journal_);
        if (journal_) {
            // What could not be put back stays on record for the next start.
            (void)(report.complete ? journal_->Remove() : journal_->Flush());
        }
        return report;
    }

private:
    // Pairs that place the same entry, or one inside another's copy, are decided as they begin; a
    // pair must never place the name another one's game entry waits under.
    bool CheckPlacesAgainstEachOther(std::string& why) {
        std::unordered_map<std::string, std::size_t> firstAt; // target key: the first pair placing it
        for (std::size_t i = 0; i < pairs_.size(); ++i) {
            firstAt.emplace(WindowsPathKey(pairs_[i].target), i);
        }
        for (std::size_t i = 0; i < pairs_.size(); ++i) {
            const std::string key = WindowsPathKey(pairs_[i].target);
            const auto backupOf = firstAt.find(WindowsPathKey(WithSuffix(key, kBackupSuffix)));
            if (backupOf != firstAt.end()) {
                why = Label(i) + " and " + Label(backupOf->second) + " place " + Quoted(pairs_[i].target) +
                      " and its backup name " + Quoted(pairs_[backupOf->second].target);
                return false;
            }
            // Decided later: the same target as an earlier pair, or one inside an earlier pair's.
            bool decidedLater = firstAt.at(key) < i;
            for (std::size_t slash = key.rfind('\\'); !decidedLater && slash != std::string::npos && slash > 2;
                 slash = key.rfind('\\', slash - 1)) {
                const auto above = firstAt.find(key.substr(0, slash));
                decidedLater = above != firstAt.end() && above->second < i;
            }
            if (!decidedLater && !Decide(i, why)) {
                why = Label(i) + ": " + why;
                return false;
            }
            pairs_[i].decidedAtPlan = !decidedLater;
        }
        return true;
    }

    // What pair `index` does with what stands at its target now; false with the reason when it must
    // not go on: the swap-in stops there.
    bool Decide(std::size_t index, std::string& why) {
        PairRecord& pair = pairs_[index];
        const std::string& target = pair.target;
        const auto name = files_.EntryName(target);
        if (!name) {
            // A free target. A backup left by some earlier launch comes back in its place afterwards.
            const auto leftover = files_.EntryName(WithSuffix(target, kBackupSuffix));
            const std::string backup = leftover ? Sibling(target, *leftover) : std::string();
            if (leftover && files_.Exists(backup)) {
                if (OwnCopyAt(backup)) {
                    why = Quoted(backup) + " is a copy of this launch's own";
                    return false;
                }
                pair.displaced = files_.IdentityOf(backup);
                pair.backup = backup;
                pair.restoreAs = backup.substr(0, backup.size() - kBackupSuffix.size());
            }
            return true;
        }
        // The entry spelled as the definition has it; else the one the game finds without regard to case.
        const std::string entry = Sibling(target, *name);
        if (!files_.Exists(entry)) {
            why = Quoted(entry) + " is hidden or a system entry; Vantrel never sets such entries aside";
            return false;
        }
        const auto identity = files_.IdentityOf(entry);
        if (identity && std::find(ownFolders_.begin(), ownFolders_.end(), *identity) != ownFolders_.end()) {
            why = Quoted(entry) + " is Vantrel's own; a mod cannot be placed there";
            return false;
        }
        if (const auto owner = OwnCopyAt(entry); owner && pair.kind == EntryKind::Folder &&
                                                 pairs_[*owner].kind == EntryKind::Folder) {
            pair.mergesInto = owner;
            return true;
        }
        const std::string backup = WithSuffix(entry, kBackupSuffix);
        if (const auto leftover = files_.EntryName(backup)) {
            why = Quoted(Sibling(backup, *leftover)) + " stands beside " + Quoted(entry) +
                  " and no record of Vantrel explains it; move it away, or rename it back if it is the game's own";
            return false;
        }
        pair.displaced = identity;
        pair.setsAside = true;
        pair.restoreAs = entry;
        pair.backup = backup;
        return true;
    }

    // The earlier pair whose copy stands at `path`.
    std::optional<std::size_t> OwnCopyAt(const std::string& path) {
        const auto identity = files_.IdentityOf(path);
        const auto found = identity ? copies_.find(IdentityKey(*identity)) : copies_.end();
        return found != copies_.end() ? std::optional(found->second) : std::nullopt;
    }

    static std::string IdentityKey(const EntryIdentity& identity) {
        return std::to_string(identity.volume) + ":" + std::to_string(identity.index);
    }

    // What the plan decided for a pair still holds while its displaced entry is where it was (earlier
    // pairs never touch such a target); otherwise the pair decides anew.
    bool StillAsPlanned(const PairRecord& pair) {
        // A free target needs no look here: the copy refuses to write over anything that appeared there.
        return !pair.displaced ||
               files_.IdentityOf(pair.setsAside ? pair.restoreAs : pair.backup) == pair.displaced;
    }

    bool Begin(std::size_t index, std::string& why) {
        PairRecord& pair = pairs_[index];
        if (!(pair.decidedAtPlan && StillAsPlanned(pair))) {
            pair = Undecided(std::move(pair));
            if (!Decide(index, why)) {
                return false;
            }
        }
        pair.step = PairStep::Begun;
        // What a pair decided only now is in no plan: after a power cut, only a durable record of it
        // tells what it displaced.
        if (journal_ && !(pair.decidedAtPlan ? journal_->Note(index, pair) : journal_->Note(index, pair) && journal_->Sync())) {
            why = "the launch cannot be recorded in " + Quoted(journal_->Folder()) + ": " + journal_->LastError();
            return false;
        }
        if (pair.mergesInto) {
            // The earlier copy changes: until it is measured again it counts as unfinished.
            PairRecord& owner = pairs_[*pair.mergesInto];
            owner.step = PairStep::Copying;
            Note(journal_, *pair.mergesInto, owner);
        }
        if (pair.setsAside && (!files_.SetAttributesNormal(pair.restoreAs) || !files_.Rename(pair.restoreAs, pair.backup))) {
            why = Quoted(pair.restoreAs) + " could not be set aside: " + files_.LastError();
            return false;
        }
        return true;
    }

    bool Copy(std::size_t index, std::string& why) {
        PairRecord& pair = pairs_[index];
        if (!pair.movedFrom.empty()) {
            return MoveIn(index, why);
        }
        CopyEvents events;
        if (!pair.mergesInto) {
            events.created = [&](const EntryIdentity& identity) {
                pair.copy = identity;
                copies_[IdentityKey(identity)] = index;
                pair.step = PairStep::Copying;
                return !journal_ || journal_->Note(index, pair);
            };
        }
        if (services_.progress) {
            events.written = [this](std::uint64_t bytes) {
                ++progress_.entriesDone;
                progress_.bytesDone += bytes;
                services_.progress(progress_);
            };
        }
        // A merge goes into the earlier copy as it is spelled on disk; any other folder copy makes a
        // new folder, never one that appeared meanwhile.
        const std::string& into = pair.mergesInto ? pairs_[*pair.mergesInto].target : pair.target;
        if (!pair.mergesInto && pair.kind == EntryKind::Folder && files_.KindOf(into) != EntryKind::None) {
            why = Quoted(into) + ": an entry of that name appeared meanwhile";
            return false;
        }
        TreeSize placed;
        const bool copied = pair.kind == EntryKind::File ? files_.CopyFile(sources_[index], into, events, placed)
                                                         : files_.CopyFolder(sources_[index], into, events, placed);
        if (!copied || (!pair.mergesInto && !pair.copy)) {
            why = "copying " + Quoted(sources_[index]) + " to " + Quoted(into) + " failed: " +
                  (copied ? "an entry of that name appeared meanwhile" : files_.LastError());
            return false;
        }
        if (pair.mergesInto) {
            PairRecord& owner = pairs_[*pair.mergesInto];
            owner.content = files_.MeasureTree(owner.target);
            owner.step = PairStep::Placed;
            Note(journal_, *pair.mergesInto, owner);
        } else {
            pair.content = placed;
        }
        pair.step = PairStep::Placed;
        Note(journal_, index, pair);
        return true;
    }

    bool MoveIn(std::size_t index, std::string& why) {
        PairRecord& pair = pairs_[index];
        pair.copy = files_.IdentityOf(pair.movedFrom);
        pair.step = PairStep::Copying;
        if (journal_ && !journal_->Note(index, pair)) {
            why = "the launch cannot be recorded in " + Quoted(journal_->Folder()) + ": " + journal_->LastError();
            return false;
        }
        if (!pair.copy || files_.KindOf(pair.target) != EntryKind::None || !files_.Rename(pair.movedFrom, pair.target)) {
            why = Quoted(pair.movedFrom) + " could not be moved to " + Quoted(pair.target) + ": " +
                  (files_.KindOf(pair.target) != EntryKind::None ? "that name is taken" : files_.LastError());
            return false;
        }
        pair.step = PairStep::Placed;
        Note(journal_, index, pair);
        return true;
    }

    const ModRecord& mod_;
    const ProgramValues& values_;
    const LaunchServices& services_;
    SwapFileSystem& files_;
    LaunchJournal* journal_;
    std::vector<PairRecord> pairs_;
    std::vector<std::string> sources_; // each pair's source as the disk spells it
    std::unordered_map<std::string, std::size_t> copies_; // the pair that made each copy, by identity
    std::vector<EntryIdentity> ownFolders_;               // the launcher's folder and those above it
    CopyProgress progress_;
    std::string userData_;
};

} // namespace

std::optional<std::string> PairTarget(std::string_view source, std::string_view destinationFolder, std::string& why) {
    if (HasControlCharacter(source) || HasControlCharacter(destinationFolder)) {
        why = "the definition holds a control character";
        return std::nullopt;
    }
    const std::size_t slash = source.rfind('\\');
    const std::string_view name = slash == std::string_view::npos ? std::string_view() : source.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        why = "the source " + Quoted(source) + " does not end in the name of a file or folder";
        return std::nullopt;
    }
    return JoinWindowsPath(destinationFolder, name);
}

std::string OwnUserDataFolder(std::string_view userData, const ModRecord& mod) {
    std::string_view name = LastWindowsName(mod.definitionFile);
    constexpr std::string_view kExtension = ".vtl";
    if (name.size() > kExtension.size() && EqualsIgnoringCase(name.substr(name.size() - kExtension.size()), kExtension)) {
        name.remove_suffix(kExtension.size());
    }
    return std::string(userData) + " (" + std::string(name.empty() ? std::string_view(mod.szName) : name) + ")";
}

std::optional<GameId> GameTheModIsFor(const ModRecord& mod, const ProgramValues& values) {
    const std::string generals = WindowsPathKey(values.szGeneralsPath);
    const std::string zeroHour = WindowsPathKey(values.szZeroHourPath);
    const auto within = [](const std::string& key, const std::string& folder) {
        return !folder.empty() && (key == folder || IsInsideKey(key, folder));
    };
    std::optional<GameId> found;
    for (std::size_t i = 0; i < PairCountOf(mod); ++i) {
        const std::string_view destination = mod.szDstFolders[i];
        const std::string key = WindowsPathKey(destination);
        std::optional<GameId> game = UserDataGameOf(destination);
        if (!game && (within(key, generals) || within(key, zeroHour))) {
            // One game's folder may lie inside the other's: the closer one holds the destination.
            const bool inZeroHour = within(key, zeroHour) && (!within(key, generals) || zeroHour.size() > generals.size());
            game = inZeroHour ? GameId::ZeroHour : GameId::Generals;
        }
        if (!game || (found && *found != *game)) {
            return std::nullopt;
        }
        found = game;
    }
    return found;
}

std::string ModArgument(const ModRecord& mod, std::string_view userData) {
    const std::string_view folder = mod.szModFolder;
    const bool absolute = IsDrivePath(folder) || folder.starts_with('\\');
    if (!absolute || (!userData.empty() && WindowsPathKey(folder) == WindowsPathKey(userData))) {
        return mod.szModFile;
    }
    return std::string(folder) + mod.szModFile;
}

UndoReport UndoPairs(std::vector<PairRecord>& pairs, SwapFileSystem& files, UndoMode mode, LaunchJournal* journal) {
    UndoReport report;
    for (std::size_t i = pairs.size(); i-- > 0;) {
        if (!UndoPair(pairs, i, files, mode, journal, report)) {
            report.complete = false;
        }
    }
    return report;
}

namespace {

// The launch itself; `addMod` puts the mod's BIG file on the game's command, `runGame` runs it.
bool LaunchRunning(const ProgramValues& values, const LaunchServices& services, std::int16_t modIndex,
                   std::string_view gameFolder, const std::function<void(const std::string&)>& addMod,
                   const std::function<RunResult()>& runGame) {
    const auto fail = [&](const std::string& why) {
        services.messages.Show(std::string(kLaunchFailedMessage) + "\n" + why, MessageIcon::None);
        return false;
    };
    const auto run = [&](const std::string& after) {
        const RunResult result = runGame();
        if (services.ran) {
            services.ran(result);
        }
        return result.started ? std::string() : "the game could not be started: " + result.error + after;
    };
    // A game started outside Vantrel reads the folders a launch changes, and would hold its files.
    if (const auto running = gameFolder.empty() ? std::nullopt : services.runner.ProgramRunningFrom(gameFolder)) {
        return fail(Quoted(*running) + " of " + Quoted(gameFolder) + " is running already; close it first");
    }
    if (modIndex < 0) {
        const std::string why = run("");
        return why.empty() || fail(why);
    }
    if (static_cast<std::size_t>(modIndex) >= values.Mods.size()) {
        return fail("there is no mod number " + std::to_string(modIndex + 1) + " in the list");
    }
    const ModRecord& mod = values.Mods[static_cast<std::size_t>(modIndex)];
    const std::string playerData = services.userDataFolder ? services.userDataFolder(gameFolder) : std::string();
    if (Utf8Length(mod.szModFile) > 1) {
        addMod(ModArgument(mod, playerData));
    }
    if (PairCountOf(mod) == 0 && !mod.ownUserData) {
        // A mod without pairs touches no file: it needs neither a record nor the lock.
        const std::string why = run("");
        return why.empty() || fail(why);
    }
    LaunchJournal* journal = services.journal;
    if (journal && services.lock && !services.lock->TryAcquire(journal->Folder())) {
        return fail("another launch is putting a mod into the games from " + Quoted(journal->Folder()) +
                    "; wait until it has ended");
    }
    const LockHolder holder(journal ? services.lock : nullptr);
    if (journal) {
        // What an earlier launch left (the window may have been open since) is put back first.
        const std::string earlier = FinishInterruptedLaunch(*journal, services.files);
        JournalContent left;
        if (journal->Load(left) != JournalState::Absent) {
            return fail(earlier);
        }
        if (!earlier.empty()) {
            services.messages.Show(earlier, MessageIcon::Information);
        }
    }
    std::string userData;
    if (mod.ownUserData) {
        userData = playerData;
        if (userData.empty()) {
            return fail("the mod keeps its own settings, maps, replays and saved games, but where " +
                        Quoted(gameFolder) + "'s game keeps the player's is not known");
        }
    }
    SwapCycle cycle(mod, values, services, std::move(userData));
    std::string why;
    if (!cycle.Plan(why) || !cycle.Record(why)) {
        return fail(why);
    }
    if (!cycle.SwapIn(why)) {
        const UndoReport undone = cycle.Undo(UndoMode::SwapInFailed);
        return fail(why + (undone.complete ? "" : "; " + Joined(undone.notes)));
    }
    why = run("");
    const UndoReport undone = cycle.Undo(UndoMode::AfterGame);
    if (!undone.notes.empty()) {
        why += (why.empty() ? "the installation could not be put back completely: " : "; ") + Joined(undone.notes);
    }
    return why.empty() || fail(why);
}

} // namespace

std::string RunOutcome(const RunResult& result, std::string_view what, bool putBack) {
    // A game played for real lasts longer than this; one that ends sooner most likely did not start.
    constexpr double kQuickEnd = 5;
    if (!result.started || (result.exitCode == 0 && result.seconds >= kQuickEnd)) {
        return {};
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, result.seconds < 60 ? "%.1f s" : "%.0f s", result.seconds);
    return std::string(what) + " ended after " + seconds +
           (result.exitCode == 0 ? "" : " with exit code " + std::to_string(result.exitCode)) +
           (putBack ? "; the game folder was put back." : ".");
}

bool LaunchWithMod(const ProgramValues& values, const LaunchServices& services, std::string& command,
                   std::int16_t modIndex) {
    const std::string program = SplitCommandLine(command).program;
    return LaunchRunning(
        values, services, modIndex, std::string_view(program).substr(0, program.rfind('\\') + 1),
        [&](const std::string& modFile) {
            // The games take a whole argument in double quotes, so a blank does not split the path.
            command += " -mod " + (modFile.find(' ') == std::string::npos ? modFile : '"' + modFile + '"');
        },
        [&] { return services.runner.RunAndWait(command); });
}

bool LaunchCommandWithMod(const ProgramValues& values, const LaunchServices& services,
                          std::vector<std::string>& arguments, std::string_view gameProgram, std::int16_t modIndex) {
    return LaunchRunning(
        values, services, modIndex, gameProgram.substr(0, gameProgram.rfind('\\') + 1),
        [&](const std::string& modFile) {
            arguments.emplace_back("-mod");
            arguments.push_back(modFile);
        },
        [&] { return services.runner.RunArgumentsAndWait(arguments, gameProgram); });
}

} // namespace vantrel
