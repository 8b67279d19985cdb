// A fresh temporary folder, removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vantrel::test {

class TempFolder {
public:
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();

    [[nodiscard]] const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Writes `bytes` to `path`, creating the folders above it.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
// The whole content of a file; an empty string when it cannot be read.
[[nodiscard]] std::string ReadBytes(const std::filesystem::path& path);
// Removes a file or folder with everything in it, read-only entries included (Windows refuses to
// delete those otherwise).
void RemoveTree(const std::filesystem::path& path);
// Every entry below `folder` (relative paths, '/' separated, sorted), for comparing folders.
[[nodiscard]] std::string DescribeTree(const std::filesystem::path& folder);

} // namespace vantrel::test
