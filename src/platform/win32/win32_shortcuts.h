// Shortcuts on Windows: shell links on the user's desktop.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/shortcuts.h"

namespace vantrel {

class Win32Shortcuts final : public Shortcuts {
public:
    // Links go into `folder` (the user's desktop when empty) and start `program` (this executable
    // when empty); both are Windows paths.
    explicit Win32Shortcuts(std::string folder = {}, std::string program = {});

    [[nodiscard]] bool Create(const ShortcutTarget& target) override;
    // A link of that name that another program made, or another copy of Vantrel, stays.
    [[nodiscard]] bool Remove(const ShortcutTarget& target) override;
    [[nodiscard]] std::string PathOf(const ShortcutTarget& target) override;
    [[nodiscard]] std::string LastError() override { return lastError_; }

private:
    std::string Folder();

    std::string folder_;
    std::string program_;
    std::string lastError_;
};

// The arguments of a link that plays `name`. The program takes everything after "-SILENT " as the
// name, blanks included, so it goes in unquoted.
[[nodiscard]] std::string SilentArguments(std::string_view name);

// The link's arguments for the target: silent mode's for one that names no game, else the play form
// with the mod's name and the switches in double quotes where they hold blanks.
[[nodiscard]] std::string LinkArguments(const ShortcutTarget& target);

// What a shell link holds, as UTF-8; nullopt when there is none or it cannot be read.
struct ShellLinkContents {
    std::string path;
    std::string arguments;
    std::string workingFolder;
    std::string iconPath;
    int iconIndex = 0;
};
[[nodiscard]] std::optional<ShellLinkContents> ReadShellLink(std::string_view linkPath);

} // namespace vantrel
