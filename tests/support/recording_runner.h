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
    int RunAndWait(std::string_view commandLine) override {
        commands.emplace_back(commandLine);
        if (whileRunning) {
            whileRunning();
        }
        return exitCode;
    }

    std::vector<std::string> commands;
    std::function<void()> whileRunning;
    int exitCode = 0;
};

} // namespace vantrel::test
