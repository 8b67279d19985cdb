// The import's file layer over the C++ file system library and libarchive, for any system whose
// paths the caller maps from the machine's.
#pragma once

#include "platform/import_files.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// The system path of a machine path: `found` looks its names up as the game does (without regard
// to letter case where the disk minds it), `exact` keeps the last name as spelled; nullopt when the
// machine cannot reach it.
struct MachinePaths {
    std::function<std::optional<std::filesystem::path>(std::string_view)> found;
    std::function<std::optional<std::filesystem::path>(std::string_view)> exact;
    // The other way: the machine path of an absolute system path.
    std::function<std::optional<std::string>(const std::filesystem::path&)> machine;
    // True for an entry that leads elsewhere (a link, a junction), where the library cannot tell;
    // empty where it can.
    std::function<bool(const std::filesystem::path&)> isLink = {};
};

class StdImportFiles final : public ImportFiles {
public:
    explicit StdImportFiles(MachinePaths paths) : paths_(std::move(paths)) {}

    std::string LastError() override { return lastError_; }
    std::optional<std::string> MachinePathOfArgument(std::string_view argument) override;
    std::unique_ptr<ModSource> OpenArchive(std::string_view path) override;
    std::unique_ptr<ModSource> OpenFolder(std::string_view path) override;
    EntryKind KindOf(std::string_view path) override;
    std::optional<std::uint64_t> FreeSpace(std::string_view folder) override;
    bool CreateFolder(std::string_view path) override;
    std::unique_ptr<NewFile> CreateFile(std::string_view path) override;
    bool Rename(std::string_view from, std::string_view to) override;
    bool RemoveTree(std::string_view path) override;
    bool RemoveEmptyFolder(std::string_view path) override;

private:
    std::optional<std::filesystem::path> Found(std::string_view path);
    std::optional<std::filesystem::path> Exact(std::string_view path);

    MachinePaths paths_;
    std::string lastError_;
};

// The archive at a system path read through libarchive, or nullptr with the reason.
[[nodiscard]] std::unique_ptr<ModSource> OpenArchiveFile(const std::filesystem::path& path, std::string& why);

// The folder at a system path, read entry by entry in name order; links are given, not followed.
[[nodiscard]] std::unique_ptr<ModSource>
OpenFolderTree(const std::filesystem::path& path, std::string& why,
               std::function<bool(const std::filesystem::path&)> isLink = {});

} // namespace vantrel
