// Windows paths as text: joining them the way the windows show and store them, and comparing them.
#pragma once

#include <algorithm>
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

// A single name, not a path: not empty, not "." or "..", without separators or a drive.
[[nodiscard]] inline bool IsPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("\\/:") == std::string_view::npos;
}

// "X:\..." : a path that names the same entry from any working folder, on a drive.
[[nodiscard]] inline bool IsDrivePath(std::string_view path) {
    return path.size() >= 3 && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && path[2] == '\\';
}

// One spelling for the paths that name the same entry on a file system that ignores letter case:
// ASCII upper case, backslashes, no doubled or trailing separators, "." and ".." resolved as Windows
// resolves them before it looks at the disk (never above the drive).
[[nodiscard]] inline std::string WindowsPathKey(std::string_view path) {
    std::string key;
    key.reserve(path.size());
    std::size_t floor = 0; // what ".." never climbs above: "X:" or a leading "\\"
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        std::string part(path.substr(start, end - start));
        for (char& c : part) {
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        if (start == 0 && part.empty() && end < path.size()) {
            // A path from the root, or a network path.
            const bool network = path.size() > 1 && (path[1] == '\\' || path[1] == '/');
            key = network ? "\\\\" : "\\";
            floor = key.size();
        } else if (part == "..") {
            const std::size_t slash = key.rfind('\\');
            key.resize(slash == std::string::npos || slash < floor ? floor : std::max(slash, floor));
        } else if (!part.empty() && part != ".") {
            if (!key.empty() && key.back() != '\\') {
                key += '\\';
            }
            key += part;
            if (start == 0 && part.size() == 2 && part[1] == ':') {
                floor = 2;
            }
        }
        start = end + 1;
    }
    if (key.size() == 2 && key[1] == ':') {
        key += '\\'; // a drive's root
    }
    return key;
}

// True when `path` lies inside the folder `folder` (both keys of WindowsPathKey).
[[nodiscard]] inline bool IsInsideKey(std::string_view pathKey, std::string_view folderKey) {
    return pathKey.size() > folderKey.size() && pathKey.starts_with(folderKey) &&
           (folderKey.ends_with('\\') || pathKey[folderKey.size()] == '\\');
}

} // namespace vantrel
