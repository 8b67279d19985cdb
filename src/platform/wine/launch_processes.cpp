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
#include <sstream>
#include <string>

#include "platform/case_fold.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

std::string ProcPath(pid_t pid, const char* name) {
    return "/proc/" + std::to_string(pid) + "/" + name;
}

std::string ReadProcFile(pid_t pid, const char* name) {
    std::ifstream file(ProcPath(pid, name), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
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

bool IsExcepted(const std::optional<MappedFile>& except, unsigned long major, unsigned long minor, unsigned long inode,
                const std::string& path) {
    return except && ((except->inode == inode && except->major == major && except->minor == minor) || except->path == path);
}

// Directly in the folder: what lies in its subfolders (a store's installer or repair tools) is no game.
bool IsDirectlyIn(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() + 1 && path.starts_with(folder) && path[folder.size()] == '/' &&
           path.find('/', folder.size() + 1) == std::string_view::npos;
}

bool EndsWithImageExtension(std::string_view path) {
    return path.size() > 4 && (EqualsIgnoringCase(path.substr(path.size() - 4), ".exe") ||
                               EqualsIgnoringCase(path.substr(path.size() - 4), ".dat"));
}

// The Windows program of the folder that Wine's loader in process `pid` runs: it maps the program's
// image from its file, beside the DLLs it loads (a stub may load one from the folder).
std::optional<std::string> ImageIn(pid_t pid, const std::string& folder, const std::optional<MappedFile>& except) {
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
        // A program's image is mapped to run; a program may map another's only to read it.
        if (!IsDirectlyIn(path, folder) || permissions.find('x') == std::string::npos ||
            !EndsWithImageExtension(path)) {
            continue;
        }
        const std::size_t colon = device.find(':');
        const unsigned long deviceMajor = std::strtoul(device.c_str(), nullptr, 16);
        const unsigned long deviceMinor =
            colon == std::string::npos ? 0 : std::strtoul(device.c_str() + colon + 1, nullptr, 16);
        if (!IsExcepted(except, deviceMajor, deviceMinor, inode, path)) {
            return path;
        }
    }
    return std::nullopt;
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

std::vector<std::string> ProcessesOfFolder(const std::string& folder, const std::optional<MappedFile>& except) {
    std::vector<std::string> found;
    const pid_t self = getpid();
    ForEachProcess([&](pid_t pid) {
        std::error_code unreadable;
        const std::string program = std::filesystem::read_symlink(ProcPath(pid, "exe"), unreadable).string();
        if (pid == self || program.empty()) {
            return;
        }
        if (IsDirectlyIn(program, folder)) {
            struct stat info {};
            if (stat(program.c_str(), &info) != 0 ||
                !IsExcepted(except, major(info.st_dev), minor(info.st_dev), static_cast<unsigned long>(info.st_ino),
                            program)) {
                found.push_back(program);
            }
            return;
        }
        // Only Wine's loader maps Windows programs; reading the maps of every process would cost a
        // busy desktop a noticeable share of a core at this rate.
        if (BaseName(program).starts_with("wine") &&
            !IsWineHousekeeping(std::string_view(ReadProcFile(pid, "cmdline").c_str()))) {
            if (auto image = ImageIn(pid, folder, except)) {
                found.push_back(std::move(*image));
            }
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

} // namespace vantrel
