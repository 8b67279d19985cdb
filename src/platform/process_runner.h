// Starts another program and waits for it, and for what it started, to end.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct RunResult {
    bool started = false;
    int exitCode = -1;   // the program's own, when it started
    std::string error;   // why nothing started, in a few words naming the program
};

// How the games of one folder are started through Steam's Proton. Paths are Windows paths of the machine.
struct ProtonRun {
    std::string gameFolder;    // the install folder, ending with a backslash
    std::string appId;         // Steam's app id of the game
    std::string proton;        // Proton's own launcher, "<Proton's folder>\proton"; empty when none was found
    std::string compatData;    // steamapps\compatdata\<app id>, the folder that holds the prefix pfx
    std::string steamFolder;   // Steam's own folder (its client install)
    std::string failure;       // when `proton` is empty: why, for the player
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

    // Starts a command of the system itself given as its arguments (program first, a host path or a
    // name found on the search path), each passed on exactly, and waits as RunAndWait does, also for
    // the games' programs beside `gameProgram` (a Windows path of the machine).
    [[nodiscard]] virtual RunResult RunArgumentsAndWait(const std::vector<std::string>& arguments,
                                                        std::string_view gameProgram) = 0;

    // True where the games Steam installs need its Proton to run: Linux, unless $WINE names the runner.
    [[nodiscard]] virtual bool NeedsProton() = 0;

    // From now on, RunAndWait starts a program of one of the folders `lookUp` gives through its
    // Proton, or fails with the run's failure when none was found. `lookUp` is called at the first
    // RunAndWait, so that Steam's settings are read by a launch, not by every start. Where Proton is
    // not needed, it changes nothing.
    virtual void RunThroughProton(std::function<std::vector<ProtonRun>()> lookUp) = 0;
};

} // namespace vantrel
