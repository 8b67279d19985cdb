// Runs a Windows program of the prefix through Wine and waits for it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/process_runner.h"
#include "platform/wine/launch_processes.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

// The program a Windows command line names and the arguments that follow it.
struct WindowsCommand {
    std::string program; // Windows path, ".exe" added when the name had no extension
    std::vector<std::string> arguments;
};

class WineProcessRunner final : public ProcessRunner {
public:
    // `machineWine`: the Wine build that runs the prefix's programs when $WINE names none (the one
    // another launcher made the prefix with); empty for the system's "wine".
    explicit WineProcessRunner(const WinePrefix& prefix, std::string machineWine = {})
        : prefix_(prefix), machineWine_(std::move(machineWine)) {}

    // The program SplitCommandLine finds and the blank-separated words after it; nullopt when that
    // program is no file.
    [[nodiscard]] std::optional<WindowsCommand> ParseCommandLine(std::string_view commandLine) const;

    // Runs $WINE (else the machine's Wine, else "wine") with WINEPREFIX set, the program's Windows path and its arguments;
    // environment and working folder are inherited. A program of a folder given to RunThroughProton
    // runs, unless $WINE is set, as "<proton> waitforexitandrun <host path> <arguments>" with Steam's
    // compatibility variables instead. Waits as the interface says; Wine's own processes for the
    // prefix (its wineserver, the programs of C:\windows) never count. The exit code is the
    // program's; one killed by a signal ends with 128 + it.
    [[nodiscard]] RunResult RunAndWait(std::string_view commandLine) override;
    [[nodiscard]] RunResult RunArgumentsAndWait(const std::vector<std::string>& arguments,
                                                std::string_view gameProgram) override;
    [[nodiscard]] std::optional<std::string> ProgramRunningFrom(std::string_view folder) override;
    [[nodiscard]] bool NeedsProton() override;
    void RunThroughProton(std::function<std::vector<ProtonRun>()> lookUp) override;

private:
    // The folder of the game's program as the host names it, and the store's stub that keeps no
    // launch going by itself (the folder's generals.exe, when the store's game.dat lies beside it).
    struct GameFolder {
        std::string host; // empty when the program is on no drive of the prefix
        std::optional<MappedFile> stub;
    };
    [[nodiscard]] GameFolder FolderOf(std::string_view gameProgram) const;

    // Starts `argv` (its first element found on PATH) below a keeper with the launcher's environment,
    // `variables` ("NAME=value") replacing those of their names, and waits as RunAndWait describes.
    [[nodiscard]] RunResult Run(std::vector<std::string> argv, const std::vector<std::string>& variables,
                                std::string_view gameProgram);
    // Follows the started program through its keeper, and the programs of the folder, until neither runs.
    [[nodiscard]] RunResult Wait(pid_t keeper, int reports, std::string_view started, const GameFolder& folder,
                                 std::string_view gameProgram) const;

    const WinePrefix& prefix_;
    std::string machineWine_;
    std::function<std::vector<ProtonRun>()> protonLookUp_; // until the first launch asks for it
    std::vector<ProtonRun> proton_;
};

} // namespace vantrel
