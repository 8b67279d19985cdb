#include "platform/wine/wine_swap_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/case_fold.h"
#include "platform/fingerprint.h"
#include "platform/refusals.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

constexpr const char* kNoDrive = "no such drive on the machine";
using refusal::kDrive;
using refusal::kIntoItself;
using refusal::kLoop;
using refusal::kNeither;
using refusal::kReadOnly;
using refusal::kStopped;

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & S_IWUSR) == 0;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file system's own id, which stays when the kernel numbers its device otherwise after a restart;
// the device number where the file system has none.
std::uint64_t VolumeIdOf(const struct statfs& volume, dev_t device) {
    std::uint64_t id = 0;
    std::memcpy(&id, &volume.f_fsid, std::min(sizeof id, sizeof volume.f_fsid));
    return id != 0 ? id : static_cast<std::uint64_t>(device);
}

// What one entry adds to the fingerprint of a tree; a folder's size and time do not count.
std::uint64_t Fingerprint(const std::string& relative, const struct stat& info) {
    if (S_ISDIR(info.st_mode)) {
        return EntryFingerprint(relative, 0, 0);
    }
    const auto modified = static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000ULL +
                          static_cast<std::uint64_t>(info.st_mtim.tv_nsec);
    return EntryFingerprint(relative, static_cast<std::uint64_t>(info.st_size), modified);
}

void Count(TreeSize& size, const std::string& relative, const struct stat& info) {
    ++size.entries;
    size.bytes += S_ISDIR(info.st_mode) ? 0 : static_cast<std::uint64_t>(info.st_size);
    size.fingerprint += Fingerprint(relative, info);
}

bool CopyContent(int from, int to) {
    // The kernel copies without a trip through user space where it can.
    for (;;) {
        const ssize_t copied = copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
        if (copied == 0) {
            return true;
        }
        if (copied < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
    }
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
        return false;
    }
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = read(from, buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t done = 0; done < got;) {
            const ssize_t written = write(to, buffer + done, static_cast<std::size_t>(got - done));
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += written;
        }
    }
}

// True when the folder open as `dirFd`, or a folder above it, is `folder`.
bool IsWithin(int dirFd, const struct stat& folder) {
    struct stat current {};
    if (fstat(dirFd, &current) != 0) {
        return false;
    }
    UniqueFd held;
    for (int fd = dirFd;; fd = held.Get()) {
        if (SameEntry(current, folder)) {
            return true;
        }
        UniqueFd parent(openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat above {};
        if (!parent.Valid() || fstat(parent.Get(), &above) != 0 || SameEntry(above, current)) {
            return false; // the top of the host
        }
        held = std::move(parent);
        current = above;
    }
}

// How a file copy meets its target: CopyFile's must be new and is told of; a file in a folder
// copy overwrites a writable file of the same name.
enum class FileTarget { NewAndTold, NewOrOverwritten };

// One copy of a file or folder: what it has placed so far and why it stopped.
class TreeCopy {
public:
    TreeCopy(const CopyEvents& events, std::function<EntryIdentity(const struct stat&)> identify)
        : events_(events), identify_(std::move(identify)) {}

    // Copies a file as Windows does: content, modification time and the read-only state.
    bool CopyOneFile(int fromDir, const char* fromName, int toDir, const char* toName, FileTarget target,
                     const std::string& relative);
    bool CopyFolderContent(int fromDir, int toDir, const std::string& relative);
    // Tells of a new entry; false when the listener stops the copy.
    bool TellCreated(const struct stat& info);

    TreeSize placed;
    // The folders being read and written, innermost last: a source folder among them is a loop.
    std::vector<struct stat> openFolders;
    std::string error;

private:
    bool Fail(std::string reason) {
        error = std::move(reason);
        return false;
    }
    bool FailWithErrno() { return Fail(ErrorText(errno)); }

    const CopyEvents& events_;
    std::function<EntryIdentity(const struct stat&)> identify_;
};

bool TreeCopy::TellCreated(const struct stat& info) {
    return !events_.created || events_.created(identify_(info)) || Fail(kStopped);
}

// Opens a file to read it, refusing all but a regular file without waiting on a pipe or a device.
UniqueFd OpenRegularFile(int dir, const char* name, struct stat& info, std::string& error) {
    UniqueFd fd(openat(dir, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0) {
        error = ErrorText(errno);
        return UniqueFd();
    }
    if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "not a file" : kNeither;
        return UniqueFd();
    }
    if (fcntl(fd.Get(), F_SETFL, 0) != 0) {
        error = ErrorText(errno);
        return UniqueFd();
    }
    return fd;
}

bool TreeCopy::CopyOneFile(int fromDir, const char* fromName, int toDir, const char* toName,
                           FileTarget target, const std::string& relative) {
    struct stat info {};
    const UniqueFd from = OpenRegularFile(fromDir, fromName, info, error);
    if (!from.Valid()) {
        return false;
    }
    const mode_t mode = info.st_mode & 0777;
    // A new file, the common case, costs no look at the target first.
    bool created = true;
    UniqueFd to(openat(toDir, toName, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode | S_IWUSR));
    if (!to.Valid()) {
        struct stat existing {};
        if (errno != EEXIST || target != FileTarget::NewOrOverwritten) {
            return FailWithErrno();
        }
        if (fstatat(toDir, toName, &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            return FailWithErrno();
        }
        if (!S_ISREG(existing.st_mode)) {
            return Fail(ErrorText(EEXIST));
        }
        if (IsReadOnly(existing)) {
            return Fail(kReadOnly);
        }
        to = UniqueFd(openat(toDir, toName, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
        if (!to.Valid()) {
            return FailWithErrno();
        }
        created = false;
    }
    struct stat result {};
    if (created && target == FileTarget::NewAndTold && events_.created) {
        if (fstat(to.Get(), &result) != 0) {
            const std::string reason = ErrorText(errno);
            unlinkat(toDir, toName, 0);
            return Fail(reason);
        }
        if (!TellCreated(result)) {
            return false;
        }
    }
    // The result is measured on the copy itself, after its time was set: a disk that keeps coarser
    // times stores less than the source had.
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (!CopyContent(from.Get(), to.Get()) || fchmod(to.Get(), mode) != 0 || futimens(to.Get(), times) != 0 ||
        fstat(to.Get(), &result) != 0 || !to.Close()) {
        const std::string reason = ErrorText(errno);
        if (created) {
            unlinkat(toDir, toName, 0);
        }
        return Fail(reason);
    }
    Count(placed, relative, result);
    if (events_.written) {
        events_.written(static_cast<std::uint64_t>(result.st_size));
    }
    return true;
}

bool TreeCopy::CopyFolderContent(int fromDir, int toDir, const std::string& relative) {
    const int listFd = dup(fromDir);
    const UniqueDir dir(listFd >= 0 ? fdopendir(listFd) : nullptr);
    if (!dir) {
        const std::string reason = ErrorText(errno);
        if (listFd >= 0) {
            close(listFd);
        }
        return Fail(reason);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            return errno == 0 || FailWithErrno();
        }
        const char* name = entry->d_name;
        if (std::string_view(name) == "." || std::string_view(name) == "..") {
            continue;
        }
        const std::string entryPath = relative + "\\" + name;
        if (entry->d_type == DT_REG) {
            // The type the folder lists saves a look at each file; the open checks it again.
            if (!CopyOneFile(fromDir, name, toDir, name, FileTarget::NewOrOverwritten, entryPath)) {
                return false;
            }
            continue;
        }
        // Links in the source are followed, as Wine shows them, and checked before anything opens.
        struct stat info {};
        if (fstatat(fromDir, name, &info, 0) != 0) {
            return FailWithErrno();
        }
        if (S_ISREG(info.st_mode)) {
            if (!CopyOneFile(fromDir, name, toDir, name, FileTarget::NewOrOverwritten, entryPath)) {
                return false;
            }
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            return Fail(kNeither);
        }
        if (std::any_of(openFolders.begin(), openFolders.end(),
                        [&](const struct stat& folder) { return SameEntry(folder, info); })) {
            return Fail(kLoop); // a link back up the tree would never end
        }
        // Windows keeps no read-only state on folders: the copy must take the files.
        const bool made = mkdirat(toDir, name, (info.st_mode & 0777) | S_IWUSR) == 0;
        if (!made && errno != EEXIST) {
            return FailWithErrno();
        }
        const UniqueFd from(openat(fromDir, name, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
        const UniqueFd to(openat(toDir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat target {};
        if (!from.Valid() || !to.Valid() || fstat(to.Get(), &target) != 0) {
            return Fail(!made && (errno == ENOTDIR || errno == ELOOP) ? ErrorText(EEXIST) : ErrorText(errno));
        }
        if (made) {
            Count(placed, entryPath, target);
            if (events_.written) {
                events_.written(0);
            }
        }
        openFolders.push_back(info);
        openFolders.push_back(target);
        const bool copied = CopyFolderContent(from.Get(), to.Get(), entryPath);
        openFolders.resize(openFolders.size() - 2);
        if (!copied) {
            return false;
        }
    }
}

// Removes everything inside the folder, links not followed, read-only entries included; a folder
// of the machine's drives found inside is kept. Goes on after a failure, keeping the first reason.
bool ClearFolder(int dirFd, const std::vector<std::pair<std::uint64_t, std::uint64_t>>& drives, std::string& error) {
    const auto fail = [&error](std::string reason) {
        if (error.empty()) {
            error = std::move(reason);
        }
        return false;
    };
    const int listFd = dup(dirFd);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        const std::string reason = ErrorText(errno);
        if (listFd >= 0) {
            close(listFd);
        }
        return fail(reason);
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    bool ok = errno == 0 || fail(ErrorText(errno));
    closedir(dir);
    for (const auto& name : names) {
        struct stat info {};
        if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = fail(ErrorText(errno));
            continue;
        }
        if (!S_ISDIR(info.st_mode)) {
            ok = (unlinkat(dirFd, name.c_str(), 0) == 0 || fail(ErrorText(errno))) && ok;
            continue;
        }
        if (std::find(drives.begin(), drives.end(), std::pair<std::uint64_t, std::uint64_t>(info.st_dev, info.st_ino)) !=
            drives.end()) {
            ok = fail(kDrive);
            continue;
        }
        const UniqueFd child(openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        ok = (child.Valid() || fail(ErrorText(errno))) && ClearFolder(child.Get(), drives, error) && ok;
        ok = (unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 || fail(ErrorText(errno))) && ok;
    }
    return ok;
}

} // namespace

bool WineSwapFileSystem::Fail(std::string reason) {
    lastError_ = std::move(reason);
    return false;
}

bool WineSwapFileSystem::FailWithErrno() {
    return Fail(ErrorText(errno));
}

std::string WineSwapFileSystem::MachineName() {
    return MachineNameOf(prefix_.Root());
}

std::string WineSwapFileSystem::MachineNameOf(const std::string& prefixRoot) {
    char buffer[PATH_MAX];
    return realpath(prefixRoot.c_str(), buffer) ? std::string(buffer) : prefixRoot;
}

std::string WineSwapFileSystem::SessionName() {
    // What a crash of the host loses is lost with its boot, not with Wine's server.
    const UniqueFd fd(open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC));
    char buffer[64];
    const ssize_t got = fd.Valid() ? read(fd.Get(), buffer, sizeof buffer) : -1;
    std::string name(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) {
        name.pop_back();
    }
    return name;
}

bool WineSwapFileSystem::IsSameSession(std::string_view sessionName) {
    return !sessionName.empty() && sessionName == SessionName();
}

std::string WineSwapFileSystem::LastError() {
    return lastError_;
}

// What the path names, a link followed as Wine follows it; nullopt when nothing is there.
std::optional<struct stat> WineSwapFileSystem::Followed(std::string_view path, std::string* host) {
    struct stat info {};
    auto found = prefix_.ToHostPathExactLeaf(path, &info);
    if (!found || info.st_mode == 0 || (S_ISLNK(info.st_mode) && stat(found->c_str(), &info) != 0)) {
        return std::nullopt;
    }
    if (host) {
        *host = std::move(*found);
    }
    return info;
}

bool WineSwapFileSystem::Exists(std::string_view path) {
    std::string host;
    const auto info = Followed(path, &host);
    return info && !IsHiddenName(BaseName(host)) && (S_ISREG(info->st_mode) || S_ISDIR(info->st_mode));
}

EntryKind WineSwapFileSystem::KindOf(std::string_view path) {
    const auto info = Followed(path, nullptr);
    return !info ? EntryKind::None
                 : S_ISDIR(info->st_mode) ? EntryKind::Folder : S_ISREG(info->st_mode) ? EntryKind::File : EntryKind::None;
}

std::optional<std::string> WineSwapFileSystem::EntryName(std::string_view path) {
    // Many names asked for in one folder, as a mod of many pairs does, find that folder once.
    const std::size_t slash = path.rfind('\\');
    const std::string_view windowsFolder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
    const std::string_view plainLeaf = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    const bool sameFolder = !names_.folder.empty() && !windowsFolder.empty() && windowsFolder == names_.windowsFolder &&
                            !plainLeaf.empty() && plainLeaf != "." && plainLeaf != ".." &&
                            plainLeaf.find('/') == std::string_view::npos;
    const auto host = sameFolder ? std::optional(names_.folder + "/" + std::string(plainLeaf))
                                 : prefix_.ToHostPathExactLeaf(path);
    const std::string_view leaf = host ? BaseName(*host) : std::string_view();
    if (leaf.empty() || leaf == ".") {
        return std::nullopt;
    }
    const std::string folder = ParentOf(*host);
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        if (sameFolder) {
            names_.folder.clear(); // gone since: find it again
            return EntryName(path);
        }
        return std::nullopt;
    }
    // A folder changes its time of change with every entry added, removed or renamed in it.
    if (names_.folder != folder || names_.device != info.st_dev || names_.inode != info.st_ino ||
        names_.changedSeconds != info.st_ctim.tv_sec || names_.changedNanoseconds != info.st_ctim.tv_nsec) {
        names_ = {folder, {}, info.st_dev, info.st_ino, info.st_ctim.tv_sec, info.st_ctim.tv_nsec, {}, {}};
        const UniqueDir dir(opendir(folder.c_str()));
        while (const dirent* entry = dir ? readdir(dir.get()) : nullptr) {
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") {
                continue;
            }
            // The folder lists in no set order: of names alike but for case, the first by bytes is taken.
            names_.all.emplace(name);
            auto [known, added] = names_.byKey.try_emplace(NameOrderKey(name), name);
            if (!added && name < known->second) {
                known->second = std::string(name);
            }
        }
    }
    names_.windowsFolder = windowsFolder;
    if (names_.all.contains(std::string(leaf))) {
        return std::string(leaf);
    }
    const auto found = names_.byKey.find(NameOrderKey(leaf));
    return found == names_.byKey.end() ? std::nullopt : std::optional(found->second);
}

std::optional<EntryIdentity> WineSwapFileSystem::IdentityOf(std::string_view path) {
    struct stat info {};
    const auto host = prefix_.ToHostPathExactLeaf(path, &info);
    if (!host || info.st_mode == 0) {
        return std::nullopt;
    }
    const UniqueFd folder(volumes_.contains(info.st_dev) ? -1 : open(ParentOf(*host).c_str(), O_RDONLY | O_CLOEXEC));
    return IdentityIn(info, folder.Get());
}

bool WineSwapFileSystem::HasStableIdentities(std::string_view path) {
    // FAT and exFAT have no inode numbers: the kernel makes them up as it reads an entry, and FUSE
    // drivers (exFAT's, NTFS's, FAT's) number entries as they are looked up, anew at every mount.
    // (f_type is unsigned on some systems: compared as the low 32 bits.)
    constexpr long kFat = 0x4d44;
    constexpr long kExFat = 0x2011BAB0;
    constexpr long kFuse = 0x65735546;
    // Windows shares mounted without the server's own numbers (noserverino) number entries anew too.
    constexpr long kCifs = 0xFF534D42;
    constexpr long kSmb2 = 0xFE534D42;
    constexpr long kSmb = 0x517B;
    auto host = prefix_.ToHostPath(path);
    for (std::string folder = host ? *host : std::string(); !folder.empty() && folder != "."; folder = ParentOf(folder)) {
        struct statfs volume {};
        if (statfs(folder.c_str(), &volume) == 0) {
            const long type = static_cast<long>(static_cast<std::uint32_t>(volume.f_type));
            return type != kFat && type != kExFat && type != kFuse && type != kCifs && type != kSmb2 && type != kSmb;
        }
        if (folder == "/") {
            break;
        }
    }
    return true;
}

EntryIdentity WineSwapFileSystem::IdentityIn(const struct stat& info, int folderOnIt) {
    auto known = volumes_.find(info.st_dev);
    if (known == volumes_.end()) {
        struct statfs volume {};
        const std::uint64_t id = folderOnIt >= 0 && fstatfs(folderOnIt, &volume) == 0
                                     ? VolumeIdOf(volume, info.st_dev)
                                     : static_cast<std::uint64_t>(info.st_dev);
        known = volumes_.emplace(info.st_dev, id).first;
    }
    return {known->second, static_cast<std::uint64_t>(info.st_ino)};
}

bool WineSwapFileSystem::CanChangeFolder(std::string_view folder) {
    const auto host = prefix_.ToHostPathExactLeaf(folder);
    struct stat info {};
    if (!host) {
        return Fail(kNoDrive);
    }
    if (stat(host->c_str(), &info) != 0) {
        return FailWithErrno();
    }
    if (!S_ISDIR(info.st_mode)) {
        return Fail(ErrorText(ENOTDIR));
    }
    return access(host->c_str(), W_OK | X_OK) == 0 || FailWithErrno();
}

std::optional<std::string> WineSwapFileSystem::Changeable(std::string_view path, struct stat& info) {
    auto host = prefix_.ToHostPathExactLeaf(path, &info);
    if (!host) {
        Fail(kNoDrive);
    } else if (info.st_mode == 0) {
        Fail(ErrorText(ENOENT));
    } else if (prefix_.IsDriveEntry(*host, info)) {
        Fail(kDrive);
    } else {
        return host;
    }
    return std::nullopt;
}

bool WineSwapFileSystem::SetAttributesNormal(std::string_view path) {
    struct stat info {};
    const auto host = Changeable(path, info);
    if (!host) {
        return false;
    }
    // A link has no attributes of its own; what it leads to is not the entry named.
    if (S_ISLNK(info.st_mode) || !IsReadOnly(info)) {
        return true;
    }
    return chmod(host->c_str(), (info.st_mode & 07777) | S_IWUSR) == 0 || FailWithErrno();
}

bool WineSwapFileSystem::CreateFolder(std::string_view path) {
    names_.folder.clear();
    struct stat info {};
    const auto host = prefix_.ToHostPathExactLeaf(path, &info);
    if (!host) {
        return Fail(kNoDrive);
    }
    return mkdir(host->c_str(), 0777) == 0 || FailWithErrno();
}

bool WineSwapFileSystem::Rename(std::string_view from, std::string_view to) {
    names_.folder.clear(); // names change faster than a coarse clock tells
    struct stat fromInfo {};
    struct stat toInfo {};
    const auto hostFrom = prefix_.ToHostPathExactLeaf(from, &fromInfo);
    const auto hostTo = prefix_.ToHostPathExactLeaf(to, &toInfo);
    if (!hostFrom || !hostTo) {
        return Fail(kNoDrive);
    }
    if (fromInfo.st_mode == 0) {
        return Fail(ErrorText(ENOENT));
    }
    if (prefix_.IsDriveEntry(*hostFrom, fromInfo) || prefix_.IsDriveEntry(*hostTo, toInfo)) {
        return Fail(kDrive);
    }
    if (renameat2(AT_FDCWD, hostFrom->c_str(), AT_FDCWD, hostTo->c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    // File systems without RENAME_NOREPLACE: check, then rename.
    if (errno != EINVAL && errno != ENOSYS) {
        return FailWithErrno();
    }
    if (PathExists(*hostTo)) {
        return Fail(ErrorText(EEXIST));
    }
    return rename(hostFrom->c_str(), hostTo->c_str()) == 0 || FailWithErrno();
}

TreeSize WineSwapFileSystem::MeasureTree(std::string_view path) {
    TreeSize size;
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    if (!host || lstat(host->c_str(), &info) != 0) {
        return size;
    }
    if (!S_ISDIR(info.st_mode)) {
        Count(size, "", info);
        return size;
    }
    // Folders, each with its path relative to the measured one. No link is entered, so only a
    // folder mounted inside itself could make a loop.
    std::vector<std::pair<std::string, std::string>> pending{{*host, ""}};
    std::vector<struct stat> seen{info};
    size.entries = 1;
    while (!pending.empty()) {
        const auto [folder, relative] = std::move(pending.back());
        pending.pop_back();
        const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const UniqueDir dir(fd >= 0 ? fdopendir(fd) : nullptr);
        if (!dir) {
            if (fd >= 0) {
                close(fd);
            }
            continue;
        }
        while (const dirent* entry = readdir(dir.get())) {
            const std::string_view name = entry->d_name;
            struct stat child {};
            if (name == "." || name == ".." ||
                fstatat(dirfd(dir.get()), entry->d_name, &child, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            const std::string entryPath = relative + "\\" + std::string(name);
            Count(size, entryPath, child);
            if (S_ISDIR(child.st_mode) && std::none_of(seen.begin(), seen.end(), [&](const struct stat& a) {
                    return SameEntry(a, child);
                })) {
                seen.push_back(child);
                pending.emplace_back(folder + "/" + std::string(name), entryPath);
            }
        }
    }
    return size;
}

bool WineSwapFileSystem::CopyFile(std::string_view from, std::string_view to, const CopyEvents& events,
                                  TreeSize& placed) {
    names_.folder.clear(); // names change faster than a coarse clock tells
    placed = {};
    const auto hostFrom = prefix_.ToHostPath(from);
    struct stat toInfo {};
    const auto hostTo = prefix_.ToHostPathExactLeaf(to, &toInfo);
    if (!hostFrom || !hostTo) {
        return Fail(kNoDrive);
    }
    if (prefix_.IsDriveEntry(*hostTo, toInfo)) {
        return Fail(kDrive);
    }
    const UniqueFd toDir(open(ParentOf(*hostTo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!toDir.Valid()) {
        return FailWithErrno();
    }
    TreeCopy copy(events, [this, &toDir](const struct stat& entry) { return IdentityIn(entry, toDir.Get()); });
    const std::string name(BaseName(*hostTo));
    const bool copied =
        copy.CopyOneFile(AT_FDCWD, hostFrom->c_str(), toDir.Get(), name.c_str(), FileTarget::NewAndTold, "");
    placed = copy.placed;
    return copied || Fail(copy.error);
}

bool WineSwapFileSystem::CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events,
                                    TreeSize& placed) {
    names_.folder.clear(); // names change faster than a coarse clock tells
    placed = {};
    const auto hostFrom = prefix_.ToHostPath(from);
    struct stat toInfo {};
    const auto hostTo = prefix_.ToHostPathExactLeaf(to, &toInfo);
    if (!hostFrom || !hostTo) {
        return Fail(kNoDrive);
    }
    if (prefix_.IsDriveEntry(*hostTo, toInfo)) {
        return Fail(kDrive);
    }
    const UniqueFd fromDir(open(hostFrom->c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!fromDir.Valid() || fstat(fromDir.Get(), &info) != 0) {
        return FailWithErrno();
    }
    const UniqueFd toParent(open(ParentOf(*hostTo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!toParent.Valid()) {
        return FailWithErrno();
    }
    // Windows refuses to copy a folder into itself.
    if (IsWithin(toParent.Get(), info)) {
        return Fail(kIntoItself);
    }
    const std::string name(BaseName(*hostTo));
    const bool made = mkdirat(toParent.Get(), name.c_str(), (info.st_mode & 0777) | S_IWUSR) == 0;
    if (!made && errno != EEXIST) {
        return FailWithErrno();
    }
    // Not through a link: only a folder of that name is merged into.
    const UniqueFd toDir(
        openat(toParent.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat target {};
    if (!toDir.Valid() || fstat(toDir.Get(), &target) != 0) {
        return Fail(!made && (errno == ENOTDIR || errno == ELOOP) ? ErrorText(ENOTDIR) : ErrorText(errno));
    }
    if (SameEntry(target, info)) {
        return Fail(kIntoItself);
    }
    TreeCopy copy(events, [this, &toDir](const struct stat& entry) { return IdentityIn(entry, toDir.Get()); });
    if (made) {
        if (!copy.TellCreated(target)) {
            return Fail(copy.error);
        }
        copy.placed.entries = 1;
        if (events.written) {
            events.written(0);
        }
    }
    copy.openFolders = {info, target};
    const bool copied = copy.CopyFolderContent(fromDir.Get(), toDir.Get(), "");
    placed = copy.placed;
    return copied || Fail(copy.error);
}

bool WineSwapFileSystem::DeleteFile(std::string_view path, bool force) {
    names_.folder.clear(); // names change faster than a coarse clock tells
    struct stat info {};
    const auto host = prefix_.ToHostPathExactLeaf(path, &info);
    if (!host) {
        return Fail(kNoDrive);
    }
    if (info.st_mode == 0) {
        return Fail(ErrorText(ENOENT));
    }
    if (S_ISDIR(info.st_mode)) {
        return Fail(ErrorText(EISDIR));
    }
    if (prefix_.IsDriveEntry(*host, info)) {
        return Fail(kDrive);
    }
    // A link goes, whatever it leads to; a read-only state belongs to its target.
    if (!S_ISLNK(info.st_mode)) {
        if (!S_ISREG(info.st_mode)) {
            return Fail(kNeither);
        }
        if (!force && IsReadOnly(info)) {
            return Fail(kReadOnly);
        }
    }
    return unlink(host->c_str()) == 0 || FailWithErrno();
}

bool WineSwapFileSystem::DeleteFolder(std::string_view path) {
    names_.folder.clear(); // names change faster than a coarse clock tells
    struct stat info {};
    const auto host = Changeable(path, info);
    if (!host) {
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        struct stat target {};
        if (stat(host->c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) {
            return Fail(ErrorText(ENOTDIR));
        }
        return unlink(host->c_str()) == 0 || FailWithErrno();
    }
    if (!S_ISDIR(info.st_mode)) {
        return Fail(ErrorText(ENOTDIR));
    }
    const auto& drives = prefix_.DriveIdentities();
    const UniqueFd dir(open(host->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir.Valid()) {
        return FailWithErrno();
    }
    std::string error;
    if (!ClearFolder(dir.Get(), drives, error)) {
        return Fail(error);
    }
    return rmdir(host->c_str()) == 0 || FailWithErrno();
}

} // namespace vantrel
