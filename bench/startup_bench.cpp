// How long the launcher takes from exec to its main window being mapped, beside a bare Qt window,
// and in silent mode from exec to the game's start, beside starting the game directly.
//
// Runs its own Xvfb without a window manager and watches the root window's MapNotify events, so a
// window counts as shown the moment the server maps it. Each case alternates the launcher with its
// baseline and reports the medians and their ratio.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kStampVariable = "STARTUP_BENCH_STAMP_FD";

// What a signal handler must still end: the program being timed and the X server.
volatile sig_atomic_t gChild = 0;
volatile sig_atomic_t gServer = 0;
// What the handler says is left behind, made before the handler is set.
char gLeftNote[4200] = "";

void EndOnSignal(int number) {
    if (gChild > 0) {
        kill(static_cast<pid_t>(gChild), SIGKILL);
    }
    if (gServer > 0) {
        kill(static_cast<pid_t>(gServer), SIGTERM);
    }
    if (gLeftNote[0] != '\0') {
        (void)!write(2, gLeftNote, std::strlen(gLeftNote));
    }
    _exit(128 + number);
}

std::int64_t Now() {
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double Milliseconds(std::int64_t nanoseconds) {
    return static_cast<double>(nanoseconds) / 1e6;
}

struct Options {
    std::string launcher;
    std::string baseline;
    std::string standIn;
    std::string prefix;
    int runs = 15;
    int warmups = 2;
    int timeoutSeconds = 60;
    bool keep = false;
    std::vector<int> sizes = {0, 1000, 10000};
};

[[noreturn]] void Usage(int status) {
    std::fprintf(status == 0 ? stdout : stderr,
                 "usage: startup_bench [--launcher PATH] [--baseline PATH] [--stand-in PATH] [--prefix DIR]\n"
                 "                     [--runs N] [--warmups N] [--timeout SECONDS] [--sizes N,N,...] [--keep]\n"
                 "The Wine prefix comes from --prefix, else VANTREL_BENCH_PREFIX, else one the bench makes once\n"
                 "in ~/.cache/vantrel-bench/prefix. Programs default to this build tree's.\n");
    std::exit(status);
}

std::string SelfFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    const std::string self = SelfFolder();
    options.launcher = self + "/../src/vantrel";
    options.baseline = self + "/bare_window";
    options.standIn = self + "/stand_in_game";
    if (const char* prefix = std::getenv("VANTREL_BENCH_PREFIX"); prefix && *prefix) {
        options.prefix = prefix;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage(2);
            }
            return argv[++i];
        };
        if (option == "--launcher") {
            options.launcher = value();
        } else if (option == "--baseline") {
            options.baseline = value();
        } else if (option == "--stand-in") {
            options.standIn = value();
        } else if (option == "--prefix") {
            options.prefix = value();
        } else if (option == "--runs") {
            options.runs = std::max(1, std::atoi(value().c_str()));
        } else if (option == "--warmups") {
            options.warmups = std::max(0, std::atoi(value().c_str()));
        } else if (option == "--timeout") {
            options.timeoutSeconds = std::max(1, std::atoi(value().c_str()));
        } else if (option == "--sizes") {
            options.sizes.clear();
            std::stringstream list(value());
            for (std::string size; std::getline(list, size, ',');) {
                options.sizes.push_back(std::atoi(size.c_str()));
            }
        } else if (option == "--keep") {
            options.keep = true;
        } else if (option == "--help" || option == "-h") {
            Usage(0);
        } else {
            Usage(2);
        }
    }
    for (std::string* path : {&options.launcher, &options.baseline, &options.standIn}) {
        std::error_code error;
        const fs::path canonical = fs::canonical(*path, error);
        if (error || access(canonical.c_str(), X_OK) != 0) {
            std::fprintf(stderr, "startup_bench: %s is not an executable program\n", path->c_str());
            std::exit(2);
        }
        *path = canonical.string();
    }
    if (!options.prefix.empty()) {
        options.prefix = fs::absolute(options.prefix).string();
    }
    return options;
}

// An environment as a list of NAME=value, with changes applied in order.
class Environment {
public:
    Environment() {
        for (char** variable = environ; *variable; ++variable) {
            entries_.emplace_back(*variable);
        }
    }
    Environment& Set(const std::string& name, const std::string& value) {
        Unset(name);
        entries_.push_back(name + "=" + value);
        return *this;
    }
    Environment& Unset(const std::string& name) {
        std::erase_if(entries_, [&](const std::string& entry) { return entry.starts_with(name + "="); });
        return *this;
    }
    // Pointers into this object, for execve.
    std::vector<char*> Pointers() {
        std::vector<char*> pointers;
        for (auto& entry : entries_) {
            pointers.push_back(entry.data());
        }
        pointers.push_back(nullptr);
        return pointers;
    }

private:
    std::vector<std::string> entries_;
};

// Starts `argv` with `environment`, its output going to `logPath` (appended). In the child,
// `keepFd` survives exec. Returns the child's pid, or -1.
pid_t Start(std::vector<std::string> argv, Environment environment, const std::string& logPath, int keepFd = -1) {
    std::vector<char*> args;
    for (auto& argument : argv) {
        args.push_back(argument.data());
    }
    args.push_back(nullptr);
    std::vector<char*> variables = environment.Pointers();
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        if (keepFd >= 0) {
            fcntl(keepFd, F_SETFD, 0);
        }
        execvpe(args[0], args.data(), variables.data());
        _exit(127);
    }
    if (log >= 0) {
        close(log);
    }
    return child;
}

// Waits for `child` up to `timeoutNs`; its wait status, or nullopt when it is still running.
std::optional<int> WaitFor(pid_t child, std::int64_t timeoutNs) {
    const std::int64_t end = Now() + timeoutNs;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            return status;
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (Now() >= end) {
            return std::nullopt;
        }
        usleep(2000);
    }
}

// SIGTERM, then SIGKILL if it lingers; always reaped.
void Stop(pid_t child) {
    kill(child, SIGTERM);
    if (!WaitFor(child, 5'000'000'000)) {
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
    }
    gChild = 0;
}

std::string StatusText(int status) {
    if (WIFEXITED(status)) {
        return "exited with " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return std::string("was killed by ") + strsignal(WTERMSIG(status));
    }
    return "ended";
}

int RunToEnd(const std::vector<std::string>& argv, const Environment& environment, const std::string& logPath) {
    const pid_t child = Start(argv, environment, logPath);
    if (child < 0) {
        return -1;
    }
    gChild = child;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    gChild = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string LastLines(const std::string& path, std::size_t count) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    std::string text;
    for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) {
        text += "    | " + lines[i] + "\n";
    }
    return text;
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out) {
        std::fprintf(stderr, "startup_bench: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// --- The Wine prefix ---------------------------------------------------------------------------

struct Prefix {
    std::string root;
    bool ours = false; // made by the bench, so its game folders are known
};

std::string CacheFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache) {
        return std::string(cache) + "/vantrel-bench";
    }
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "/tmp") + "/.cache/vantrel-bench";
}

// Wine's own tools, without a display and without offering to install Mono or Gecko.
Environment WineToolEnvironment(const std::string& prefix) {
    Environment environment;
    environment.Set("WINEPREFIX", prefix).Set("WINEDEBUG", "-all").Set("WINEDLLOVERRIDES", "mscoree,mshtml=");
    environment.Unset("DISPLAY").Unset("WAYLAND_DISPLAY");
    return environment;
}

Prefix EnsurePrefix(const Options& options) {
    if (!options.prefix.empty()) {
        if (!fs::exists(options.prefix + "/system.reg")) {
            std::fprintf(stderr, "startup_bench: %s has no system.reg; is it a Wine prefix?\n", options.prefix.c_str());
            std::exit(2);
        }
        return {options.prefix, false};
    }
    const std::string root = CacheFolder() + "/prefix";
    const std::string ready = root + "/.vantrel-bench-ready";
    if (fs::exists(ready)) {
        return {root, true};
    }
    // A prefix left half made by an interrupted run is made again from nothing.
    std::error_code ignored;
    fs::remove_all(root, ignored);
    fs::create_directories(CacheFolder());
    const std::string log = CacheFolder() + "/prefix.log";
    std::printf("Making a Wine prefix in %s with wineboot -i (once; this takes a while; log: %s)...\n", root.c_str(),
                log.c_str());
    std::fflush(stdout);
    const Environment environment = WineToolEnvironment(root);
    const auto step = [&](const std::vector<std::string>& argv) {
        if (const int status = RunToEnd(argv, environment, log); status != 0) {
            std::fprintf(stderr, "startup_bench: %s failed (status %d); see %s\n", argv[0].c_str(), status, log.c_str());
            std::exit(1);
        }
    };
    step({"wineboot", "-i"});
    // As the games' 32-bit installers do, so the keys land where the launcher looks first.
    step({"wine", "reg", "add", "HKLM\\Software\\Electronic Arts\\EA Games\\Generals", "/v", "InstallPath", "/t",
          "REG_SZ", "/d", "C:\\Games\\Generals\\", "/f", "/reg:32"});
    step({"wine", "reg", "add", "HKLM\\Software\\Electronic Arts\\EA Games\\Command and Conquer Generals Zero Hour",
          "/v", "InstallPath", "/t", "REG_SZ", "/d", "C:\\Games\\Zero Hour\\", "/f", "/reg:32"});
    // The registry reaches system.reg only when the server ends.
    step({"wineserver", "-w"});
    for (const char* game : {"Generals", "Zero Hour"}) {
        const fs::path folder = fs::path(root) / "drive_c/Games" / game;
        fs::create_directories(folder / "Data");
        WriteFile(folder / "generals.exe", "stand-in game\n");
    }
    WriteFile(ready, "");
    return {root, true};
}

// --- The X server ------------------------------------------------------------------------------

struct Server {
    pid_t pid = -1;
    std::string display;
};

// One try at `number`: the server's pid once it accepts connections, else -1 (it is then ended).
pid_t TryServer(int number, const std::string& log) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        std::perror("startup_bench: pipe");
        std::exit(1);
    }
    // -displayfd: the server writes its display number once it accepts connections.
    const pid_t pid = Start({"Xvfb", ":" + std::to_string(number), "-displayfd", std::to_string(ready[1]), "-screen",
                             "0", "1280x800x24", "-nolisten", "tcp", "-noreset"},
                            Environment(), log, ready[1]);
    close(ready[1]);
    gServer = pid;
    std::string written;
    const std::int64_t end = Now() + 30'000'000'000;
    while (Now() < end && written.find('\n') == std::string::npos) {
        pollfd wait{ready[0], POLLIN, 0};
        if (poll(&wait, 1, 100) > 0) {
            char buffer[16];
            const ssize_t got = read(ready[0], buffer, sizeof buffer);
            if (got <= 0) {
                break; // the server ended: the number was taken
            }
            written.append(buffer, static_cast<std::size_t>(got));
        }
    }
    close(ready[0]);
    if (written.find('\n') == std::string::npos) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        gServer = 0;
        return -1;
    }
    return pid;
}

Server StartServer(const std::string& log) {
    // Well above the numbers people and scripts pick by hand; the server's own lock settles races.
    for (int number = 140; number < 200; ++number) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        if (access(socket.c_str(), F_OK) == 0 || access(lock.c_str(), F_OK) == 0) {
            continue;
        }
        if (const pid_t pid = TryServer(number, log); pid > 0) {
            return {pid, ":" + std::to_string(number)};
        }
    }
    std::fprintf(stderr, "startup_bench: Xvfb did not start; see %s\n%s", log.c_str(), LastLines(log, 10).c_str());
    std::exit(1);
}

class Display {
public:
    explicit Display(const std::string& name) {
        connection_ = xcb_connect(name.c_str(), nullptr);
        if (xcb_connection_has_error(connection_)) {
            std::fprintf(stderr, "startup_bench: cannot connect to %s\n", name.c_str());
            std::exit(1);
        }
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        // Without a window manager, a top-level window's map shows in its parent's, the root's, substructure.
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        pidAtom_ = Atom("_NET_WM_PID");
        typeAtom_ = Atom("_NET_WM_WINDOW_TYPE");
        normalAtom_ = Atom("_NET_WM_WINDOW_TYPE_NORMAL");
        nameAtom_ = Atom("_NET_WM_NAME");
        xcb_flush(connection_);
    }
    ~Display() { xcb_disconnect(connection_); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    struct Mapped {
        xcb_window_t window = 0;
        std::int64_t at = 0;
    };

    // Drops whatever arrived between runs.
    void Drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            std::free(event);
        }
    }

    // The next top-level window mapped (override-redirect ones, such as tooltips, aside), or nullopt
    // when `stillWaiting` says to give up.
    std::optional<Mapped> NextMap(const std::function<bool()>& stillWaiting) {
        for (;;) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const std::int64_t at = Now();
                std::optional<Mapped> mapped;
                if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                    const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                    if (map->event == root_ && !map->override_redirect) {
                        mapped = Mapped{map->window, at};
                    }
                }
                std::free(event);
                if (mapped) {
                    return mapped;
                }
            }
            if (xcb_connection_has_error(connection_)) {
                std::fprintf(stderr, "startup_bench: lost the X server\n");
                std::exit(1);
            }
            if (!stillWaiting()) {
                return std::nullopt;
            }
            pollfd wait{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&wait, 1, 20);
        }
    }

    // Waits until `window` is gone, so that one run's teardown does not overlap the next run.
    void AwaitDestroy(xcb_window_t window, std::int64_t timeoutNs) {
        const std::int64_t end = Now() + timeoutNs;
        while (Now() < end) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const bool gone = (event->response_type & 0x7f) == XCB_DESTROY_NOTIFY &&
                                  reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == window;
                std::free(event);
                if (gone) {
                    return;
                }
            }
            pollfd wait{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&wait, 1, 20);
        }
    }

    std::uint32_t PidOf(xcb_window_t window) {
        const auto reply = Property(window, pidAtom_, XCB_ATOM_CARDINAL);
        return reply.size() >= 4 ? *reinterpret_cast<const std::uint32_t*>(reply.data()) : 0;
    }

    // Whether the window calls itself a normal one (a main window), not a dialog or message box.
    // The first type is the one meant: Qt lists NORMAL after DIALOG as a fallback.
    bool IsNormalWindow(xcb_window_t window) {
        const auto reply = Property(window, typeAtom_, XCB_ATOM_ATOM);
        return reply.size() < 4 || *reinterpret_cast<const std::uint32_t*>(reply.data()) == normalAtom_;
    }

    std::string Describe(xcb_window_t window) {
        const auto name = Property(window, nameAtom_, XCB_GET_PROPERTY_TYPE_ANY);
        std::string text = "\"" + std::string(name.begin(), name.end()) + "\"";
        auto* geometry = xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
        if (geometry) {
            text += " " + std::to_string(geometry->width) + "x" + std::to_string(geometry->height);
            std::free(geometry);
        }
        return text;
    }

private:
    xcb_atom_t Atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    std::vector<char> Property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
        auto* reply = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, property, type, 0, 256), nullptr);
        std::vector<char> value;
        if (reply) {
            const auto* data = static_cast<const char*>(xcb_get_property_value(reply));
            value.assign(data, data + xcb_get_property_value_length(reply));
            std::free(reply);
        }
        return value;
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
    xcb_atom_t pidAtom_ = 0;
    xcb_atom_t typeAtom_ = 0;
    xcb_atom_t normalAtom_ = 0;
    xcb_atom_t nameAtom_ = 0;
};

// --- One run -----------------------------------------------------------------------------------

struct Outcome {
    double ms = 0;
    std::string error; // empty when the run went through
    std::string window; // what was mapped, for the record
};

// From exec of `program` to the map of its first normal top-level window; the program is then ended.
Outcome TimeToWindow(Display& display, const std::string& program, const Environment& environment,
                     const std::string& log, std::int64_t timeoutNs) {
    display.Drain();
    const std::int64_t start = Now();
    const pid_t child = Start({program}, environment, log);
    gChild = child;
    Outcome outcome;
    int status = 0;
    bool ended = false;
    const auto stillWaiting = [&] {
        if (waitpid(child, &status, WNOHANG) == child) {
            ended = true;
            return false;
        }
        return Now() - start < timeoutNs;
    };
    for (;;) {
        const auto mapped = display.NextMap(stillWaiting);
        if (!mapped) {
            outcome.error = ended ? "it " + StatusText(status) + " before showing a window"
                                  : "no window within " + std::to_string(timeoutNs / 1'000'000'000) + " s";
            break;
        }
        if (display.PidOf(mapped->window) != static_cast<std::uint32_t>(child)) {
            continue; // another client's window
        }
        outcome.window = display.Describe(mapped->window);
        if (!display.IsNormalWindow(mapped->window)) {
            outcome.error = "it showed a dialog " + outcome.window + " instead of its main window";
        } else {
            outcome.ms = Milliseconds(mapped->at - start);
        }
        if (!ended) {
            Stop(child);
            display.AwaitDestroy(mapped->window, 2'000'000'000);
        }
        gChild = 0;
        return outcome;
    }
    if (!ended) {
        Stop(child);
    }
    gChild = 0;
    return outcome;
}

// From exec of `argv` to the stand-in game's noted start; the program must then end with 0.
Outcome TimeToGame(const std::vector<std::string>& argv, Environment environment, const std::string& log,
                   std::int64_t timeoutNs) {
    int stamp[2];
    if (pipe2(stamp, O_CLOEXEC) != 0) {
        return {0, "no pipe", {}};
    }
    environment.Set(kStampVariable, std::to_string(stamp[1]));
    const std::int64_t start = Now();
    const pid_t child = Start(argv, environment, log, stamp[1]);
    gChild = child;
    close(stamp[1]);
    Outcome outcome;
    std::int64_t started = 0;
    std::size_t got = 0;
    while (got < sizeof started && Now() - start < timeoutNs) {
        pollfd wait{stamp[0], POLLIN, 0};
        if (poll(&wait, 1, 100) <= 0) {
            continue;
        }
        const ssize_t n = read(stamp[0], reinterpret_cast<char*>(&started) + got, sizeof started - got);
        if (n <= 0) {
            break; // every writer is gone: the game never started
        }
        got += static_cast<std::size_t>(n);
    }
    close(stamp[0]);
    const auto status = WaitFor(child, timeoutNs);
    if (!status) {
        Stop(child);
        outcome.error = "it did not end within " + std::to_string(timeoutNs / 1'000'000'000) +
                        " s (with a display, a message box may be waiting)";
    } else if (got < sizeof started) {
        outcome.error = "the game was never started; it " + StatusText(*status);
    } else if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        outcome.error = "it " + StatusText(*status);
    } else {
        outcome.ms = Milliseconds(started - start);
    }
    gChild = 0;
    return outcome;
}

// --- Cases and the report ----------------------------------------------------------------------

struct Side {
    std::string name;
    std::function<Outcome()> run;
    std::vector<double> times;
    std::string window;
};

struct Result {
    std::string name;
    double launcher = 0;
    double baseline = 0;
    double launcherMin = 0;
    double baselineMin = 0;
    std::string error;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Warm-ups, then the measured runs, launcher and baseline in turn.
Result Measure(const std::string& name, Side launcher, Side baseline, const Options& options,
               const std::function<std::string()>& afterLauncherRun) {
    std::printf("%-34s", name.c_str());
    std::fflush(stdout);
    Result result{name, 0, 0, 0, 0, {}};
    for (int i = 0; i < options.warmups + options.runs; ++i) {
        for (Side* side : {&launcher, &baseline}) {
            const Outcome outcome = side->run();
            if (!outcome.error.empty()) {
                result.error = side->name + ": " + outcome.error;
                std::printf("failed\n");
                return result;
            }
            if (side == &launcher && afterLauncherRun) {
                if (std::string problem = afterLauncherRun(); !problem.empty()) {
                    result.error = side->name + ": " + problem;
                    std::printf("failed\n");
                    return result;
                }
            }
            side->window = outcome.window;
            if (i >= options.warmups) {
                side->times.push_back(outcome.ms);
            }
        }
        std::printf(".");
        std::fflush(stdout);
    }
    std::printf("\n");
    if (!launcher.window.empty()) {
        std::printf("    windows mapped: %s %s, %s %s\n", launcher.name.c_str(), launcher.window.c_str(),
                    baseline.name.c_str(), baseline.window.c_str());
    }
    result.launcher = Median(launcher.times);
    result.baseline = Median(baseline.times);
    result.launcherMin = *std::min_element(launcher.times.begin(), launcher.times.end());
    result.baselineMin = *std::min_element(baseline.times.begin(), baseline.times.end());
    return result;
}

// The mod definition text: five folder pairs, as catalogue_bench writes them.
std::string Definition(int i) {
    const std::string mod = "Mod" + std::to_string(i);
    std::string text = "Location=D:\\Mods\\" + mod + "\\" + mod + ".big\r\n";
    for (int pair = 0; pair < 5; ++pair) {
        text += "[Folder]\r\nSource=D:\\Mods\\" + mod + "\\Part" + std::to_string(pair) +
                "\r\nDestination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\\Part" +
                std::to_string(pair) + "\r\n";
    }
    return text;
}

// The launcher in a folder of its own: it reads its definitions beside its executable.
std::string PlaceLauncher(const Options& options, const fs::path& folder) {
    fs::create_directories(folder);
    const fs::path copy = folder / "vantrel";
    std::error_code error;
    fs::create_hard_link(options.launcher, copy, error);
    if (error) {
        fs::copy_file(options.launcher, copy, fs::copy_options::overwrite_existing);
    }
    return copy.string();
}

// A Windows path for a host path through the prefix's Z: drive.
std::string ZPath(const fs::path& host) {
    std::string path = "Z:" + host.string();
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Whether another instance's lock is still held once the instance is gone.
bool InstanceLockHeld(const std::string& runtime) {
    const std::string path = runtime + "/vantrel.lock";
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    if (!held) {
        flock(fd, LOCK_UN);
    }
    close(fd);
    return held;
}

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    for (const int ending : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(ending, EndOnSignal);
    }
    const Prefix prefix = EnsurePrefix(options);

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantrel-startup.XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("startup_bench: mkdtemp");
        return 1;
    }
    const fs::path work = fs::canonical(pattern);
    std::snprintf(gLeftNote, sizeof gLeftNote, "\nstartup_bench: interrupted; %s is left to remove\n", work.c_str());
    // A runtime folder of its own: the instance lock lives there, apart from any launcher the user has open.
    const fs::path runtime = work / "runtime";
    fs::create_directory(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    const Server server = StartServer((work / "xvfb.log").string());
    Display display(server.display);

    std::error_code ignored;
    std::printf("Wine prefix:  %s (system.reg %.1f MB)\n", prefix.root.c_str(),
                static_cast<double>(fs::file_size(prefix.root + "/system.reg", ignored)) / 1e6);
    std::printf("Launcher:     %s\nBaselines:    %s, %s\nX server:     Xvfb %s, no window manager\n",
                options.launcher.c_str(), options.baseline.c_str(), options.standIn.c_str(), server.display.c_str());
    std::printf("Runs:         %d per side after %d warm-ups, launcher and baseline in turn\n\n", options.runs,
                options.warmups);

    Environment base;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VANTREL_MESSAGES", "VANTREL_HOME",
                             "WINE", "WINEPREFIX", "VANTREL_BENCH_CAPTION", kStampVariable}) {
        base.Unset(name);
    }
    base.Set("WINEPREFIX", prefix.root).Set("XDG_RUNTIME_DIR", runtime.string());
    Environment windowed = base;
    windowed.Set("DISPLAY", server.display).Set("QT_QPA_PLATFORM", "xcb");
    const std::int64_t timeoutNs = static_cast<std::int64_t>(options.timeoutSeconds) * 1'000'000'000;
    const std::string log = (work / "programs.log").string();

    std::vector<Result> results;
    bool staleLock = false;
    const auto checkLock = [&]() -> std::string {
        if (InstanceLockHeld(runtime.string())) {
            staleLock = true;
            return "the instance lock is still held after the launcher was ended";
        }
        return {};
    };

    // What any window with a line of text costs beyond the bare one: the system's fonts are set up and
    // one loaded before the window maps. The launcher's windows pay this whatever else they do.
    const Side bareWindow{
        "bare_window", [&] { return TimeToWindow(display, options.baseline, windowed, log, timeoutNs); }, {}, {}};
    Environment captioned = windowed;
    captioned.Set("VANTREL_BENCH_CAPTION", "Game Titles Found:");
    results.push_back(Measure(
        "bare window with a caption",
        {"bare_window + caption", [&] { return TimeToWindow(display, options.baseline, captioned, log, timeoutNs); },
         {}, {}},
        bareWindow,
        options, {}));

    for (const int size : options.sizes) {
        const fs::path folder = work / ("definitions-" + std::to_string(size));
        const std::string launcher = PlaceLauncher(options, folder);
        for (int i = 0; i < size; ++i) {
            WriteFile(folder / ("Mod" + std::to_string(i) + ".vtl"), Definition(i));
        }
        results.push_back(Measure(
            "window, " + std::to_string(size) + " definitions",
            {"vantrel", [&] { return TimeToWindow(display, launcher, windowed, log, timeoutNs); }, {}, {}},
            bareWindow,
            options, checkLock));
    }

    // Silent mode: a one-file mod into the Generals folder (a folder of the bench's own when the
    // prefix is someone else's).
    const fs::path silent = work / "silent";
    const std::string silentLauncher = PlaceLauncher(options, silent);
    const fs::path payload = work / "payload";
    fs::create_directories(payload);
    WriteFile(payload / "Silent.ini", "; a one-file mod\r\n");
    WriteFile(payload / "Silent.big", "BIG\r\n");
    const fs::path destination =
        prefix.ours ? fs::path(prefix.root) / "drive_c/Games/Generals/Data" : work / "destination";
    fs::create_directories(destination);
    const std::string destinationPath = prefix.ours ? "C:\\Games\\Generals\\Data" : ZPath(destination);
    WriteFile(silent / "Mod0.vtl", "Location=" + ZPath(payload / "Silent.big") + "\r\n[Folder]\r\nSource=" +
                                       ZPath(payload / "Silent.ini") + "\r\nDestination=" + destinationPath + "\r\n");
    const auto putBack = [&]() -> std::string {
        for (const auto& entry : fs::directory_iterator(destination)) {
            return "the game folder was not put back: " + entry.path().string() + " is left";
        }
        for (const auto& entry : fs::directory_iterator(silent)) {
            if (entry.path().extension() == ".journal") {
                return "a launch journal is left: " + entry.path().string();
            }
        }
        return {};
    };
    const std::vector<std::string> gameCommand = {options.standIn, "C:\\Games\\Generals\\generals.exe", "-nologo",
                                                  "-mod", "Silent.big"};
    for (const bool withDisplay : {true, false}) {
        Environment environment = withDisplay ? windowed : base;
        environment.Set("WINE", options.standIn);
        results.push_back(Measure(
            withDisplay ? "silent, DISPLAY set" : "silent, no display",
            {"vantrel -SILENT", [&] { return TimeToGame({silentLauncher, "-SILENT", "Mod0"}, environment, log, timeoutNs); },
             {}, {}},
            {"stand_in_game", [&] { return TimeToGame(gameCommand, environment, log, timeoutNs); }, {}, {}}, options,
            putBack));
    }

    std::printf("\n%-30s %12s %12s %8s   %s\n", "case", "vantrel ms", "baseline ms", "ratio", "fastest (vantrel / baseline)");
    for (const auto& result : results) {
        if (!result.error.empty()) {
            std::printf("%-30s failed: %s\n", result.name.c_str(), result.error.c_str());
            continue;
        }
        std::printf("%-30s %12.1f %12.1f %8.2f   %.1f / %.1f\n", result.name.c_str(), result.launcher,
                    result.baseline, result.launcher / result.baseline, result.launcherMin, result.baselineMin);
    }
    std::printf("(medians of %d runs each; baselines: bare_window for the window cases, stand_in_game run "
                "directly for silent mode)\n",
                options.runs);
    if (staleLock) {
        std::printf("\nThe instance lock in %s stayed held after a launcher was ended.\n", runtime.c_str());
    }
    const bool failed = std::any_of(results.begin(), results.end(), [](const Result& r) { return !r.error.empty(); });
    if (failed) {
        std::printf("\nThe programs' output is in %s\n%s", log.c_str(), LastLines(log, 15).c_str());
    }

    kill(server.pid, SIGTERM);
    waitpid(server.pid, nullptr, 0);
    gServer = 0;
    if (!options.keep && !failed) {
        fs::remove_all(work, ignored);
    } else {
        std::printf("Kept %s\n", work.c_str());
    }
    return failed ? 1 : 0;
}
