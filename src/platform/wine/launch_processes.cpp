#include "platform/wine/launch_processes.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

struct ProcessStatus {
    pid_t parent = 0;
    char state = '?';
};

std::string ProcPath(pid_t pid, const char* name) {
    return "/proc/" + std::to_string(pid) + "/" + name;
}

std::string ReadProcFile(pid_t pid, const char* name) {
    std::ifstream file(ProcPath(pid, name), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The state and parent from /proc/<pid>/stat; its name, in parentheses, may hold blanks and ')'.
bool ReadStatus(pid_t pid, ProcessStatus& status) {
    const std::string stat = ReadProcFile(pid, "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size()) {
        return false;
    }
    status.state = stat[close + 2];
    status.parent = static_cast<pid_t>(std::strtol(stat.c_str() + close + 4, nullptr, 10));
    return true;
}

template <typename Visit> void ForEachProcess(Visit visit) {
    const UniqueDir proc(opendir("/proc"));
    if (!proc) {
        return;
    }
    while (const dirent* entry = readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && *end == '\0') {
            visit(static_cast<pid_t>(pid));
        }
    }
}

bool MapsOneOf(pid_t pid, const std::vector<MappedFile>& files) {
    std::istringstream maps(ReadProcFile(pid, "maps"));
    std::string range, permissions, offset, device, path;
    unsigned long inode = 0;
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        path.clear();
        if (!(fields >> range >> permissions >> offset >> device >> inode) || inode == 0) {
            continue;
        }
        std::getline(fields >> std::ws, path);
        const std::size_t colon = device.find(':');
        const unsigned long deviceMajor = std::strtoul(device.c_str(), nullptr, 16);
        const unsigned long deviceMinor =
            colon == std::string::npos ? 0 : std::strtoul(device.c_str() + colon + 1, nullptr, 16);
        for (const auto& file : files) {
            if ((file.inode == inode && file.major == deviceMajor && file.minor == deviceMinor) ||
                file.path == path) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::optional<MappedFile> MappedFileAt(const std::string& hostPath) {
    struct stat info {};
    char* real = realpath(hostPath.c_str(), nullptr);
    if (!real || stat(real, &info) != 0 || !S_ISREG(info.st_mode)) {
        std::free(real);
        return std::nullopt;
    }
    MappedFile file{major(info.st_dev), minor(info.st_dev), static_cast<unsigned long>(info.st_ino), real};
    std::free(real);
    return file;
}

std::vector<pid_t> ProcessesRunning(const std::vector<MappedFile>& files) {
    std::vector<pid_t> found;
    if (files.empty()) {
        return found;
    }
    const pid_t self = getpid();
    ForEachProcess([&](pid_t pid) {
        std::error_code unreadable;
        const std::string program = std::filesystem::read_symlink(ProcPath(pid, "exe"), unreadable).string();
        if (pid == self || program.empty()) {
            return;
        }
        // Only Wine's loader maps Windows programs; reading the maps of every process would cost a
        // busy desktop a noticeable share of a core at this rate.
        const bool runsOne = std::any_of(files.begin(), files.end(), [&](const MappedFile& file) {
            return file.path == program;
        });
        if (runsOne || (BaseName(program).starts_with("wine") && MapsOneOf(pid, files))) {
            found.push_back(pid);
        }
    });
    return found;
}

bool IsWineHousekeeping(std::string_view program) {
    // Wine shows a Windows process's command line in place of its arguments.
    constexpr std::string_view kWindowsFolder = "C:\\windows\\";
    if (program.size() >= kWindowsFolder.size() &&
        EqualsIgnoringCase(program.substr(0, kWindowsFolder.size()), kWindowsFolder)) {
        return true;
    }
    return BaseName(program).starts_with("wineserver");
}

std::vector<pid_t> LaunchProcessesBelow(pid_t root) {
    std::map<pid_t, ProcessStatus> processes;
    ForEachProcess([&](pid_t pid) {
        if (ProcessStatus status; ReadStatus(pid, status)) {
            processes[pid] = status;
        }
    });
    std::vector<pid_t> found;
    for (const auto& [pid, status] : processes) {
        // Ended processes wait only to be reaped.
        if (status.state == 'Z' || status.state == 'X') {
            continue;
        }
        bool below = false;
        // The walk up ends at the root, at the top, or after as many steps as there are processes.
        pid_t up = status.parent;
        for (std::size_t steps = 0; up > 0 && steps < processes.size(); ++steps) {
            if (up == root) {
                below = true;
                break;
            }
            const auto parent = processes.find(up);
            up = parent == processes.end() ? 0 : parent->second.parent;
        }
        if (!below) {
            continue;
        }
        const std::string commandLine = ReadProcFile(pid, "cmdline");
        if (!IsWineHousekeeping(std::string_view(commandLine.c_str()))) {
            found.push_back(pid);
        }
    }
    return found;
}

} // namespace vantrel
