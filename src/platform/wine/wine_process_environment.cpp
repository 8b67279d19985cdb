#include "platform/wine/wine_process_environment.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return ".";
    }
    std::string path(buffer, static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Where packages and the administrator install programs. /var as a whole is not among them: some
// systems keep the users' homes in /var/home.
constexpr std::string_view kSystemFolders[] = {"/usr",     "/opt",   "/bin",    "/sbin", "/lib",
                                               "/lib32",   "/lib64", "/libx32", "/etc",  "/snap",
                                               "/var/lib", "/nix",   "/gnu",    "/app"};

bool IsInSystemFolder(std::string_view path) {
    return std::any_of(std::begin(kSystemFolders), std::end(kSystemFolders), [&](std::string_view top) {
        return path.starts_with(top) && (path.size() == top.size() || path[top.size()] == '/');
    });
}

} // namespace

std::string WineProcessEnvironment::WindowsFolder(const std::string& hostFolder) const {
    std::string folder = prefix_.ToWindowsPath(hostFolder).value_or("Z:" + hostFolder);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    while (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

std::string WineProcessEnvironment::HomeFolder() {
    const std::string home = Variable("VANTREL_HOME");
    return home.empty() ? std::string() : WindowsFolder(home);
}

std::string WineProcessEnvironment::ProgramFolder() {
    return WindowsFolder(ExecutableFolder());
}

std::string WineProcessEnvironment::UserDataFolder() {
    const std::string base = XdgBaseDirectory("XDG_DATA_HOME", "/.local/share");
    return base.empty() ? std::string() : WindowsFolder(base + "/vantrel");
}

std::string WineProcessEnvironment::UserStateFolder() {
    const std::string base = XdgBaseDirectory("XDG_STATE_HOME", "/.local/state");
    return base.empty() ? std::string() : WindowsFolder(base + "/vantrel");
}

std::string WineProcessEnvironment::DocumentsFolder() {
    for (const std::string& user : {Variable("USER"), std::string("steamuser")}) {
        for (const char* documents : {"Documents", "My Documents"}) {
            const std::string folder = "C:\\users\\" + user + "\\" + documents;
            const auto host = user.empty() ? std::nullopt : prefix_.ToHostPath(folder);
            struct stat info {};
            if (host && stat(host->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
                return folder;
            }
        }
    }
    return {};
}

bool WineProcessEnvironment::IsInstalledProgramFolder(std::string_view folder) {
    const auto host = prefix_.ToHostPath(folder);
    // The folder where it really is: the prefix reaches the host through its drive links.
    char real[PATH_MAX];
    struct stat info {};
    if (!host || !realpath(host->c_str(), real) || !IsInSystemFolder(real) || stat(real, &info) != 0) {
        return false;
    }
    // Root may write anywhere, so a folder root owns there is the system's whoever runs.
    return info.st_uid == 0 || access(real, W_OK | X_OK) != 0;
}

bool WineProcessEnvironment::CanWriteIn(std::string_view folder) {
    const auto host = prefix_.ToHostPath(folder);
    struct stat info {};
    return host && stat(host->c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           faccessat(AT_FDCWD, host->c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

bool WineProcessEnvironment::CreateFolder(std::string_view folder) {
    const auto host = prefix_.ToHostPath(folder);
    if (!host || host->empty()) {
        return false;
    }
    // A folder above that cannot be made may still be there (mkdir may say so only as "access denied").
    for (std::size_t slash = host->find('/', 1); slash != std::string::npos;
         slash = host->find('/', slash + 1)) {
        (void)mkdir(host->substr(0, slash).c_str(), 0700);
    }
    (void)mkdir(host->c_str(), 0700);
    struct stat info {};
    return stat(host->c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WineProcessEnvironment::ArgumentText() {
    std::string text;
    for (std::size_t i = 0; i < arguments_.size(); ++i) {
        text += (i == 0 ? "" : " ") + arguments_[i];
    }
    return text;
}

} // namespace vantrel
