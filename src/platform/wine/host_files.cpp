#include "platform/wine/host_files.h"

#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

bool PathExists(const std::string& hostPath) {
    struct stat info {};
    return lstat(hostPath.c_str(), &info) == 0;
}

bool IsHiddenName(std::string_view name) {
    return name.starts_with('.');
}

std::string_view BaseName(std::string_view hostPath) {
    const std::size_t slash = hostPath.rfind('/');
    return slash == std::string_view::npos ? hostPath : hostPath.substr(slash + 1);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.Release();
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    Close();
}

bool UniqueFd::Close() {
    if (fd_ < 0) {
        return true;
    }
    const int result = close(Release());
    return result == 0;
}

} // namespace vantrel
