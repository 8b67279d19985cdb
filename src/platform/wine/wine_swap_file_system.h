// The file operations of a launch in a Wine prefix, with the refusals Windows makes.
#pragma once

#include <string>

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/swap_file_system.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

// Read-only means no write permission for the owner and hidden means a name beginning with a dot,
// as Wine maps them; there is no system attribute. The refusals are checked here, not left to the
// kernel, which lets root delete or overwrite anything. The sources of copies and measurements are
// found without regard to case down to their last name, as a mod written on Windows names them.
class WineSwapFileSystem final : public SwapFileSystem {
public:
    explicit WineSwapFileSystem(const WinePrefix& prefix) : prefix_(prefix) {}

    // The canonical prefix folder, else the prefix folder as given.
    [[nodiscard]] std::string MachineName() override;
    // The same for the prefix in that folder, without a file system of its own.
    [[nodiscard]] static std::string MachineNameOf(const std::string& prefixRoot);
    // The host's boot, which the kernel names anew each time ("" when it cannot be read).
    [[nodiscard]] std::string SessionName() override;
    [[nodiscard]] bool IsSameSession(std::string_view sessionName) override;
    // Set by every operation that fails; the questions (Exists, KindOf, EntryName, IdentityOf,
    // MeasureTree) leave it as it was.
    [[nodiscard]] std::string LastError() override;

    [[nodiscard]] bool Exists(std::string_view path) override;
    [[nodiscard]] EntryKind KindOf(std::string_view path) override;
    // Of several names that match without regard to case, the first in NTFS order.
    [[nodiscard]] std::optional<std::string> EntryName(std::string_view path) override;
    [[nodiscard]] std::optional<EntryIdentity> IdentityOf(std::string_view path) override;
    [[nodiscard]] bool HasStableIdentities(std::string_view path) override;
    [[nodiscard]] bool CanChangeFolder(std::string_view folder) override;
    [[nodiscard]] bool SetAttributesNormal(std::string_view path) override;
    [[nodiscard]] bool CreateFolder(std::string_view path) override;
    [[nodiscard]] bool Rename(std::string_view from, std::string_view to) override;
    [[nodiscard]] TreeSize MeasureTree(std::string_view path) override;
    [[nodiscard]] bool CopyFile(std::string_view from, std::string_view to, const CopyEvents& events,
                                TreeSize& placed) override;
    // After a merge into an existing folder, `placed` covers only the entries the copy wrote.
    [[nodiscard]] bool CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events,
                                  TreeSize& placed) override;
    [[nodiscard]] bool DeleteFile(std::string_view path, bool force) override;
    [[nodiscard]] bool DeleteFolder(std::string_view path) override;

private:
    [[nodiscard]] std::optional<struct stat> Followed(std::string_view path, std::string* host);
    // The identity of an entry, by its file system's own id; `folderOnIt` is an open folder on the same
    // file system, read when that one is met for the first time.
    [[nodiscard]] EntryIdentity IdentityIn(const struct stat& info, int folderOnIt);
    // The host path of an existing entry that is no drive, with its lstat; nullopt (failed) otherwise.
    [[nodiscard]] std::optional<std::string> Changeable(std::string_view path, struct stat& info);
    bool Fail(std::string reason);
    bool FailWithErrno();

    const WinePrefix& prefix_;
    std::string lastError_;
    // The names of the folder EntryName() last looked through, by their upper-case key, kept while
    // the folder is unchanged: a mod of many pairs into one folder then lists it once.
    struct FolderNames {
        std::string folder;        // on the host
        std::string windowsFolder; // as last asked for, which found `folder`
        std::uint64_t device = 0, inode = 0;
        std::int64_t changedSeconds = -1, changedNanoseconds = -1;
        std::unordered_map<std::u16string, std::string> byKey;
        std::unordered_set<std::string> all;
    } names_;
    std::unordered_map<std::uint64_t, std::uint64_t> volumes_; // device number: file system id
};

} // namespace vantrel
