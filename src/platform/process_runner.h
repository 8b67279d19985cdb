// Starts another program and waits for it, and for what it started, to end.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

struct RunResult {
    bool started = false;
    int exitCode = -1;   // the program's own, when it started
    std::string error;   // why nothing started, in a few words naming the program
};

class ProcessRunner {
public:
    ProcessRunner() = default;
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;
    virtual ~ProcessRunner() = default;

    // Starts the unquoted command line (program path, then its arguments) and blocks until the
    // program and every process it started have ended, and while a game.dat, generals.exe or
    // worldbuilder.exe of the program's folder still runs (a store's stub starts the game and ends at
    // once); the exit code is the program's own. Returns at once, not started and with the reason,
    // when nothing could be started.
    [[nodiscard]] virtual RunResult RunAndWait(std::string_view commandLine) = 0;
};

} // namespace vantrel
