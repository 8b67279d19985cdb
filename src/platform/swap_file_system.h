// The file operations a launch uses to put a mod's files and folders into a game installation and
// take them out again. Paths are Windows paths; every operation reports failure as false and keeps
// the system's reason for LastError().
//
// A path names the entry whose last name is spelled exactly as given; only the folders above it are
// found as the game finds them (spelled exactly when such a folder exists, else one that matches
// without regard to letter case). EntryName() alone finds an entry without regard to case. No
// operation follows a link at the entry it works on: attributes, renames, identities and deletes
// act on the link itself, and a folder is never entered through a link when it is measured or
// deleted. The drives of the machine themselves (a drive's root, the link that makes a drive) are
// never renamed, deleted or copied into.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
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

// What a copy tells as it goes; either may be left empty.
struct CopyEvents {
    // The entry at the target has just been created, before anything went into it; returning false
    // stops the copy there (it then fails, leaving the empty entry).
    std::function<bool(const EntryIdentity&)> created;
    // An entry (file or folder) has been written, with its bytes (0 for a folder).
    std::function<void(std::uint64_t bytes)> written;
};

class SwapFileSystem {
public:
    SwapFileSystem() = default;
    SwapFileSystem(const SwapFileSystem&) = delete;
    SwapFileSystem& operator=(const SwapFileSystem&) = delete;
    virtual ~SwapFileSystem() = default;

    // Names the machine whose files these are (a Wine prefix, a Windows computer): the same text for
    // the same machine at every start.
    [[nodiscard]] virtual std::string MachineName() = 0;
    // Names this run of the machine; IsSameSession() tells whether a name is of the run going on
    // now, or of one before the machine last restarted (when what was not yet on disk may be lost).
    [[nodiscard]] virtual std::string SessionName() = 0;
    [[nodiscard]] virtual bool IsSameSession(std::string_view sessionName) = 0;
    // The system's reason for the last operation that failed, in a few words ("access denied").
    [[nodiscard]] virtual std::string LastError() = 0;

    // True for an existing file or folder that is neither hidden nor system.
    [[nodiscard]] virtual bool Exists(std::string_view path) = 0;
    // What the path names, hidden or not (a link counts as what it leads to); None when nothing is there.
    [[nodiscard]] virtual EntryKind KindOf(std::string_view path) = 0;
    // The last name, in its letter case on disk, of the entry the path finds: the one spelled exactly
    // when it exists, else one whose name matches without regard to case; nullopt when none.
    [[nodiscard]] virtual std::optional<std::string> EntryName(std::string_view path) = 0;
    // The identity of the entry at the path; nullopt when nothing is there.
    [[nodiscard]] virtual std::optional<EntryIdentity> IdentityOf(std::string_view path) = 0;
    // False where the volume that holds the path may give an entry another identity when it is
    // renamed or the volume mounted again (FAT, exFAT, and volumes whose driver does not say).
    [[nodiscard]] virtual bool HasStableIdentities(std::string_view path) = 0;
    // True when entries can be created, renamed and removed in the folder; false (with the reason)
    // when the system would refuse it or the folder is missing.
    [[nodiscard]] virtual bool CanChangeFolder(std::string_view folder) = 0;
    // Clears the read-only, hidden, system and archive attributes; false when nothing is there. A
    // link keeps what it leads to untouched.
    [[nodiscard]] virtual bool SetAttributesNormal(std::string_view path) = 0;
    // Creates an empty folder; false when anything is there already or the folder above is missing.
    [[nodiscard]] virtual bool CreateFolder(std::string_view path) = 0;
    // Renames a file, folder or link in its own folder; false when `to` exists already or `from` does not.
    [[nodiscard]] virtual bool Rename(std::string_view from, std::string_view to) = 0;
    // What a copy of the file or folder at the path would write; zero when nothing is there.
    [[nodiscard]] virtual TreeSize MeasureTree(std::string_view path) = 0;
    // Creates `to` as a copy of the file `from`, attributes included; false when `from` is no file or
    // `to` exists. Once it succeeds, `placed` is what MeasureTree(to) gives.
    [[nodiscard]] virtual bool CopyFile(std::string_view from, std::string_view to, const CopyEvents& events,
                                        TreeSize& placed) = 0;
    // Creates `to` with the whole content of the folder `from`, or merges into an existing folder
    // `to`, overwriting its files (not read-only ones); false when `from` is no folder or holds an
    // entry that is neither a file nor a folder (a pipe, a device). `created` is told only when `to`
    // is created. Once it succeeds after creating `to`, `placed` is what MeasureTree(to) gives.
    [[nodiscard]] virtual bool CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events,
                                          TreeSize& placed) = 0;
    // Deletes a file or a link; without `force` a read-only file is refused. False when neither is there.
    [[nodiscard]] virtual bool DeleteFile(std::string_view path, bool force) = 0;
    // Deletes a folder with everything in it, read-only entries included, or a link to a folder
    // itself; false when neither is there.
    [[nodiscard]] virtual bool DeleteFolder(std::string_view path) = 0;
};

} // namespace vantrel
