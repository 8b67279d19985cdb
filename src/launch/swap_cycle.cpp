#include "launch/swap_cycle.h"

#include <algorithm>
#include <set>

#include "platform/utf8.h"

namespace vantrel {
namespace {

class SwapCycle {
public:
    SwapCycle(const ModRecord& mod, SwapFileSystem& files, const std::function<void(const CopyProgress&)>& progress)
        : mod_(mod), files_(files), progress_(progress) {}

    // Places every pair in order; false at the first failure, with what was done so far recorded.
    bool SwapIn() {
        const auto count = std::min<std::size_t>({static_cast<std::size_t>(std::max<std::int16_t>(mod_.nPairCount, 0)),
                                                   mod_.szSrcPaths.size(), mod_.szDstFolders.size()});
        if (progress_) {
            for (std::size_t i = 0; i < count; ++i) {
                const TreeSize size = files_.MeasureTree(mod_.szSrcPaths[i]);
                copied_.entriesTotal += size.entries;
                copied_.bytesTotal += size.bytes;
            }
            progress_(copied_);
            listener_ = [this](std::uint64_t bytes) {
                ++copied_.entriesDone;
                copied_.bytesDone += bytes;
                progress_(copied_);
            };
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (!PlacePair(mod_.szSrcPaths[i], mod_.szDstFolders[i])) {
                return false;
            }
        }
        return true;
    }

    // Undoes the placed pairs newest first; a pair that cannot be undone is left as it is and the
    // others go on. False when any pair could not be undone.
    bool Undo() {
        bool allRestored = true;
        for (auto pair = placed_.rbegin(); pair != placed_.rend(); ++pair) {
            allRestored = UndoPair(*pair) && allRestored;
        }
        placed_.clear();
        return allRestored;
    }

private:
    bool PlacePair(const std::string& source, const std::string& destination) {
        auto paths = PairPathsFor(source, destination);
        if (!paths) {
            return false;
        }
        PlacedPair& pair = placed_.emplace_back();
        pair.paths = std::move(*paths);
        const std::string& target = pair.paths.target;
        const std::string& backup = pair.paths.backup;
        // The source on disk says what is copied; the name only when the source is missing.
        const EntryKind sourceKind = files_.KindOf(source);
        pair.kind = sourceKind != EntryKind::None ? sourceKind : KindByName(target);

        if (files_.Exists(target)) {
            if (!files_.SetAttributesNormal(target)) {
                return false;
            }
            if (!files_.Exists(backup)) {
                if (!files_.Rename(target, backup)) {
                    return false;
                }
                pair.backedUp = true;
                backupsMade_.insert(backup);
            }
        }
        pair.backupWasThere = !pair.backedUp && files_.Exists(backup) && !backupsMade_.contains(backup);

        const bool targetWasFree = files_.KindOf(target) == EntryKind::None;
        const bool copied = pair.kind == EntryKind::File ? files_.CopyFile(source, target, listener_)
                                                         : files_.CopyFolder(source, target, listener_);
        if (targetWasFree) {
            // Also after a failed copy: a partial copy is this launch's own and goes in the undo.
            pair.created = files_.IdentityOf(target);
        } else {
            pair.mergedIntoExisting = copied;
        }
        return copied;
    }

    bool Remove(const std::string& target, EntryKind kind) {
        // Only this launch's own copies, or a leftover an earlier launch merged into, are removed:
        // forcing a read-only copy away is safe, as no game file is ever removed here.
        return kind == EntryKind::Folder ? files_.DeleteFolder(target) : files_.DeleteFile(target, true);
    }

    bool UndoPair(const PlacedPair& pair) {
        const std::string& target = pair.paths.target;
        bool restored = true;
        if (pair.created) {
            const auto now = files_.IdentityOf(target);
            if (now == pair.created) {
                restored = Remove(target, pair.kind);
            } else {
                restored = false; // gone, or replaced by someone else: not ours to remove
            }
        } else if (pair.backupWasThere && pair.mergedIntoExisting) {
            // An earlier failed launch left the backup; what stands at the target is not the game's.
            restored = Remove(target, pair.kind);
        }
        if (pair.backedUp || pair.backupWasThere) {
            if (files_.KindOf(target) == EntryKind::None) {
                restored = files_.Rename(pair.paths.backup, target) && restored;
            } else {
                restored = false;
            }
        }
        return restored;
    }

    const ModRecord& mod_;
    SwapFileSystem& files_;
    const std::function<void(const CopyProgress&)>& progress_;
    CopyProgress copied_;
    CopyListener listener_;
    std::vector<PlacedPair> placed_;
    std::set<std::string> backupsMade_;
};

} // namespace

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
    SwapCycle cycle(mod, services.files, services.progress);
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
