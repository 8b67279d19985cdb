#include "platform/wine/wine_game_files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"

namespace vantrel {

std::string WineGameFiles::HomeFromEnvironment() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

std::vector<std::string> WineGameFiles::SteamFolders() {
    std::vector<std::string> folders;
    if (home_.empty()) {
        return folders;
    }
    // ~/.steam/steam is usually a link to one of the others: each folder counts once.
    for (const char* relative : {"/.steam/steam", "/.local/share/Steam",
                                 "/.var/app/com.valvesoftware.Steam/.local/share/Steam",
                                 "/snap/steam/common/.local/share/Steam"}) {
        auto folder = MachinePath(home_ + relative);
        if (!folder) {
            continue;
        }
        bool known = false;
        for (const auto& other : folders) {
            known = known || EqualsIgnoringCase(other, *folder);
        }
        if (!known) {
            folders.push_back(std::move(*folder));
        }
    }
    return folders;
}

std::optional<std::string> WineGameFiles::MachinePath(std::string_view steamPath) {
    if (!steamPath.starts_with('/')) {
        return std::nullopt;
    }
    char resolved[PATH_MAX];
    struct stat info {};
    if (!realpath(std::string(steamPath).c_str(), resolved) || stat(resolved, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return std::nullopt;
    }
    return prefix_.ToWindowsPath(resolved);
}

std::optional<std::string> WineGameFiles::ReadSmallFile(std::string_view path, std::size_t limit) {
    // Most names come from a listing, spelled as they are: opened at once, looked up only when missing.
    auto host = prefix_.ToHostPathAsSpelled(path);
    UniqueFd fd(host ? open(host->c_str(), O_RDONLY | O_CLOEXEC) : -1);
    if (!fd.Valid() && (!host || errno == ENOENT || errno == ENOTDIR)) {
        host = prefix_.ToHostPath(path);
        fd = UniqueFd(host ? open(host->c_str(), O_RDONLY | O_CLOEXEC) : -1);
    }
    return ReadSmallOpenFile(fd.Get(), limit);
}

std::vector<std::string> WineGameFiles::FileNames(std::string_view folder, std::string_view prefix,
                                                  std::string_view suffix) {
    std::vector<std::string> names;
    const auto host = prefix_.ToHostPath(folder);
    if (!host) {
        return names;
    }
    const UniqueDir dir(opendir(host->c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() >= prefix.size() + suffix.size() && name.starts_with(prefix) && name.ends_with(suffix) &&
            (entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::vector<std::string> WineGameFiles::FolderNames(std::string_view folder) {
    std::vector<std::string> names;
    const auto host = prefix_.ToHostPath(folder);
    const UniqueDir dir(host ? opendir(host->c_str()) : nullptr);
    if (!dir) {
        return names;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        struct stat info {};
        if (name != "." && name != ".." && stat((*host + "/" + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            names.push_back(name);
        }
    }
    return names;
}

bool WineGameFiles::FileExists(std::string_view path) {
    const auto host = prefix_.ToHostPath(path);
    struct stat info {};
    return host && stat(host->c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace vantrel
