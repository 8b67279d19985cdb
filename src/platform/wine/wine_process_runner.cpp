#include "platform/wine/wine_process_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"
#include "platform/wine/launch_processes.h"

extern char** environ;

namespace vantrel {
namespace {

std::vector<std::string> SplitAtBlanks(std::string_view text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(text.find(' ', start), text.size());
        words.emplace_back(text.substr(start, end - start));
        pos = end;
    }
    return words;
}

// The host path without the prefix's drive links and other links in the part that exists: Proton
// and Steam's programs are given the paths Steam itself would give.
std::string Canonical(const std::string& hostPath) {
    std::string existing = hostPath;
    std::string rest;
    while (!existing.empty()) {
        if (char* real = realpath(existing.c_str(), nullptr)) {
            std::string path = real;
            std::free(real);
            return (path == "/" ? "" : path) + rest;
        }
        const std::size_t slash = existing.rfind('/');
        if (slash == std::string::npos) {
            break;
        }
        rest = existing.substr(slash) + rest;
        existing.resize(slash);
    }
    return hostPath;
}

// How often the programs of the game's folder are looked for while a launch waits.
constexpr int kPollMilliseconds = 250;

// What the keeper tells the launcher, in one fixed-size record.
struct Report {
    enum Kind : int { kNotStarted = 1, kEnded = 2, kStarted = 3 };
    int kind = 0;
    int value = 0; // the errno of the failed start, the program's wait status, or its pid
};

// Whether a process that is no child of this one still runs: through its pidfd, which a later
// process of the same number cannot take over, where the system has them.
bool IsRunning(pid_t pid, int pidfd) {
    if (pidfd >= 0) {
        pollfd ended{pidfd, POLLIN, 0};
        return poll(&ended, 1, 0) == 0;
    }
    if (pid <= 0 || kill(pid, 0) != 0) {
        return false;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' && line[close + 2] != 'X';
}

void Send(int socket, Report report) {
    // MSG_NOSIGNAL: a launcher that is gone must not kill the keeper with SIGPIPE.
    while (send(socket, &report, sizeof report, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
}

bool ReadReport(int socket, Report& report) {
    return ReadUpTo(socket, reinterpret_cast<char*>(&report), sizeof report) == sizeof report;
}

// True when the keeper has ended (and is reaped); `flags` 0 waits for it.
bool WaitForKeeper(pid_t keeper, int flags) {
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(keeper, &status, flags);
        if (ended < 0 && errno == EINTR) {
            continue;
        }
        return ended != 0;
    }
}

// The path execve needs for a program name, searched on PATH as a shell does; empty when none.
std::string FindOnPath(const std::string& program) {
    if (program.find('/') != std::string::npos) {
        return program;
    }
    const char* path = std::getenv("PATH");
    std::string_view folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        const std::string candidate =
            (folder.empty() ? std::string(".") : std::string(folder)) + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return {};
        }
        folders.remove_prefix(colon + 1);
    }
}

// Closes every descriptor but the standard ones and `keep`: the launcher's files, its window
// connection and its locks are for the program it starts (which holds the launch lock while it runs),
// not for the keeper.
void CloseDescriptorsBut(int keep) {
    const int folder = open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        return;
    }
    alignas(dirent64) char buffer[4096];
    for (;;) {
        const ssize_t length = getdents64(folder, buffer, sizeof buffer);
        if (length <= 0) {
            break;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
            offset += entry->d_reclen;
            int fd = 0;
            const char* digit = entry->d_name;
            for (; *digit >= '0' && *digit <= '9'; ++digit) {
                fd = fd * 10 + (*digit - '0');
            }
            if (*digit == '\0' && digit != entry->d_name && fd > 2 && fd != folder && fd != keep) {
                close(fd);
            }
        }
    }
    close(folder);
}

// The process between the launcher and the program: a child subreaper, so that whatever the program
// starts and leaves behind (Wine starts each Windows process through a fork that ends at once) is
// adopted here instead of by init and stays below the launch, whatever its name, and without asking
// the wineserver, which serves other programs of the prefix too and never ends when persistent. It
// reaps all it adopts, tells the launcher when the program itself ended, and ends when nothing is
// left below it, when the launcher ends it, or with the launcher's waiting thread. Being its own
// process, it leaves the launcher's other children alone. It runs after a fork of a process with
// threads, so it calls only async-signal-safe functions.
[[noreturn]] void RunKeeper(pid_t launcher, int report, const char* program, char* const* argv,
                            char* const* envp) {
    struct sigaction initial {};
    initial.sa_handler = SIG_DFL;
    sigaction(SIGCHLD, &initial, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGKILL, 0L, 0L, 0L);
    if (getppid() != launcher) {
        _exit(0); // the launcher is gone already
    }
    prctl(PR_SET_CHILD_SUBREAPER, 1L, 0L, 0L, 0L);
    const pid_t child = fork();
    if (child == 0) {
        execve(program, argv, envp);
        Send(report, {Report::kNotStarted, errno});
        _exit(127);
    }
    if (child < 0) {
        Send(report, {Report::kNotStarted, errno});
        _exit(127);
    }
    // Lets the launcher follow the program should the keeper die before it.
    Send(report, {Report::kStarted, child});
    CloseDescriptorsBut(report);
    bool reported = false;
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(-1, &status, 0);
        if (ended == child && !reported) {
            Send(report, {Report::kEnded, status});
            reported = true;
        } else if (ended < 0 && errno != EINTR) {
            _exit(0);
        }
    }
}

} // namespace

WineProcessRunner::GameFolder WineProcessRunner::FolderOf(std::string_view gameProgram) const {
    const std::size_t slash = gameProgram.rfind('\\');
    const std::string folder(gameProgram.substr(0, slash + 1));
    GameFolder found;
    const auto host = slash == std::string_view::npos ? std::nullopt : prefix_.ToHostPath(std::string(gameProgram));
    if (host) {
        found.host = Canonical(host->substr(0, host->rfind('/')));
    }
    // A store's generals.exe is a small stub; one of game.dat's own size is the game itself (patched).
    const auto gameData = prefix_.ToHostPath(folder + "game.dat");
    struct stat data {};
    struct stat program {};
    if (EqualsIgnoringCase(gameProgram.substr(slash + 1), "generals.exe") && gameData && host &&
        stat(gameData->c_str(), &data) == 0 && stat(host->c_str(), &program) == 0 && data.st_size != program.st_size) {
        found.stub = MappedFileAt(*host);
    }
    return found;
}

std::optional<WindowsCommand> WineProcessRunner::ParseCommandLine(std::string_view commandLine) const {
    const CommandLineParts parts = SplitCommandLine(commandLine);
    const auto host = parts.program.empty() ? std::nullopt : prefix_.ToHostPath(parts.program);
    struct stat info {};
    if (!host || stat(host->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return WindowsCommand{parts.program, SplitAtBlanks(parts.rest)};
}

std::optional<std::string> WineProcessRunner::ProgramRunningFrom(std::string_view folder) {
    const GameFolder game = FolderOf(std::string(folder) + "generals.exe");
    const auto running = game.host.empty() ? std::vector<std::string>() : ProcessesOfFolder(game.host, std::nullopt);
    return running.empty() ? std::nullopt : std::optional(std::string(BaseName(running.front())));
}

bool WineProcessRunner::NeedsProton() {
    const char* runner = std::getenv("WINE");
    return !(runner && *runner);
}

void WineProcessRunner::RunThroughProton(std::function<std::vector<ProtonRun>()> lookUp) {
    protonLookUp_ = std::move(lookUp);
    proton_.clear();
}

RunResult WineProcessRunner::RunAndWait(std::string_view commandLine) {
    if (protonLookUp_) {
        proton_ = std::exchange(protonLookUp_, nullptr)();
    }
    const auto command = ParseCommandLine(commandLine);
    if (!command) {
        const std::string program = SplitCommandLine(commandLine).program;
        return {false, -1, program.empty() ? "no program was named" : program + " was not found"};
    }
    const std::string folder = command->program.substr(0, command->program.rfind('\\') + 1);
    const auto steam = std::find_if(proton_.begin(), proton_.end(), [&](const ProtonRun& run) {
        return EqualsIgnoringCase(run.gameFolder, folder);
    });
    if (steam == proton_.end() || !NeedsProton()) {
        const char* runner = std::getenv("WINE");
        const std::string wine = runner && *runner ? runner : machineWine_.empty() ? "wine" : machineWine_;
        std::vector<std::string> argv = {wine, command->program};
        argv.insert(argv.end(), command->arguments.begin(), command->arguments.end());
        return Run(std::move(argv), {"WINEPREFIX=" + prefix_.Root()}, command->program);
    }
    if (steam->proton.empty()) {
        return {false, -1, command->program + " could not be started: " + steam->failure};
    }
    // Proton takes the program as a host path and makes the prefix's own path of it.
    const auto proton = prefix_.ToHostPath(steam->proton);
    const auto program = prefix_.ToHostPath(command->program);
    const auto compatData = prefix_.ToHostPath(steam->compatData);
    const auto steamFolder = prefix_.ToHostPath(steam->steamFolder);
    if (!proton || !program || !compatData || !steamFolder) {
        return {false, -1, command->program + " could not be started: Proton's folders are not on a drive of " +
                               prefix_.Root()};
    }
    // The verb Steam uses: Proton first waits for the prefix's wineserver of an earlier run to end,
    // then runs the game and ends with it. The wineserver it starts is Wine's own, adopted by the
    // keeper and handed on unwaited like any; Proton's steam.exe (of C:\windows) counts only
    // through Proton's script, its parent.
    std::vector<std::string> argv = {Canonical(*proton), "waitforexitandrun", Canonical(*program)};
    argv.insert(argv.end(), command->arguments.begin(), command->arguments.end());
    // Proton sets WINEPREFIX itself, to the prefix of the compatibility data. The app id lets it and
    // the game's Steam stub know which game runs, as they do when Steam starts it.
    return Run(std::move(argv),
               {"STEAM_COMPAT_DATA_PATH=" + Canonical(*compatData),
                "STEAM_COMPAT_CLIENT_INSTALL_PATH=" + Canonical(*steamFolder),
                "STEAM_COMPAT_APP_ID=" + steam->appId, "SteamAppId=" + steam->appId,
                "SteamGameId=" + steam->appId, "WINEPREFIX"},
               command->program);
}

RunResult WineProcessRunner::RunArgumentsAndWait(const std::vector<std::string>& arguments,
                                                 std::string_view gameProgram) {
    if (arguments.empty() || arguments.front().empty()) {
        return {false, -1, "no program was named"};
    }
    return Run(arguments, {}, gameProgram);
}

RunResult WineProcessRunner::Run(std::vector<std::string> argv, const std::vector<std::string>& variables,
                                 std::string_view gameProgram) {
    const std::string& name = argv.front();
    const std::string path = FindOnPath(name);
    if (path.empty()) {
        return {false, -1, name + " could not be started: " + ErrorText(ENOENT)};
    }
    std::vector<char*> args;
    for (auto& argument : argv) {
        args.push_back(argument.data());
    }
    args.push_back(nullptr);

    // The launcher's environment with `variables` in place of those of the same names; a bare name
    // only removes its variable.
    std::vector<std::string> settings = variables;
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view setting = *variable;
        const bool replaced = std::any_of(variables.begin(), variables.end(), [&](const std::string& mine) {
            const std::string_view own = std::string_view(mine).substr(0, mine.find('='));
            return setting.starts_with(own) && setting.size() > own.size() && setting[own.size()] == '=';
        });
        if (!replaced) {
            environment.push_back(*variable);
        }
    }
    for (auto& setting : settings) {
        if (setting.find('=') != std::string::npos) {
            environment.push_back(setting.data());
        }
    }
    environment.push_back(nullptr);

    int sockets[2] = {-1, -1};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        return {false, -1, name + " could not be started: " + ErrorText(errno)};
    }
    UniqueFd reports(sockets[0]);
    UniqueFd keeperEnd(sockets[1]);
    const pid_t launcher = getpid();
    const pid_t keeper = fork();
    if (keeper == 0) {
        RunKeeper(launcher, sockets[1], path.c_str(), args.data(), environment.data());
    }
    keeperEnd.Close();
    if (keeper < 0) {
        return {false, -1, name + " could not be started: " + ErrorText(errno)};
    }
    return Wait(keeper, reports.Get(), name, FolderOf(gameProgram), gameProgram);
}

RunResult WineProcessRunner::Wait(pid_t keeper, int reports, std::string_view started, const GameFolder& folder,
                                  std::string_view gameProgram) const {
    const auto begun = std::chrono::steady_clock::now();
    const auto startWait = GameStartWait();
    RunResult result{true, -1, {}};
    pid_t program = 0;          // the started program, once the keeper has told it
    UniqueFd programFd(-1);
    bool keeping = true;        // the keeper runs and tells how the program ends
    bool programRuns = true;
    bool sawGame = false;
    std::optional<RunStage> told;
    std::chrono::steady_clock::time_point handedOver{};
    bool handing = false; // the stub has ended and nothing of the folder runs
    const auto tell = [&](RunStage stage) {
        if (told != stage) {
            told = stage;
            Tell(stage);
        }
    };
    const auto endKeeper = [&] {
        // What is left below it (a store's client, Wine's own processes) is handed on, unharmed.
        kill(keeper, SIGKILL);
        WaitForKeeper(keeper, 0);
        keeping = false;
    };
    for (;;) {
        pollfd readable{reports, POLLIN, 0};
        if (poll(&readable, keeping ? 1 : 0, kPollMilliseconds) > 0) {
            Report report{};
            if (!ReadReport(reports, report)) {
                // The keeper died without telling how the program ended: the program may run on,
                // orphaned, and the game with it, so it is followed by its pid from now on.
                WaitForKeeper(keeper, 0);
                keeping = false;
            } else if (report.kind == Report::kStarted) {
                program = report.value;
                programFd = UniqueFd(static_cast<int>(syscall(SYS_pidfd_open, program, 0)));
            } else if (report.kind == Report::kNotStarted) {
                // The keeper ends by itself once the program it could not start is reaped.
                WaitForKeeper(keeper, 0);
                return {false, -1, std::string(started) + " could not be started: " + ErrorText(report.value)};
            } else if (report.kind == Report::kEnded) {
                if (WIFEXITED(report.value)) {
                    result.exitCode = WEXITSTATUS(report.value);
                } else if (WIFSIGNALED(report.value)) {
                    result.exitCode = 128 + WTERMSIG(report.value);
                }
                programRuns = false;
                endKeeper();
            }
        }
        if (!keeping && programRuns) {
            programRuns = IsRunning(program, programFd.Get());
        }
        const bool gameRuns = !folder.host.empty() && !ProcessesOfFolder(folder.host, folder.stub).empty();
        sawGame = sawGame || gameRuns;
        const auto now = std::chrono::steady_clock::now();
        if (programRuns || gameRuns) {
            tell(gameRuns ? RunStage::GameRunning : RunStage::WaitingForGame);
            handing = false;
        } else if (sawGame || !folder.stub) {
            break;
        } else {
            // A store's stub hands the game to its client, which may first start, update or sync.
            if (!handing) {
                handing = true;
                handedOver = now;
            }
            if (now - handedOver >= startWait) {
                result = {false, result.exitCode,
                          std::string(gameProgram) + " handed the game to its store's client, but the game did not start within " +
                              std::to_string(startWait.count() / 1000) + " seconds"};
                break;
            }
            tell(RunStage::WaitingForGame);
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    return result;
}

} // namespace vantrel
