// A Wine prefix taken as the machine: its drives map Windows paths to host paths and back.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

class WinePrefix {
public:
    explicit WinePrefix(std::string root);

    // $WINEPREFIX, else ~/.wine.
    [[nodiscard]] static WinePrefix FromEnvironment();

    [[nodiscard]] const std::string& Root() const { return root_; }

    // The host path of a Windows path: "X:\a\b" lies under <prefix>/dosdevices/x:, a name missing in
    // its exact letter case is looked up without regard to case, and a relative path stays relative
    // to the current folder. nullopt for a drive the prefix lacks or a network path.
    [[nodiscard]] std::optional<std::string> ToHostPath(std::string_view windowsPath) const;

    // The same without looking at the disk: the path as spelled, for a first try that costs nothing.
    [[nodiscard]] std::optional<std::string> ToHostPathAsSpelled(std::string_view windowsPath) const;

    // Like ToHostPath, but the last name stays as spelled: only the folders above it are looked up
    // without regard to case. A drive's root ends in "/", naming the drive's folder, not its link.
    // When `entry` is given, it receives what lstat tells of that entry, st_mode 0 when none is there.
    [[nodiscard]] std::optional<std::string> ToHostPathExactLeaf(std::string_view windowsPath,
                                                                 struct stat* entry = nullptr) const;

    // The device and inode of each host folder the machine is made of: "/", the folder of each drive
    // and the folder that holds the drive links. Read again only when the drive links change.
    [[nodiscard]] const std::vector<std::pair<std::uint64_t, std::uint64_t>>& DriveIdentities() const;

    // True when the entry at the host path, its last link not followed, is one of those folders or a
    // drive link.
    [[nodiscard]] bool IsDriveEntry(const std::string& hostPath) const;
    // The same for an entry whose lstat is at hand (st_mode 0 when none is there).
    [[nodiscard]] bool IsDriveEntry(const std::string& hostPath, const struct stat& entry) const;

    // The Windows form of a host path, through the drive whose folder holds it most closely; Z:
    // covers "/" when the prefix has no z: drive of its own.
    [[nodiscard]] std::optional<std::string> ToWindowsPath(std::string_view hostPath) const;

    // The drive letters of the prefix in upper case, in order; Z: is always among them.
    [[nodiscard]] std::vector<char> Drives() const;

private:
    struct Drive {
        char letter;
        std::string folder; // canonical host folder, without trailing slash ("" for "/")
    };
    struct HostParts {
        std::string base; // the drive's folder, or "." for a relative path
        std::vector<std::string> parts;
        char drive;       // 0 for a relative path
    };
    [[nodiscard]] std::optional<HostParts> Split(std::string_view windowsPath) const;
    [[nodiscard]] std::vector<Drive> ReadDrives() const;
    [[nodiscard]] std::string DriveFolder(char letter) const;

    std::string root_;
    std::string dosdevices_; // root_ + "/dosdevices/"
    // DriveIdentities(), and when the drive links last changed as it was read; the dosdevices folder
    // itself comes last.
    mutable std::vector<std::pair<std::uint64_t, std::uint64_t>> driveIdentities_;
    mutable std::pair<std::int64_t, std::int64_t> drivesChanged_{-1, -1};
};

} // namespace vantrel
