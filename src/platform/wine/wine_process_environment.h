// The program's folders and command line on Linux, in the Windows form the core expects.
#pragma once

#include <string>
#include <vector>

#include "platform/process_environment.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineProcessEnvironment final : public ProcessEnvironment {
public:
    // `arguments` are those after the program's own name.
    WineProcessEnvironment(const WinePrefix& prefix, std::vector<std::string> arguments)
        : prefix_(prefix), arguments_(std::move(arguments)) {}

    // Host folders are given through the prefix's drives (Z: when no other drive holds them).
    [[nodiscard]] std::string HomeFolder() override;
    [[nodiscard]] std::string ProgramFolder() override;
    // $XDG_DATA_HOME/vantrel and $XDG_STATE_HOME/vantrel, by default under ~/.local/share and ~/.local/state.
    [[nodiscard]] std::string UserDataFolder() override;
    [[nodiscard]] std::string UserStateFolder() override;
    // The prefix's own: C:\users\<user>\Documents (Proton's user is steamuser; older Wine says "My
    // Documents"), which Wine often links to the host's.
    [[nodiscard]] std::string DocumentsFolder() override;
    // A root-owned folder, or one its user cannot write, in the system's own folders (/usr, /opt, /lib...):
    // a copy a user unpacked into /opt and owns is theirs.
    [[nodiscard]] bool IsInstalledProgramFolder(std::string_view folder) override;
    // As the system decides for this process: root may write where the mode bits say no, but not on a
    // read-only mount.
    [[nodiscard]] bool CanWriteIn(std::string_view folder) override;
    // Missing folders are made private to the user (0700), as the XDG base directories ask.
    bool CreateFolder(std::string_view folder) override;
    // The arguments joined by single blanks, as Windows hands a program its command-line tail.
    [[nodiscard]] std::string ArgumentText() override;
    [[nodiscard]] std::vector<std::string> Arguments() override { return arguments_; }

private:
    [[nodiscard]] std::string WindowsFolder(const std::string& hostFolder) const;

    const WinePrefix& prefix_;
    std::vector<std::string> arguments_;
};

} // namespace vantrel
