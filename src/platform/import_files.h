// What importing a downloaded mod needs of the system: reading an archive or a folder entry by entry,
// and writing new files and folders into the program's mod folder. Paths are Windows paths; every
// operation reports failure as false (or null) and keeps the system's reason for LastError().
#pragma once

#include "platform/swap_file_system.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// One entry of an archive or folder, as it stores it.
struct SourceEntry {
    enum class Kind { File, Folder, Link, Other };
    // Its path inside the archive or folder: "/" or "\" between the names, bytes as stored.
    std::string name;
    // The code page a name that is not UTF-8 was written in: zip tools wrote DOS's (437) before
    // they wrote UTF-8; everything else the Windows one (1252).
    int legacyCodePage = 1252;
    Kind kind = Kind::File;
    std::uint64_t size = 0;
    bool sizeKnown = false;
    bool encrypted = false;
};

// An archive or a folder read entry by entry, in the order it stores them.
class ModSource {
public:
    enum class Step { Entry, End, Failed };
    using Sink = std::function<bool(const char* data, std::size_t size)>;

    ModSource() = default;
    ModSource(const ModSource&) = delete;
    ModSource& operator=(const ModSource&) = delete;
    virtual ~ModSource() = default;

    // The next entry; Failed with the reason for a damaged or unreadable source.
    virtual Step Next(SourceEntry& entry, std::string& why) = 0;
    // Hands the data of the entry Next gave last to `sink`, piece by piece; false with the reason when
    // it cannot be read, or when `sink` returned false (`why` then left alone).
    virtual bool ReadData(const Sink& sink, std::string& why) = 0;
    // How much of the source has been read, and how much there is, in bytes: for the progress.
    [[nodiscard]] virtual std::uint64_t BytesRead() = 0;
    [[nodiscard]] virtual std::uint64_t BytesInAll() = 0;
};

// A new file being written; the file is whole only once Finish() returned true.
class NewFile {
public:
    NewFile() = default;
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    virtual ~NewFile() = default;

    virtual bool Write(const char* data, std::size_t size) = 0;
    virtual bool Finish() = 0;
};

class ImportFiles {
public:
    ImportFiles() = default;
    ImportFiles(const ImportFiles&) = delete;
    ImportFiles& operator=(const ImportFiles&) = delete;
    virtual ~ImportFiles() = default;

    [[nodiscard]] virtual std::string LastError() = 0;

    // The machine's path of a path given on this program's command line (relative to the current
    // folder of the system the program runs on); nullopt when the machine cannot reach it.
    [[nodiscard]] virtual std::optional<std::string> MachinePathOfArgument(std::string_view argument) = 0;

    // The archive at `path` (zip, 7z, rar, tar and its compressions), or the folder at `path`, whose
    // links are given as links, never followed.
    [[nodiscard]] virtual std::unique_ptr<ModSource> OpenArchive(std::string_view path) = 0;
    [[nodiscard]] virtual std::unique_ptr<ModSource> OpenFolder(std::string_view path) = 0;

    // What is at `path`, its names found without regard to letter case as the game finds them.
    [[nodiscard]] virtual EntryKind KindOf(std::string_view path) = 0;
    // The bytes free for this user on the disk that holds `folder`.
    [[nodiscard]] virtual std::optional<std::uint64_t> FreeSpace(std::string_view folder) = 0;

    // These create, rename or remove the entry named exactly as given; none replaces an entry.
    virtual bool CreateFolder(std::string_view path) = 0;
    [[nodiscard]] virtual std::unique_ptr<NewFile> CreateFile(std::string_view path) = 0;
    virtual bool Rename(std::string_view from, std::string_view to) = 0;
    // Removes a folder and all it holds, never following a link out of it.
    virtual bool RemoveTree(std::string_view path) = 0;
    // Removes a folder only when it holds nothing.
    virtual bool RemoveEmptyFolder(std::string_view path) = 0;
};

} // namespace vantrel
