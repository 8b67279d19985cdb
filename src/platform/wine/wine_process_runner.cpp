#include "platform/wine/wine_process_runner.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"

extern char** environ;

namespace vantrel {
namespace {

bool HasExtension(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.find('.') != std::string_view::npos;
}

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

// The program a line meant, for telling that it is missing: up to its first ".exe" that ends a
// word, else its first word with ".exe" added when it has no extension.
std::string ProgramMeant(std::string_view commandLine) {
    for (std::size_t end = 0; end < commandLine.size(); ++end) {
        const std::size_t next = end + 4;
        if ((next == commandLine.size() || (next < commandLine.size() && commandLine[next] == ' ')) &&
            EqualsIgnoringCase(commandLine.substr(end, 4), ".exe")) {
            return std::string(commandLine.substr(0, next));
        }
    }
    std::string program(commandLine.substr(0, commandLine.find(' ')));
    return HasExtension(program) ? program : program + ".exe";
}

} // namespace

std::optional<WindowsCommand> WineProcessRunner::ParseCommandLine(std::string_view commandLine) const {
    for (std::size_t end = 0; end <= commandLine.size(); ++end) {
        if (end < commandLine.size() && commandLine[end] != ' ') {
            continue;
        }
        const std::string_view beginning = commandLine.substr(0, end);
        if (beginning.empty() || beginning.back() == ' ') {
            continue;
        }
        std::string program(beginning);
        if (!HasExtension(program)) {
            program += ".exe";
        }
        const auto host = prefix_.ToHostPath(program);
        struct stat info {};
        if (host && stat(host->c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            return WindowsCommand{program, SplitAtBlanks(commandLine.substr(end))};
        }
    }
    return std::nullopt;
}

RunResult WineProcessRunner::RunAndWait(std::string_view commandLine) {
    const auto command = ParseCommandLine(commandLine);
    if (!command) {
        const std::string program = ProgramMeant(commandLine);
        return {false, -1, program == ".exe" ? "no program was named" : program + " was not found"};
    }
    const char* runner = std::getenv("WINE");
    const std::string wine = runner && *runner ? runner : "wine";
    std::vector<std::string> argv = {wine, command->program};
    argv.insert(argv.end(), command->arguments.begin(), command->arguments.end());
    std::vector<char*> args;
    for (auto& argument : argv) {
        args.push_back(argument.data());
    }
    args.push_back(nullptr);

    // The child gets this environment with WINEPREFIX naming the prefix in use.
    std::string prefixVariable = "WINEPREFIX=" + prefix_.Root();
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable) {
        if (std::strncmp(*variable, "WINEPREFIX=", 11) != 0) {
            environment.push_back(*variable);
        }
    }
    environment.push_back(prefixVariable.data());
    environment.push_back(nullptr);

    pid_t child = 0;
    // glibc reports a runner it could not execute here, not as an exit code of the child.
    if (const int error =
            posix_spawnp(&child, wine.c_str(), nullptr, nullptr, args.data(), environment.data());
        error != 0) {
        return {false, -1, wine + " could not be started: " + ErrorText(error)};
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return {true, -1, {}};
        }
    }
    if (WIFEXITED(status)) {
        return {true, WEXITSTATUS(status), {}};
    }
    return {true, WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1, {}};
}

} // namespace vantrel
