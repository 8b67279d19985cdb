#include "platform/wine/wine_process_environment.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

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

} // namespace

std::string WineProcessEnvironment::ProgramFolder() {
    const char* home = std::getenv("VANTREL_HOME");
    const std::string hostFolder = home && *home ? std::string(home) : ExecutableFolder();
    std::string folder = prefix_.ToWindowsPath(hostFolder).value_or("Z:" + hostFolder);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    while (!folder.empty() && folder.back() == '\\') {
        folder.pop_back();
    }
    return folder;
}

std::string WineProcessEnvironment::ArgumentText() {
    std::string text;
    for (std::size_t i = 0; i < arguments_.size(); ++i) {
        text += (i == 0 ? "" : " ") + arguments_[i];
    }
    return text;
}

} // namespace vantrel
