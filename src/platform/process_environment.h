// What the process knows about itself: where its program lives and what it was started with.
#pragma once

#include <string>

namespace vantrel {

class ProcessEnvironment {
public:
    ProcessEnvironment() = default;
    ProcessEnvironment(const ProcessEnvironment&) = delete;
    ProcessEnvironment& operator=(const ProcessEnvironment&) = delete;
    virtual ~ProcessEnvironment() = default;

    // The folder holding the program, as a Windows path without a trailing backslash.
    [[nodiscard]] virtual std::string ProgramFolder() = 0;
    // The command-line text that follows the program's own path, as UTF-8.
    [[nodiscard]] virtual std::string ArgumentText() = 0;
};

} // namespace vantrel
