#include "platform/wine/wine_swap_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/fingerprint.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & S_IWUSR) == 0;
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

// Copies one file as Windows does: content, modification time and the read-only state. With
// `replace`, an existing writable file is overwritten; otherwise an existing target is refused.
bool CopyOneFile(int fromDir, const char* fromName, int toDir, const char* toName, bool replace,
                 const CopyListener& listener) {
    const UniqueFd from(openat(fromDir, fromName, O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!from.Valid() || fstat(from.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const mode_t mode = info.st_mode & 0777;
    struct stat existing {};
    const bool exists = fstatat(toDir, toName, &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && (!replace || !S_ISREG(existing.st_mode) || IsReadOnly(existing))) {
        return false;
    }
    const int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | (exists ? O_TRUNC : O_CREAT | O_EXCL);
    UniqueFd to(openat(toDir, toName, flags, mode | S_IWUSR));
    if (!to.Valid()) {
        return false;
    }
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (!CopyContent(from.Get(), to.Get()) || fchmod(to.Get(), mode) != 0 || futimens(to.Get(), times) != 0 ||
        !to.Close()) {
        if (!exists) {
            unlinkat(toDir, toName, 0);
        }
        return false;
    }
    if (listener) {
        listener(static_cast<std::uint64_t>(info.st_size));
    }
    return true;
}

struct Ancestor {
    dev_t device;
    ino_t inode;
};

bool CopyFolderContent(int fromDir, int toDir, std::vector<Ancestor>& ancestors, const CopyListener& listener) {
    const int listFd = dup(fromDir);
    const UniqueDir dir(listFd >= 0 ? fdopendir(listFd) : nullptr);
    if (!dir) {
        if (listFd >= 0) {
            close(listFd);
        }
        return false;
    }
    bool ok = true;
    while (ok) {
        errno = 0;
        const dirent* entry = readdir(dir.get());
        if (!entry) {
            ok = errno == 0;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat info {};
        if (fstatat(fromDir, name.c_str(), &info, 0) != 0) {
            ok = false;
        } else if (S_ISDIR(info.st_mode)) {
            for (const auto& ancestor : ancestors) {
                if (ancestor.device == info.st_dev && ancestor.inode == info.st_ino) {
                    ok = false; // a link back up the tree would never end
                }
            }
            if (!ok) {
                break;
            }
            struct stat existing {};
            if (fstatat(toDir, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
                // Windows keeps no read-only state on folders: the copy must take the files.
                ok = mkdirat(toDir, name.c_str(), (info.st_mode & 0777) | S_IWUSR) == 0;
                if (ok && listener) {
                    listener(0);
                }
            } else {
                ok = S_ISDIR(existing.st_mode);
            }
            const UniqueFd from(ok ? openat(fromDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
            const UniqueFd to(ok ? openat(toDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1);
            ok = from.Valid() && to.Valid();
            if (ok) {
                ancestors.push_back({info.st_dev, info.st_ino});
                ok = CopyFolderContent(from.Get(), to.Get(), ancestors, listener);
                ancestors.pop_back();
            }
        } else {
            ok = CopyOneFile(fromDir, name.c_str(), toDir, name.c_str(), true, listener);
        }
    }
    return ok;
}

// Removes everything inside the folder, links not followed, read-only entries included.
bool ClearFolder(int dirFd) {
    const int listFd = dup(dirFd);
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) {
            close(listFd);
        }
        return false;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    const bool listed = errno == 0;
    closedir(dir);
    bool ok = listed;
    for (const auto& name : names) {
        struct stat info {};
        if (fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            const UniqueFd child(openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            ok = child.Valid() && ClearFolder(child.Get()) && ok;
            ok = unlinkat(dirFd, name.c_str(), AT_REMOVEDIR) == 0 && ok;
        } else {
            ok = unlinkat(dirFd, name.c_str(), 0) == 0 && ok;
        }
    }
    return ok;
}

std::string ParentOf(const std::string& hostPath) {
    const std::size_t slash = hostPath.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : hostPath.substr(0, slash);
}

} // namespace

bool WineSwapFileSystem::Exists(std::string_view path) {
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    return host && !IsHiddenName(BaseName(*host)) && stat(host->c_str(), &info) == 0 &&
           (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
}

EntryKind WineSwapFileSystem::KindOf(std::string_view path) {
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    if (!host || stat(host->c_str(), &info) != 0) {
        return EntryKind::None;
    }
    return S_ISDIR(info.st_mode) ? EntryKind::Folder : S_ISREG(info.st_mode) ? EntryKind::File : EntryKind::None;
}

std::optional<EntryIdentity> WineSwapFileSystem::IdentityOf(std::string_view path) {
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    if (!host || stat(host->c_str(), &info) != 0) {
        return std::nullopt;
    }
    return EntryIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

bool WineSwapFileSystem::SetAttributesNormal(std::string_view path) {
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    if (!host || stat(host->c_str(), &info) != 0) {
        return false;
    }
    return !IsReadOnly(info) || chmod(host->c_str(), (info.st_mode & 07777) | S_IWUSR) == 0;
}

bool WineSwapFileSystem::Rename(std::string_view from, std::string_view to) {
    const auto hostFrom = prefix_.ToHostPath(from);
    const auto hostTo = prefix_.ToHostPath(to);
    if (!hostFrom || !hostTo || !PathExists(*hostFrom)) {
        return false;
    }
    if (renameat2(AT_FDCWD, hostFrom->c_str(), AT_FDCWD, hostTo->c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    // File systems without RENAME_NOREPLACE: check, then rename.
    if ((errno != EINVAL && errno != ENOSYS) || PathExists(*hostTo)) {
        return false;
    }
    return rename(hostFrom->c_str(), hostTo->c_str()) == 0;
}

TreeSize WineSwapFileSystem::MeasureTree(std::string_view path) {
    TreeSize size;
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    if (!host || stat(host->c_str(), &info) != 0) {
        return size;
    }
    const auto modified = [](const struct stat& entry) {
        return static_cast<std::uint64_t>(entry.st_mtim.tv_sec) * 1000000000ULL +
               static_cast<std::uint64_t>(entry.st_mtim.tv_nsec);
    };
    if (!S_ISDIR(info.st_mode)) {
        const auto bytes = static_cast<std::uint64_t>(info.st_size);
        return {1, bytes, EntryFingerprint("", bytes, modified(info))};
    }
    // Folders, each with its path relative to the measured one.
    std::vector<std::pair<std::string, std::string>> pending{{*host, ""}};
    std::vector<Ancestor> seen{{info.st_dev, info.st_ino}};
    size.entries = 1;
    while (!pending.empty()) {
        const auto [folder, relative] = std::move(pending.back());
        pending.pop_back();
        DIR* dir = opendir(folder.c_str());
        if (!dir) {
            continue;
        }
        while (const dirent* entry = readdir(dir)) {
            const std::string_view name = entry->d_name;
            struct stat child {};
            if (name == "." || name == ".." || fstatat(dirfd(dir), entry->d_name, &child, 0) != 0) {
                continue;
            }
            const std::string entryPath = relative + "\\" + std::string(name);
            ++size.entries;
            if (S_ISDIR(child.st_mode)) {
                size.fingerprint += EntryFingerprint(entryPath, 0, 0);
                const bool loop = std::any_of(seen.begin(), seen.end(), [&](const Ancestor& a) {
                    return a.device == child.st_dev && a.inode == child.st_ino;
                });
                if (!loop) {
                    seen.push_back({child.st_dev, child.st_ino});
                    pending.emplace_back(folder + "/" + std::string(name), entryPath);
                }
            } else {
                const auto bytes = static_cast<std::uint64_t>(child.st_size);
                size.bytes += bytes;
                size.fingerprint += EntryFingerprint(entryPath, bytes, modified(child));
            }
        }
        closedir(dir);
    }
    return size;
}

bool WineSwapFileSystem::CopyFile(std::string_view from, std::string_view to, const CopyListener& listener) {
    const auto hostFrom = prefix_.ToHostPath(from);
    const auto hostTo = prefix_.ToHostPath(to);
    if (!hostFrom || !hostTo) {
        return false;
    }
    const UniqueFd toDir(open(ParentOf(*hostTo).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return toDir.Valid() &&
           CopyOneFile(AT_FDCWD, hostFrom->c_str(), toDir.Get(), std::string(BaseName(*hostTo)).c_str(), false,
                       listener);
}

bool WineSwapFileSystem::CopyFolder(std::string_view from, std::string_view to, const CopyListener& listener) {
    const auto hostFrom = prefix_.ToHostPath(from);
    const auto hostTo = prefix_.ToHostPath(to);
    if (!hostFrom || !hostTo) {
        return false;
    }
    const UniqueFd fromDir(open(hostFrom->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info {};
    if (!fromDir.Valid() || fstat(fromDir.Get(), &info) != 0) {
        return false;
    }
    // Windows refuses to copy a folder into itself.
    char fromReal[PATH_MAX];
    char toParentReal[PATH_MAX];
    if (realpath(hostFrom->c_str(), fromReal) && realpath(ParentOf(*hostTo).c_str(), toParentReal)) {
        const std::string inside = std::string(toParentReal) + "/";
        if (inside.starts_with(std::string(fromReal) + "/")) {
            return false;
        }
    }
    struct stat existing {};
    if (lstat(hostTo->c_str(), &existing) != 0) {
        if (mkdir(hostTo->c_str(), (info.st_mode & 0777) | S_IWUSR) != 0) {
            return false;
        }
        if (listener) {
            listener(0);
        }
    } else if (!S_ISDIR(existing.st_mode)) {
        return false;
    }
    const UniqueFd toDir(open(hostTo->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    std::vector<Ancestor> ancestors{{info.st_dev, info.st_ino}};
    return toDir.Valid() && CopyFolderContent(fromDir.Get(), toDir.Get(), ancestors, listener);
}

bool WineSwapFileSystem::DeleteFile(std::string_view path, bool force) {
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    if (!host || lstat(host->c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return false;
    }
    if (S_ISLNK(info.st_mode)) {
        struct stat target {};
        if (stat(host->c_str(), &target) != 0 || !S_ISREG(target.st_mode)) {
            return false;
        }
        info = target;
    }
    if (!force && IsReadOnly(info)) {
        return false;
    }
    return unlink(host->c_str()) == 0;
}

bool WineSwapFileSystem::DeleteFolder(std::string_view path) {
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    if (!host || lstat(host->c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return false;
    }
    const UniqueFd dir(open(host->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return dir.Valid() && ClearFolder(dir.Get()) && rmdir(host->c_str()) == 0;
}

} // namespace vantrel
