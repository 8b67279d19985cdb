// A stand-in for the game: records each command line and lets a test look at the disk while the
// "game" runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/process_runner.h"

namespace vantrel::test {

class RecordingRunner final : public ProcessRunner {
public:
    RunResult RunAndWait(std::string_view commandLine) override {
        commands.emplace_back(commandLine);
        if (!startError.empty()) {
            return {false, -1, startError};
        }
        if (whileRunning) {
            whileRunning();
        }
        return {true, exitCode, {}};
    }

    std::vector<std::string> commands;
    std::function<void()> whileRunning;
    int exitCode = 0;
    // When set, the program does not start, for this reason.
    std::string startError;
};

} // namespace vantrel::test
