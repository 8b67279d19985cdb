// Joining Windows paths the way the windows show and store them.
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

} // namespace vantrel
