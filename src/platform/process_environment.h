// What the process knows about itself and its user: where its program lives, what it was started
// with, and the folders it may keep files in.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

class ProcessEnvironment {
public:
    ProcessEnvironment() = default;
    ProcessEnvironment(const ProcessEnvironment&) = delete;
    ProcessEnvironment& operator=(const ProcessEnvironment&) = delete;
    virtual ~ProcessEnvironment() = default;

    // Every folder below is a Windows path without a trailing backslash.

    // The folder VANTREL_HOME names; empty when it is not set.
    [[nodiscard]] virtual std::string HomeFolder() = 0;
    // The folder holding the program's executable.
    [[nodiscard]] virtual std::string ProgramFolder() = 0;
    // The user's own folders for Vantrel's data (mod definitions) and for its state (the launch
    // journal and lock); they need not exist yet, and may be one folder. Empty when the system names none.
    [[nodiscard]] virtual std::string UserDataFolder() = 0;
    [[nodiscard]] virtual std::string UserStateFolder() = 0;
    // The user's Documents folder as the games find it, where they keep their user data; empty when
    // there is none.
    [[nodiscard]] virtual std::string DocumentsFolder() = 0;
    // Whether the folder is where the system installs programs (under /usr, in Program Files), not a
    // copy a user unpacked: no definitions are kept there, even by a run as root or as administrator.
    [[nodiscard]] virtual bool IsInstalledProgramFolder(std::string_view folder) = 0;
    // Whether this process can create files in the folder (false when there is no such folder).
    [[nodiscard]] virtual bool CanWriteIn(std::string_view folder) = 0;
    // Creates the folder and those above it that are missing; true when it is there afterwards.
    virtual bool CreateFolder(std::string_view folder) = 0;
    // The command-line text that follows the program's own path, as UTF-8.
    [[nodiscard]] virtual std::string ArgumentText() = 0;
    // The same text as the arguments the program's C runtime splits it into, as UTF-8.
    [[nodiscard]] virtual std::vector<std::string> Arguments() = 0;
};

} // namespace vantrel
