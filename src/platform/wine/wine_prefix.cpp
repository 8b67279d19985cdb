#include "platform/wine/wine_prefix.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDriveLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Splits at either separator, dropping empty and "." parts and resolving ".." as Windows does
// before it touches the disk (never above the first part).
std::vector<std::string> NormalizedParts(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        const std::string_view part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = end + 1;
    }
    return parts;
}

// Appends each part to `base`; a part that does not exist in its exact letter case takes the name of
// an entry that matches it without regard to case, as Wine resolves names.
std::string ResolveParts(std::string base, const std::vector<std::string>& parts) {
    std::string exact = base;
    for (const auto& part : parts) {
        exact += "/" + part;
    }
    if (exact.empty()) {
        return base.empty() ? "/" : base;
    }
    if (PathExists(exact)) {
        return exact;
    }
    bool resolving = true;
    for (const auto& part : parts) {
        std::string next = base + "/" + part;
        if (resolving && !PathExists(next)) {
            resolving = false;
            if (DIR* dir = opendir(base.empty() ? "/" : base.c_str())) {
                while (const dirent* entry = readdir(dir)) {
                    if (EqualsIgnoringCase(entry->d_name, part)) {
                        next = base + "/" + entry->d_name;
                        resolving = true;
                        break;
                    }
                }
                closedir(dir);
            }
        }
        base = std::move(next);
    }
    return base;
}

// The parts joined to `base` as spelled.
std::string JoinedPath(const std::string& base, const std::vector<std::string>& parts) {
    std::string path = base;
    for (const auto& part : parts) {
        path += "/" + part;
    }
    return path;
}

std::string CurrentFolder() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

} // namespace

WinePrefix::WinePrefix(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') {
        root_.pop_back();
    }
    dosdevices_ = root_ + "/dosdevices/";
}

WinePrefix WinePrefix::FromEnvironment() {
    if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) {
        return WinePrefix(prefix);
    }
    const char* home = std::getenv("HOME");
    return WinePrefix(std::string(home ? home : "") + "/.wine");
}

std::string WinePrefix::DriveFolder(char letter) const {
    std::string link = dosdevices_;
    link += LowerAscii(letter);
    link += ':';
    if (LowerAscii(letter) == 'z' && !PathExists(link)) {
        return "";
    }
    return link;
}

std::optional<WinePrefix::HostParts> WinePrefix::Split(std::string_view windowsPath) const {
    // Windows refuses control characters in names; a NUL would also cut the host path short.
    if (std::any_of(windowsPath.begin(), windowsPath.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return std::nullopt;
    }
    std::string path(windowsPath);
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) {
        path.erase(0, 4);
        // Only a drive path may follow: not UNC\, Volume{...}\ or a device such as pipe\.
        if (!(path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':')) {
            return std::nullopt;
        }
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        // A drive-relative path ("C:x") is taken from the drive's root, the launcher's only
        // current folder on drives other than its own.
        return HostParts{DriveFolder(path[0]), NormalizedParts(std::string_view(path).substr(2)), path[0]};
    }
    if (path.starts_with("\\\\")) {
        return std::nullopt;
    }
    if (path.starts_with("\\")) {
        const auto current = ToWindowsPath(CurrentFolder());
        const char letter = current ? (*current)[0] : 'Z';
        return HostParts{DriveFolder(letter), NormalizedParts(path), letter};
    }
    return HostParts{".", NormalizedParts(path), 0};
}

std::optional<std::string> WinePrefix::ToHostPathAsSpelled(std::string_view windowsPath) const {
    // The common case, a plain absolute path ("C:\a\b.vtl"), needs no splitting.
    const bool plain = windowsPath.size() >= 3 && IsDriveLetter(windowsPath[0]) && windowsPath[1] == ':' &&
                       windowsPath[2] == '\\' && LowerAscii(windowsPath[0]) != 'z' &&
                       windowsPath.find('/') == std::string_view::npos &&
                       windowsPath.find("\\.") == std::string_view::npos &&
                       windowsPath.find("\\\\") == std::string_view::npos;
    if (plain) {
        std::string path = DriveFolder(windowsPath[0]);
        const std::size_t start = path.size();
        path.append(windowsPath.substr(2));
        std::replace(path.begin() + static_cast<std::ptrdiff_t>(start), path.end(), '\\', '/');
        if (path.size() > start + 1 && path.back() == '/') {
            path.pop_back();
        }
        return path;
    }
    auto split = Split(windowsPath);
    if (!split) {
        return std::nullopt;
    }
    std::string path = split->base;
    for (const auto& part : split->parts) {
        path += "/" + part;
    }
    if (split->drive == 0) {
        return split->parts.empty() ? std::string(".") : path.substr(2);
    }
    return path.empty() ? std::string("/") : path;
}

std::optional<std::string> WinePrefix::ToHostPath(std::string_view windowsPath) const {
    auto split = Split(windowsPath);
    if (split && split->drive != 0 && !split->parts.empty()) {
        // The common case, an entry spelled as it is on disk, costs one look.
        if (std::string exact = JoinedPath(split->base, split->parts); PathExists(exact)) {
            return exact;
        }
    }
    if (!split || (split->drive != 0 && LowerAscii(split->drive) != 'z' && !PathExists(split->base))) {
        return std::nullopt;
    }
    if (split->drive == 0) {
        return split->parts.empty() ? std::string(".") : ResolveParts(".", split->parts).substr(2);
    }
    return ResolveParts(split->base, split->parts);
}

std::optional<std::string> WinePrefix::ToHostPathExactLeaf(std::string_view windowsPath, struct stat* entry) const {
    struct stat unused {};
    struct stat& info = entry ? *entry : unused;
    info = {};
    auto split = Split(windowsPath);
    if (split && split->drive != 0 && !split->parts.empty()) {
        // The common cases, an entry or the folder above a new one spelled as on disk, cost a look or two.
        std::string exact = JoinedPath(split->base, split->parts);
        if (lstat(exact.c_str(), &info) == 0) {
            return exact;
        }
        info = {};
        const std::size_t slash = exact.rfind('/');
        if (split->parts.size() > 1 && PathExists(exact.substr(0, slash))) {
            return exact;
        }
    }
    if (!split || (split->drive != 0 && LowerAscii(split->drive) != 'z' && !PathExists(split->base))) {
        return std::nullopt;
    }
    std::string path;
    if (split->parts.empty()) {
        path = split->drive == 0 ? std::string(".") : split->base + "/";
    } else {
        const std::string leaf = std::move(split->parts.back());
        split->parts.pop_back();
        const std::string parent = ResolveParts(split->base, split->parts);
        path = split->drive == 0 ? (parent == "." ? leaf : parent.substr(2) + "/" + leaf)
                                 : (parent == "/" ? "" : parent) + "/" + leaf;
    }
    if (entry && lstat(path.c_str(), entry) != 0) {
        *entry = {};
    }
    return path;
}

const std::vector<std::pair<std::uint64_t, std::uint64_t>>& WinePrefix::DriveIdentities() const {
    struct stat links {};
    const bool haveLinks = stat(dosdevices_.c_str(), &links) == 0;
    const std::pair<std::int64_t, std::int64_t> changed =
        haveLinks ? std::pair<std::int64_t, std::int64_t>{links.st_mtim.tv_sec, links.st_mtim.tv_nsec}
                  : std::pair<std::int64_t, std::int64_t>{-2, -2};
    if (changed != drivesChanged_ || driveIdentities_.empty()) {
        driveIdentities_.clear();
        std::vector<std::string> folders{"/"};
        for (const auto& drive : ReadDrives()) {
            folders.push_back(drive.folder.empty() ? "/" : drive.folder);
        }
        for (const auto& folder : folders) {
            if (struct stat info {}; stat(folder.c_str(), &info) == 0) {
                driveIdentities_.emplace_back(info.st_dev, info.st_ino);
            }
        }
        if (haveLinks) {
            driveIdentities_.emplace_back(links.st_dev, links.st_ino);
        }
        drivesChanged_ = changed;
    }
    return driveIdentities_;
}

bool WinePrefix::IsDriveEntry(const std::string& hostPath) const {
    struct stat entry {};
    if (lstat(hostPath.c_str(), &entry) != 0) {
        entry = {};
    }
    return IsDriveEntry(hostPath, entry);
}

bool WinePrefix::IsDriveEntry(const std::string& hostPath, const struct stat& entry) const {
    const std::string_view name = BaseName(hostPath);
    const bool bare = name.empty() || name == "." || name == "..";
    const auto isDrive = [this](const struct stat& info) {
        const auto& drives = DriveIdentities();
        return std::find(drives.begin(), drives.end(),
                         std::pair<std::uint64_t, std::uint64_t>(info.st_dev, info.st_ino)) != drives.end();
    };
    if (bare) {
        struct stat folder {};
        return stat(hostPath.empty() ? "." : hostPath.c_str(), &folder) == 0 && isDrive(folder);
    }
    // A folder that is a drive's own, or any entry among the drive links.
    if (S_ISDIR(entry.st_mode) && isDrive(entry)) {
        return true;
    }
    if (!name.ends_with(':')) {
        return false; // drive links are named "c:" (or "c::" for a raw device)
    }
    struct stat parent {};
    struct stat links {};
    const std::string folder = ParentOf(hostPath);
    return stat(folder.empty() ? "/" : folder.c_str(), &parent) == 0 && stat(dosdevices_.c_str(), &links) == 0 &&
           parent.st_dev == links.st_dev && parent.st_ino == links.st_ino;
}

std::vector<WinePrefix::Drive> WinePrefix::ReadDrives() const {
    std::vector<Drive> drives;
    bool hasZ = false;
    const std::string dosdevices = root_ + "/dosdevices";
    if (DIR* dir = opendir(dosdevices.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name.size() != 2 || name[1] != ':' || !IsDriveLetter(name[0])) {
                continue;
            }
            char buffer[PATH_MAX];
            if (realpath((dosdevices + "/" + std::string(name)).c_str(), buffer)) {
                std::string folder = buffer;
                if (folder == "/") {
                    folder.clear();
                }
                const char letter = static_cast<char>(LowerAscii(name[0]) - 'a' + 'A');
                hasZ = hasZ || letter == 'Z';
                drives.push_back({letter, folder});
            }
        }
        closedir(dir);
    }
    if (!hasZ) {
        drives.push_back({'Z', ""});
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return drives;
}

std::vector<char> WinePrefix::Drives() const {
    std::vector<char> letters;
    for (const auto& drive : ReadDrives()) {
        letters.push_back(drive.letter);
    }
    return letters;
}

std::optional<std::string> WinePrefix::ToWindowsPath(std::string_view hostPath) const {
    std::string absolute = hostPath.starts_with("/") ? std::string(hostPath) : CurrentFolder() + "/" + std::string(hostPath);
    std::string normal;
    for (const auto& part : NormalizedParts(absolute)) {
        normal += "/" + part;
    }
    char buffer[PATH_MAX];
    if (realpath(normal.empty() ? "/" : normal.c_str(), buffer)) {
        normal = buffer == std::string_view("/") ? "" : buffer;
    }
    const auto drives = ReadDrives();
    const Drive* best = nullptr;
    for (const auto& drive : drives) {
        const bool inside = normal == drive.folder || normal.starts_with(drive.folder + "/") || drive.folder.empty();
        if (inside && (!best || drive.folder.size() > best->folder.size())) {
            best = &drive;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    std::string rest = normal.substr(best->folder.size());
    std::replace(rest.begin(), rest.end(), '/', '\\');
    return std::string(1, best->letter) + ":" + (rest.empty() ? "\\" : rest);
}

} // namespace vantrel
