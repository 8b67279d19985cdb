// Windows paths as text: joining them the way the windows show and store them, and comparing them.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

// `folder`, one backslash and `name`; at a drive root ("C:\") the backslash is not doubled.
[[nodiscard]] inline std::string JoinWindowsPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.ends_with('\\')) {
        path += '\\';
    }
    return path + std::string(name);
}

// The folder above a Windows path ("C:\Games\ZH" gives "C:\Games", "C:\Games" gives "C:\").
[[nodiscard]] inline std::string ParentWindowsPath(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) {
        return std::string(path);
    }
    return std::string(path.substr(0, slash == 2 ? 3 : slash));
}

// The last name of a Windows path: the text after its last backslash.
[[nodiscard]] inline std::string_view LastWindowsName(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// "X:\..." : a path that names the same entry from any working folder, on a drive.
[[nodiscard]] inline bool IsDrivePath(std::string_view path) {
    return path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && path[2] == '\\';
}

// One spelling for the paths that name the same entry on a file system that ignores letter case:
// ASCII upper case, backslashes, no doubled or trailing separators.
[[nodiscard]] inline std::string WindowsPathKey(std::string_view path) {
    std::string key;
    key.reserve(path.size());
    for (const char c : path) {
        const char normal = c == '/' ? '\\' : (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (normal == '\\' && key.size() > 1 && key.back() == '\\') {
            continue;
        }
        key.push_back(normal);
    }
    if (key.size() > 3 && key.back() == '\\') {
        key.pop_back();
    }
    return key;
}

// True when `path` lies inside the folder `folder` (both keys of WindowsPathKey).
[[nodiscard]] inline bool IsInsideKey(std::string_view pathKey, std::string_view folderKey) {
    return pathKey.size() > folderKey.size() && pathKey.starts_with(folderKey) &&
           (folderKey.ends_with('\\') || pathKey[folderKey.size()] == '\\');
}

} // namespace vantrel
