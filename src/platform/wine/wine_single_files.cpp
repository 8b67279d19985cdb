#include "platform/wine/wine_single_files.h"

#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

bool WineSingleFiles::FileExists(std::string_view path) {
    const auto hostPath = prefix_.ToHostPath(path);
    struct stat info {};
    return hostPath && stat(hostPath->c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool WineSingleFiles::DeleteFile(std::string_view path) {
    const auto hostPath = prefix_.ToHostPath(path);
    struct stat info {};
    if (!hostPath || stat(hostPath->c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !(info.st_mode & S_IWUSR)) {
        return false;
    }
    return unlink(hostPath->c_str()) == 0;
}

} // namespace vantrel
