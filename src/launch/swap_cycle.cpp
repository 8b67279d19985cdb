#include "launch/swap_cycle.h"

#include <algorithm>
#include <map>
#include <set>

#include "launch/launch_journal.h"
#include "platform/utf8.h"

namespace vantrel {
namespace {

bool Remove(SwapFileSystem& files, const std::string& target, EntryKind kind) {
    // Only this launch's own copies, or a leftover an earlier launch merged into, are removed:
    // forcing a read-only copy away is safe, as no game file is ever removed here.
    return kind == EntryKind::Folder ? files.DeleteFolder(target) : files.DeleteFile(target, true);
}

// One spelling for the paths that name the same entry on a file system that ignores letter case:
// upper case, backslashes, no doubled separators.
std::string PathKey(std::string_view path) {
    std::string key;
    key.reserve(path.size());
    for (const char c : path) {
        const char normal = c == '/' ? '\\' : (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (normal == '\\' && key.size() > 1 && key.back() == '\\') {
            continue;
        }
        key.push_back(normal);
    }
    return key;
}

// "X:\..." or "\\server\...": a path that names the same entry from any working folder.
bool IsAbsolute(std::string_view path) {
    return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.starts_with("\\\\");
}

bool UndoPair(const PlacedPair& pair, SwapFileSystem& files, bool strict) {
    const std::string& target = pair.paths.target;
    const std::string& backup = pair.paths.backup;
    if (strict && !IsAbsolute(target)) {
        // A relative target (a destination whose game is not installed) named a folder below the
        // working folder of the launch, which a later start need not share: nothing is touched.
        return false;
    }
    // Nothing else makes the backup while launches are one at a time: if it is there, the rename was done.
    const bool backupMade = pair.willBackUp && files.KindOf(backup) != EntryKind::None;
    if (!pair.started && !backupMade) {
        // Only planned, as far as the record shows: nothing of it is touched. Something at a target
        // that was free may be an unfinished copy or someone else's; it cannot be told, so it stays.
        return !(pair.targetWasFree && !pair.willBackUp && files.KindOf(target) != EntryKind::None);
    }
    if (!pair.copied && !pair.targetWasFree && pair.kind == EntryKind::File && !backupMade) {
        return true; // a file copy onto an entry that was there fails before writing: nothing was done
    }
    bool restored = true;
    if (pair.copied && pair.created) {
        const auto now = files.IdentityOf(target);
        if (!now) {
            restored = strict; // gone: deleted while the game ran, or removed by an earlier restore
        } else if (*now == *pair.created) {
            // A copy is measured once the swap-in is done, before the game starts; before that its
            // identity alone tells it, as nothing but this launch has run since.
            if (strict && pair.content.entries != 0 && files.MeasureTree(target) != pair.content) {
                return false; // changed since it was placed (the game patched it): not ours to remove
            }
            restored = Remove(files, target, pair.kind);
        } else if (strict && ((pair.willBackUp && !backupMade) ||
                              (pair.backupWasThere && files.KindOf(backup) == EntryKind::None))) {
            return true; // an earlier restore already put the game's entry back
        } else {
            return false; // someone else's entry stands there now
        }
    } else if (!pair.copied && pair.targetWasFree && (!pair.willBackUp || backupMade)) {
        // The copy did not finish: what stands at the target is this launch's unfinished copy.
        const EntryKind there = files.KindOf(target);
        if (there != EntryKind::None) {
            restored = Remove(files, target, there);
        }
    } else if (pair.copied && pair.mergedIntoExisting && pair.backupWasThere && !strict) {
        // An earlier failed launch left the backup; what stands at the target is not the game's,
        // as long as the backup is still there to take its place.
        if (files.KindOf(backup) == pair.kind) {
            restored = Remove(files, target, pair.kind);
        } else {
            return false;
        }
    }
    if ((backupMade || pair.backupWasThere) && files.KindOf(backup) != EntryKind::None) {
        if (files.KindOf(target) == EntryKind::None) {
            restored = files.Rename(backup, target) && restored;
        } else {
            restored = false;
        }
    }
    return restored;
}

// The pairs a record holds: nPairCount, read once, bounded by the arrays it counts.
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
    SwapCycle(const ModRecord& mod, const LaunchServices& services)
        : mod_(mod), services_(services), journal_(services.journal) {}

    // Places every pair in order; false at the first failure, with what was done so far recorded.
    bool SwapIn() {
        const std::size_t count = PairCountOf(mod_);
        if (services_.progress) {
            for (std::size_t i = 0; i < count; ++i) {
                const TreeSize size = services_.files.MeasureTree(mod_.szSrcPaths[i]);
                copied_.entriesTotal += size.entries;
                copied_.bytesTotal += size.bytes;
            }
            services_.progress(copied_);
            listener_ = [this](std::uint64_t bytes) {
                ++copied_.entriesDone;
                copied_.bytesDone += bytes;
                services_.progress(copied_);
            };
        }
        // What every pair will do goes on record, durably, before anything changes: one such write
        // for the whole swap-in rather than one a pair. A folder that takes no journal (a read-only
        // program folder) gets a launch as the system had it, without one.
        planned_ = Plan(count);
        if (journal_ && !journal_->Save(Recorded(planned_))) {
            journal_ = nullptr;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (!PlacePair(mod_.szSrcPaths[i], mod_.szDstFolders[i], i)) {
                return false;
            }
        }
        // What the copies hold must be on record before the game can change them.
        return !journal_ || journal_->Save(Recorded(placed_));
    }

    // Undoes what this launch did, newest first; false when any pair could not be undone. What could
    // not be undone stays on record for the next start; otherwise the record goes.
    bool Undo() {
        std::vector<PlacedPair> left;
        const bool allRestored = UndoPlacedPairs(placed_, services_.files, false, &left);
        placed_.clear();
        if (journal_) {
            // What was left, by this launch or by one before it, stays on record for the next start.
            // A record that cannot be rewritten is kept as it is rather than lost.
            if (left.empty() && inherited_.empty()) {
                (void)journal_->Remove();
            } else {
                (void)journal_->Save(Recorded({left.rbegin(), left.rend()}));
            }
        }
        return allRestored;
    }

    // What an earlier launch left on record, kept ahead of this launch's pairs.
    void Inherit(std::vector<PlacedPair> pairs) { inherited_ = std::move(pairs); }

private:
    std::vector<PlacedPair> Recorded(const std::vector<PlacedPair>& pairs) const {
        std::vector<PlacedPair> recorded = inherited_;
        recorded.insert(recorded.end(), pairs.begin(), pairs.end());
        return recorded;
    }

    // What the disk looks like to a pair: the real one, or the plan's picture of it once the earlier
    // pairs will have run. Tracks what this launch set aside and what it created.
    struct DiskView {
        SwapFileSystem& files;
        std::map<std::string, std::pair<EntryKind, bool>> planned; // by PathKey: kind, visible
        std::set<std::string> renamed;                              // backups made by setting a target aside
        std::set<std::string> created;                              // entries made by a copy
        std::set<std::string> healed;                               // targets whose old backup a pair puts back

        EntryKind KindOf(const std::string& path) {
            const auto found = planned.find(PathKey(path));
            return found != planned.end() ? found->second.first : files.KindOf(path);
        }
        bool Exists(const std::string& path) {
            const auto found = planned.find(PathKey(path));
            return found != planned.end() ? found->second.second : files.Exists(path);
        }
        bool Renamed(const std::string& path) const { return renamed.contains(PathKey(path)); }
        bool Created(const std::string& path) const { return created.contains(PathKey(path)); }
        bool Healed(const std::string& path) const { return healed.contains(PathKey(path)); }
        // What a pair is about to do to the disk.
        void Note(const PlacedPair& pair) {
            if (pair.backupWasThere) {
                healed.insert(PathKey(pair.paths.target));
            }
        }
    };

    // What pair `source` into `destination` will do; nullopt when it must not start: the swap-in
    // fails there before touching anything.
    std::optional<PlacedPair> Intent(const std::string& source, const std::string& destination, DiskView& view) {
        auto paths = PairPathsFor(source, destination);
        if (!paths) {
            return std::nullopt;
        }
        PlacedPair pair;
        pair.paths = std::move(*paths);
        const std::string& target = pair.paths.target;
        const std::string& backup = pair.paths.backup;
        // The source on disk says what is copied; the name only when the source is missing.
        const EntryKind sourceKind = services_.files.KindOf(source);
        pair.kind = sourceKind != EntryKind::None ? sourceKind : KindByName(target);
        const EntryKind targetKind = view.KindOf(target);
        const bool targetVisible = view.Exists(target);
        const EntryKind backupKind = view.KindOf(backup);
        const bool backupVisible = view.Exists(backup);
        if (targetKind != EntryKind::None && !targetVisible) {
            return std::nullopt; // a hidden or system game entry would be written over, never set aside
        }
        pair.willBackUp = targetVisible && backupKind == EntryKind::None;
        if (targetVisible && backupKind != EntryKind::None) {
            if (!backupVisible || (!view.Renamed(backup) && view.Created(backup))) {
                // The backup cannot be the game's entry: nothing safe can be done with the target.
                return std::nullopt;
            }
            // Set aside by an earlier pair of this launch (its target is then this launch's copy),
            // or left by an earlier launch: then the first pair on the target puts it back, and only
            // a backup of the same kind can be the game's entry that the target took the place of.
            if (!view.Renamed(backup) && !view.Healed(target)) {
                if (backupKind != pair.kind) {
                    return std::nullopt;
                }
                pair.backupWasThere = true;
            }
        } else if (targetKind == EntryKind::None) {
            pair.backupWasThere =
                backupVisible && !view.Renamed(backup) && !view.Created(backup) && !view.Healed(target);
        }
        pair.targetWasFree = pair.willBackUp || targetKind == EntryKind::None;
        return pair;
    }

    // The intents of all pairs, each seeing the disk as the pairs before it will have left it; it
    // ends at a pair that will fail.
    std::vector<PlacedPair> Plan(std::size_t count) {
        DiskView view{services_.files, {}, {}, {}, {}};
        std::vector<PlacedPair> plan;
        for (std::size_t i = 0; i < count; ++i) {
            auto pair = Intent(mod_.szSrcPaths[i], mod_.szDstFolders[i], view);
            if (!pair) {
                break;
            }
            view.Note(*pair);
            if (pair->willBackUp) {
                view.planned[PathKey(pair->paths.backup)] = {view.KindOf(pair->paths.target), true};
                view.renamed.insert(PathKey(pair->paths.backup));
            }
            if (pair->targetWasFree) {
                view.planned[PathKey(pair->paths.target)] = {pair->kind, true};
                view.created.insert(PathKey(pair->paths.target));
            }
            plan.push_back(std::move(*pair));
        }
        return plan;
    }

    bool PlacePair(const std::string& source, const std::string& destination, std::size_t index) {
        SwapFileSystem& files = services_.files;
        auto intent = Intent(source, destination, actual_);
        if (!intent) {
            return false;
        }
        intent->started = true;
        actual_.Note(*intent);
        PlacedPair& pair = placed_.emplace_back(std::move(*intent));
        // That this pair starts goes on record, quickly: if the record is older after a power cut, the
        // next start leaves an unfinished copy in place rather than guess whose it is. The disk may
        // also differ from the plan (someone changed it meanwhile); then the record says so, durably.
        if (journal_) {
            PlacedPair expected = index < planned_.size() ? planned_[index] : PlacedPair{};
            expected.started = true;
            std::vector<PlacedPair> recorded = inherited_;
            recorded.insert(recorded.end(), placed_.begin(), placed_.end());
            recorded.insert(recorded.end(),
                            planned_.begin() + static_cast<std::ptrdiff_t>(std::min(index + 1, planned_.size())),
                            planned_.end());
            if (!journal_->Save(recorded, !(expected == pair))) {
                return false;
            }
        }
        const std::string& target = pair.paths.target;
        const std::string& backup = pair.paths.backup;

        if (files.Exists(target)) {
            if (!files.SetAttributesNormal(target)) {
                return false;
            }
            if (pair.willBackUp) {
                if (!files.Rename(target, backup)) {
                    return false;
                }
                actual_.renamed.insert(PathKey(backup));
            }
        }
        const bool copied = pair.kind == EntryKind::File ? files.CopyFile(source, target, listener_)
                                                         : files.CopyFolder(source, target, listener_);
        if (pair.targetWasFree) {
            // Also after a failed copy: a partial copy is this launch's own and goes in the undo.
            pair.created = files.IdentityOf(target);
            actual_.created.insert(PathKey(target));
        }
        pair.copied = copied;
        pair.mergedIntoExisting = copied && !pair.targetWasFree;
        if (copied && journal_) {
            // A copy is measured as soon as it is in, before later pairs nest theirs inside it (their
            // undo takes them out again); a pair that merges into an earlier copy changes that copy.
            const std::string key = PathKey(target);
            for (auto& earlier : placed_) {
                if (earlier.copied && earlier.created &&
                    (&earlier == &pair || (pair.mergedIntoExisting && PathKey(earlier.paths.target) == key))) {
                    earlier.content = files.MeasureTree(earlier.paths.target);
                }
            }
        }
        return copied;
    }

    const ModRecord& mod_;
    const LaunchServices& services_;
    LaunchJournal* journal_;
    CopyProgress copied_;
    CopyListener listener_;
    std::vector<PlacedPair> inherited_;
    std::vector<PlacedPair> planned_;
    std::vector<PlacedPair> placed_;
    DiskView actual_{services_.files, {}, {}, {}, {}};
};

} // namespace

bool UndoPlacedPairs(const std::vector<PlacedPair>& pairs, SwapFileSystem& files, bool strict,
                     std::vector<PlacedPair>* left) {
    bool allRestored = true;
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
        if (!UndoPair(*pair, files, strict)) {
            allRestored = false;
            if (left) {
                left->push_back(*pair);
            }
        }
    }
    return allRestored;
}

std::optional<PairPaths> PairPathsFor(std::string_view source, std::string_view destinationFolder) {
    const auto hasControl = [](std::string_view text) {
        return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    };
    const std::size_t slash = source.rfind('\\');
    if (slash == std::string_view::npos || hasControl(source) || hasControl(destinationFolder)) {
        return std::nullopt;
    }
    std::string_view entry = source.substr(slash);
    if (destinationFolder.ends_with('\\')) {
        entry.remove_prefix(1);
    }
    PairPaths paths;
    paths.target = std::string(destinationFolder) + std::string(entry);
    paths.backup = paths.target + std::string(kBackupSuffix);
    return paths;
}

EntryKind KindByName(std::string_view target) {
    const std::size_t dot = target.find('.');
    return dot != std::string_view::npos && dot >= 1 ? EntryKind::File : EntryKind::Folder;
}

bool LaunchWithMod(const ProgramValues& values, const LaunchServices& services, std::string& command,
                   std::int16_t modIndex) {
    if (modIndex < 0) {
        (void)services.runner.RunAndWait(command);
        return true;
    }
    if (static_cast<std::size_t>(modIndex) >= values.Mods.size()) {
        services.messages.Show(kLaunchFailedMessage, MessageIcon::None);
        return false;
    }
    const ModRecord& mod = values.Mods[static_cast<std::size_t>(modIndex)];
    if (Utf8Length(mod.szModFile) > 1) {
        command += " -mod " + mod.szModFile;
    }
    // A mod without pairs touches no file: it needs neither a record nor the lock.
    LaunchServices used = services;
    if (PairCountOf(mod) == 0) {
        used.journal = nullptr;
        used.lock = nullptr;
    }
    // Another launch swapping into the installations from this program folder: touch nothing.
    if (used.lock && used.journal && !used.lock->TryAcquire(used.journal->Folder())) {
        services.messages.Show(kLaunchFailedMessage, MessageIcon::None);
        return false;
    }
    const LockHolder holder(used.journal ? used.lock : nullptr);
    SwapCycle cycle(mod, used);
    if (used.journal) {
        // A record an earlier launch left (what a restore could not put back) is kept, not replaced;
        // one that cannot be read is never written over.
        std::vector<PlacedPair> earlier;
        const JournalState state = used.journal->Load(earlier);
        if (state == JournalState::Unreadable || state == JournalState::NewerFormat) {
            services.messages.Show(kLaunchFailedMessage, MessageIcon::None);
            return false;
        }
        cycle.Inherit(std::move(earlier));
    }
    if (!cycle.SwapIn()) {
        (void)cycle.Undo();
        services.messages.Show(kLaunchFailedMessage, MessageIcon::None);
        return false;
    }
    (void)services.runner.RunAndWait(command);
    if (!cycle.Undo()) {
        services.messages.Show(kLaunchFailedMessage, MessageIcon::None);
        return false;
    }
    return true;
}

} // namespace vantrel
