// The file operations a launch uses to put a mod's files and folders into a game installation and
// take them out again. Paths are Windows paths; every operation reports failure as false.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace vantrel {

enum class EntryKind { None, File, Folder };

// What tells one file or folder from every other on the machine, whatever its name becomes.
struct EntryIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const EntryIdentity&, const EntryIdentity&) = default;
};

// How much a copy of a file or folder holds: its entries (files and folders) and the bytes of its files,
// with a fingerprint of every entry's name, size and modification time that tells a changed copy.
struct TreeSize {
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
    std::uint64_t fingerprint = 0;
    friend bool operator==(const TreeSize&, const TreeSize&) = default;
};

// Told of each entry a copy has written, with its bytes (0 for a folder).
using CopyListener = std::function<void(std::uint64_t bytes)>;

class SwapFileSystem {
public:
    SwapFileSystem() = default;
    SwapFileSystem(const SwapFileSystem&) = delete;
    SwapFileSystem& operator=(const SwapFileSystem&) = delete;
    virtual ~SwapFileSystem() = default;

    // True for an existing file or folder that is neither hidden nor system.
    [[nodiscard]] virtual bool Exists(std::string_view path) = 0;
    // What the path names, hidden or not; None when nothing is there.
    [[nodiscard]] virtual EntryKind KindOf(std::string_view path) = 0;
    // The identity of the entry at the path; nullopt when nothing is there.
    [[nodiscard]] virtual std::optional<EntryIdentity> IdentityOf(std::string_view path) = 0;
    // Clears the read-only, hidden, system and archive attributes; false when nothing is there.
    [[nodiscard]] virtual bool SetAttributesNormal(std::string_view path) = 0;
    // Renames a file or folder; false when `to` exists already or `from` does not.
    [[nodiscard]] virtual bool Rename(std::string_view from, std::string_view to) = 0;
    // What a copy of the file or folder at the path would write; zero when nothing is there.
    [[nodiscard]] virtual TreeSize MeasureTree(std::string_view path) = 0;
    // Copies a file to exactly `to`, attributes included; false when `from` is no file or `to` exists.
    // `listener`, when set, hears of the file once it is written.
    [[nodiscard]] virtual bool CopyFile(std::string_view from, std::string_view to, const CopyListener& listener) = 0;
    // Creates `to` with the whole content of the folder `from`, or merges into an existing `to`,
    // overwriting its files (not read-only ones); false when `from` is no folder. `listener`, when
    // set, hears of each entry written.
    [[nodiscard]] virtual bool CopyFolder(std::string_view from, std::string_view to, const CopyListener& listener) = 0;
    // Deletes a file; without `force` a read-only file is refused. False when no file is there.
    [[nodiscard]] virtual bool DeleteFile(std::string_view path, bool force) = 0;
    // Deletes a folder with everything in it, read-only entries included; false when no folder is there.
    [[nodiscard]] virtual bool DeleteFolder(std::string_view path) = 0;
};

} // namespace vantrel
