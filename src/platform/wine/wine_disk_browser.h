// The disks of a Wine prefix: its dosdevices drives.
#pragma once

#include "platform/disk_browser.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineDiskBrowser final : public DiskBrowser {
public:
    explicit WineDiskBrowser(const WinePrefix& prefix) : prefix_(prefix) {}

    [[nodiscard]] std::vector<std::string> Drives() override;
    [[nodiscard]] std::string CurrentFolder() override;
    [[nodiscard]] bool FolderExists(std::string_view folder) override;
    [[nodiscard]] std::vector<std::string> Subfolders(std::string_view folder) override;
    [[nodiscard]] std::vector<std::string> Files(std::string_view folder) override;
    [[nodiscard]] std::optional<std::string> HostPath(std::string_view windowsPath) override;
    [[nodiscard]] std::optional<std::string> WindowsPath(std::string_view hostPath) override;

private:
    [[nodiscard]] std::vector<std::string> Entries(std::string_view folder, bool folders);

    const WinePrefix& prefix_;
};

} // namespace vantrel
