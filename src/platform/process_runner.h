// Starts another program and waits for it to end.
#pragma once

#include <string_view>

namespace vantrel {

class ProcessRunner {
public:
    ProcessRunner() = default;
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;
    virtual ~ProcessRunner() = default;

    // Starts the unquoted command line (program path, then its arguments), blocks until the program
    // ends and returns its exit code; -1 at once when nothing could be started.
    [[nodiscard]] virtual int RunAndWait(std::string_view commandLine) = 0;
};

} // namespace vantrel
