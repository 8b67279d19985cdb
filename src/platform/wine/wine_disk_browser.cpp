#include "platform/wine/wine_disk_browser.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"

namespace vantrel {

std::vector<std::string> WineDiskBrowser::Drives() {
    std::vector<std::string> drives;
    for (const char letter : prefix_.Drives()) {
        drives.push_back(std::string(1, letter) + ":");
    }
    return drives;
}

std::string WineDiskBrowser::CurrentFolder() {
    char buffer[PATH_MAX];
    const std::string host = getcwd(buffer, sizeof buffer) ? buffer : "/";
    return prefix_.ToWindowsPath(host).value_or("Z:\\");
}

bool WineDiskBrowser::FolderExists(std::string_view folder) {
    const auto host = prefix_.ToHostPath(folder);
    struct stat info {};
    return host && stat(host->c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::vector<std::string> WineDiskBrowser::Entries(std::string_view folder, bool folders) {
    const auto host = prefix_.ToHostPath(folder);
    DIR* dir = host ? opendir(host->c_str()) : nullptr;
    if (!dir) {
        return {};
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (IsHiddenName(name)) {
            continue;
        }
        struct stat info {};
        if (fstatat(dirfd(dir), entry->d_name, &info, 0) == 0 && (folders ? S_ISDIR(info.st_mode) : S_ISREG(info.st_mode))) {
            names.emplace_back(name);
        }
    }
    closedir(dir);
    SortLikeNtfs(names);
    return names;
}

std::vector<std::string> WineDiskBrowser::Subfolders(std::string_view folder) {
    return Entries(folder, true);
}

std::vector<std::string> WineDiskBrowser::Files(std::string_view folder) {
    return Entries(folder, false);
}

std::optional<std::string> WineDiskBrowser::HostPath(std::string_view windowsPath) {
    return prefix_.ToHostPath(windowsPath);
}

std::optional<std::string> WineDiskBrowser::WindowsPath(std::string_view hostPath) {
    return prefix_.ToWindowsPath(hostPath);
}

} // namespace vantrel
