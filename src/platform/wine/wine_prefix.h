// A Wine prefix taken as the machine: its drives map Windows paths to host paths and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
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
};

} // namespace vantrel
