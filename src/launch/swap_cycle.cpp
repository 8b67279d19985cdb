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

bool UndoPair(const PlacedPair& pair, SwapFileSystem& files, bool strict) {
    const std::string& target = pair.paths.target;
    const std::string& backup = pair.paths.backup;
    // Nothing else makes the backup while launches are one at a time: if it is there, the rename was done.
    const bool backupMade = pair.willBackUp && files.KindOf(backup) != EntryKind::None;
    bool restored = true;
    if (pair.copied && pair.created) {
        const auto now = files.IdentityOf(target);
        if (!now) {
            restored = strict; // gone: deleted while the game ran, or removed by an earlier restore
        } else if (*now == *pair.created) {
            if (strict && files.MeasureTree(target) != pair.content) {
                return false; // changed since it was placed (the game patched it): not ours to remove
            }
            restored = Remove(files, target, pair.kind);
        } else if (strict && pair.willBackUp && !backupMade) {
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
        // An earlier failed launch left the backup; what stands at the target is not the game's.
        restored = Remove(files, target, pair.kind);
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
    SwapCycle(const ModRecord& mod, const LaunchServices& services) : mod_(mod), services_(services) {}

    // Places every pair in order; false at the first failure, with what was done so far recorded.
    bool SwapIn() {
        const auto count = std::min<std::size_t>({static_cast<std::size_t>(std::max<std::int16_t>(mod_.nPairCount, 0)),
                                                   mod_.szSrcPaths.size(), mod_.szDstFolders.size()});
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
        // What every pair will do goes on record before anything changes: one durable write for the
        // whole swap-in, not one a pair. A pair that finds the disk otherwise records again.
        planned_ = Plan(count);
        if (!Record(planned_)) {
            return false;
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (!PlacePair(mod_.szSrcPaths[i], mod_.szDstFolders[i], i)) {
                return false;
            }
        }
        // What the copies hold must be on record before the game can change them.
        return Record(placed_);
    }

    // Undoes what this launch did, newest first; false when any pair could not be undone. The
    // journal goes once the launch is over.
    bool Undo() {
        const bool allRestored = UndoPlacedPairs(placed_, services_.files, false);
        placed_.clear();
        if (services_.journal) {
            (void)services_.journal->Remove();
        }
        return allRestored;
    }

private:
    bool Record(const std::vector<PlacedPair>& pairs) { return !services_.journal || services_.journal->Save(pairs); }

    // What pair `source` into `destination` will do, judged by `view` of the disk.
    template <typename View>
    PlacedPair Intent(const std::string& source, const std::string& destination, View& view) {
        PlacedPair pair;
        auto paths = PairPathsFor(source, destination);
        if (!paths) {
            return pair;
        }
        pair.paths = std::move(*paths);
        // The source on disk says what is copied; the name only when the source is missing.
        const EntryKind sourceKind = services_.files.KindOf(source);
        pair.kind = sourceKind != EntryKind::None ? sourceKind : KindByName(pair.paths.target);
        const bool targetExists = view.Exists(pair.paths.target);
        const bool backupExists = view.Exists(pair.paths.backup);
        pair.willBackUp = targetExists && !backupExists;
        pair.backupWasThere = backupExists && !view.Made(pair.paths.backup);
        pair.targetWasFree = pair.willBackUp || view.KindOf(pair.paths.target) == EntryKind::None;
        return pair;
    }

    // The intents of all pairs, each seeing the disk as the pairs before it will have left it.
    std::vector<PlacedPair> Plan(std::size_t count) {
        struct Planned {
            SwapFileSystem& files;
            std::map<std::string, EntryKind> kinds; // paths the earlier pairs change
            std::set<std::string> made;
            bool Exists(const std::string& path) {
                const auto found = kinds.find(path);
                return found == kinds.end() ? files.Exists(path) : found->second != EntryKind::None;
            }
            EntryKind KindOf(const std::string& path) {
                const auto found = kinds.find(path);
                return found == kinds.end() ? files.KindOf(path) : found->second;
            }
            bool Made(const std::string& path) const { return made.contains(path); }
        } view{services_.files, {}, {}};
        std::vector<PlacedPair> plan;
        for (std::size_t i = 0; i < count; ++i) {
            PlacedPair pair = Intent(mod_.szSrcPaths[i], mod_.szDstFolders[i], view);
            if (pair.paths.target.empty()) {
                break; // the swap-in stops at this pair
            }
            if (pair.willBackUp) {
                view.kinds[pair.paths.backup] = view.KindOf(pair.paths.target);
                view.made.insert(pair.paths.backup);
            }
            if (view.KindOf(pair.paths.target) == EntryKind::None) {
                view.kinds[pair.paths.target] = pair.kind;
            }
            plan.push_back(std::move(pair));
        }
        return plan;
    }

    bool PlacePair(const std::string& source, const std::string& destination, std::size_t index) {
        SwapFileSystem& files = services_.files;
        struct Actual {
            SwapFileSystem& files;
            const std::set<std::string>& made;
            bool Exists(const std::string& path) { return files.Exists(path); }
            EntryKind KindOf(const std::string& path) { return files.KindOf(path); }
            bool Made(const std::string& path) const { return made.contains(path); }
        } view{files, backupsMade_};
        PlacedPair intent = Intent(source, destination, view);
        if (intent.paths.target.empty()) {
            return false; // a source without a backslash names no entry
        }
        PlacedPair& pair = placed_.emplace_back(std::move(intent));
        // The disk differs from the plan (someone changed it meanwhile): record what will really happen.
        if (index >= planned_.size() || !(planned_[index] == pair)) {
            std::vector<PlacedPair> recorded = placed_;
            recorded.insert(recorded.end(), planned_.begin() + static_cast<std::ptrdiff_t>(std::min(index + 1, planned_.size())),
                            planned_.end());
            if (!Record(recorded)) {
                return false;
            }
        }
        const std::string& target = pair.paths.target;
        const std::string& backup = pair.paths.backup;

        if (pair.willBackUp || files.Exists(target)) {
            if (!files.SetAttributesNormal(target)) {
                return false;
            }
            if (pair.willBackUp) {
                if (!files.Rename(target, backup)) {
                    return false;
                }
                backupsMade_.insert(backup);
            }
        }
        const bool copied = pair.kind == EntryKind::File ? files.CopyFile(source, target, listener_)
                                                         : files.CopyFolder(source, target, listener_);
        if (pair.targetWasFree) {
            // Also after a failed copy: a partial copy is this launch's own and goes in the undo.
            pair.created = files.IdentityOf(target);
        }
        pair.copied = copied;
        pair.mergedIntoExisting = copied && !pair.targetWasFree;
        if (copied && services_.journal) {
            pair.content = files.MeasureTree(target);
        }
        return copied;
    }

    const ModRecord& mod_;
    const LaunchServices& services_;
    CopyProgress copied_;
    CopyListener listener_;
    std::vector<PlacedPair> planned_;
    std::vector<PlacedPair> placed_;
    std::set<std::string> backupsMade_;
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
    const std::size_t slash = source.rfind('\\');
    if (slash == std::string_view::npos) {
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
    // Another launch swapping into the installations from this program folder: touch nothing.
    if (services.lock && services.journal && !services.lock->TryAcquire(services.journal->Folder())) {
        services.messages.Show(kLaunchFailedMessage, MessageIcon::None);
        return false;
    }
    const LockHolder holder(services.journal ? services.lock : nullptr);
    SwapCycle cycle(mod, services);
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
