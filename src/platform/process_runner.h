// Starts another program and waits for it, and for what it started, to end.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct RunResult {
    bool started = false;
    int exitCode = -1;   // the program's own, when it started
    std::string error;   // why nothing started, in a few words naming the program
    double seconds = 0;  // from the start until the wait ended
};

// What a started run is waiting for, for the player to see.
enum class RunStage {
    WaitingForGame, // no program of the install folder runs yet: a store's stub or client, Proton
    GameRunning,    // a program of the install folder runs (the game, the map editor)
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

// A command line's program and the text after it (its arguments, with the blank before them).
struct CommandLineParts {
    std::string program;
    std::string rest;
};

// The program a command line starts: a quoted first word, else the line up to its first ".exe" that
// ends a word, else its first word with ".exe" added when it has no extension. Never a shorter
// beginning of the line, whatever exists on the disk.
[[nodiscard]] CommandLineParts SplitCommandLine(std::string_view line);

// How long a launch waits for a game that a store's stub handed to its client to start: the seconds
// VANTREL_GAME_START_WAIT gives, else a minute (a client may first update, sync saves and so on).
[[nodiscard]] std::chrono::milliseconds GameStartWait();

class ProcessRunner {
public:
    ProcessRunner() = default;
    ProcessRunner(const ProcessRunner&) = delete;
    ProcessRunner& operator=(const ProcessRunner&) = delete;
    virtual ~ProcessRunner() = default;

    // Told, on the thread that waits, each time a run moves to another stage; may be left empty.
    void TellStages(std::function<void(RunStage)> observer) { stages_ = std::move(observer); }

    // Starts the program SplitCommandLine finds, by its full path, with the rest of the line as its
    // arguments, and blocks until it has ended and no program of its folder runs (any program whose
    // file lies in the folder, whoever started it); what it started from elsewhere (a store's client,
    // its helpers) does not count. When the program is a store's stub (the folder's generals.exe
    // beside game.dat) and no other program of the folder runs as it ends, the wait goes on for the
    // game its client starts, up to GameStartWait(), and then for it to end; when none starts, the
    // result is not started, saying so. The exit code is the program's own. Returns at once, not
    // started and with the reason, when nothing could be started.
    [[nodiscard]] virtual RunResult RunAndWait(std::string_view commandLine) = 0;

    // Starts a command of the system itself given as its arguments (program first, a host path or a
    // name found on the search path), each passed on exactly, and waits as RunAndWait does, also for
    // the programs of the folder of `gameProgram` (a Windows path of the machine).
    [[nodiscard]] virtual RunResult RunArgumentsAndWait(const std::vector<std::string>& arguments,
                                                        std::string_view gameProgram) = 0;

    // The file name of a program of the install folder `folder` (a Windows path of the machine
    // ending with a backslash) that runs now, whoever started it; nullopt when none runs.
    [[nodiscard]] virtual std::optional<std::string> ProgramRunningFrom(std::string_view folder) = 0;

    // True where the games Steam installs need its Proton to run: Linux, unless $WINE names the runner.
    [[nodiscard]] virtual bool NeedsProton() = 0;

    // From now on, RunAndWait starts a program of one of the folders `lookUp` gives through its
    // Proton, or fails with the run's failure when none was found. `lookUp` is called at the first
    // RunAndWait, so that Steam's settings are read by a launch, not by every start. Where Proton is
    // not needed, it changes nothing.
    virtual void RunThroughProton(std::function<std::vector<ProtonRun>()> lookUp) = 0;

protected:
    void Tell(RunStage stage) const {
        if (stages_) {
            stages_(stage);
        }
    }

private:
    std::function<void(RunStage)> stages_;
};

} // namespace vantrel
