// Existence test and deletion of one file.
#pragma once

#include <string_view>

namespace vantrel {

class SingleFiles {
public:
    SingleFiles() = default;
    SingleFiles(const SingleFiles&) = delete;
    SingleFiles& operator=(const SingleFiles&) = delete;
    virtual ~SingleFiles() = default;

    // True when an ordinary file (not a folder) exists at the Windows path.
    [[nodiscard]] virtual bool FileExists(std::string_view path) = 0;
    // Deletes the file at the Windows path; false when there is none, it is read-only or in use.
    [[nodiscard]] virtual bool DeleteFile(std::string_view path) = 0;
};

} // namespace vantrel
