// What the mod editor's drive, folder and file lists show of the machine's disks.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class DiskBrowser {
public:
    DiskBrowser() = default;
    DiskBrowser(const DiskBrowser&) = delete;
    DiskBrowser& operator=(const DiskBrowser&) = delete;
    virtual ~DiskBrowser() = default;

    // The drives, as "C:", "D:" and so on, in order.
    [[nodiscard]] virtual std::vector<std::string> Drives() = 0;
    // The process's current folder as a Windows path ("C:\" at a drive's root).
    [[nodiscard]] virtual std::string CurrentFolder() = 0;
    // True when the Windows path names an existing folder.
    [[nodiscard]] virtual bool FolderExists(std::string_view folder) = 0;
    // Names of the folders directly in `folder`, hidden ones left out, in the system's order; empty
    // when the folder cannot be read.
    [[nodiscard]] virtual std::vector<std::string> Subfolders(std::string_view folder) = 0;
    // Names of the files in `folder`, hidden and system ones left out, in the system's order.
    [[nodiscard]] virtual std::vector<std::string> Files(std::string_view folder) = 0;
    // The host's form of a Windows path, for the host's own file dialog; nullopt when there is none.
    [[nodiscard]] virtual std::optional<std::string> HostPath(std::string_view windowsPath) = 0;
    // The Windows form of a path the host's file dialog returned; nullopt when no drive holds it.
    [[nodiscard]] virtual std::optional<std::string> WindowsPath(std::string_view hostPath) = 0;
};

} // namespace vantrel
