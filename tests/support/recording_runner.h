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
        for (const RunStage stage : stages) {
            Tell(stage);
        }
        if (!startError.empty()) {
            return {false, -1, startError};
        }
        if (whileRunning) {
            whileRunning();
        }
        return {true, exitCode, {}, seconds};
    }
    RunResult RunArgumentsAndWait(const std::vector<std::string>& arguments, std::string_view gameProgram) override {
        argumentLists.push_back(arguments);
        gamePrograms.emplace_back(gameProgram);
        std::string line;
        for (const auto& argument : arguments) {
            line += (line.empty() ? "" : " ") + argument;
        }
        return RunAndWait(line);
    }
    std::optional<std::string> ProgramRunningFrom(std::string_view folder) override {
        return runningProgram.empty() || folder != runningFolder ? std::nullopt : std::optional(runningProgram);
    }
    bool NeedsProton() override { return false; }
    void RunThroughProton(std::function<std::vector<ProtonRun>()> lookUp) override { proton = lookUp(); }

    std::vector<std::string> commands; // an argument list's, joined by blanks
    std::vector<std::vector<std::string>> argumentLists;
    std::vector<std::string> gamePrograms;
    std::vector<ProtonRun> proton;
    std::function<void()> whileRunning;
    int exitCode = 0;
    // A program of the folder that runs before the launch, when set.
    std::string runningFolder;
    std::string runningProgram;
    double seconds = 0;
    // Told in turn before the program "runs", or before it fails to start.
    std::vector<RunStage> stages;
    // When set, the program does not start, for this reason.
    std::string startError;
};

} // namespace vantrel::test
