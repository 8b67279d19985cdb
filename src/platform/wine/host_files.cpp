#include "platform/wine/host_files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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

std::string ParentOf(std::string_view hostPath) {
    const std::size_t slash = hostPath.rfind('/');
    return slash == std::string_view::npos ? "." : slash == 0 ? "/" : std::string(hostPath.substr(0, slash));
}

std::optional<std::size_t> ReadUpTo(int fd, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, buffer + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

std::optional<std::string> ReadSmallOpenFile(int fd, std::size_t limit) {
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > limit) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(info.st_size), '\0');
    const auto size = ReadUpTo(fd, bytes.data(), bytes.size());
    if (!size) {
        return std::nullopt;
    }
    bytes.resize(*size);
    return bytes;
}

std::optional<std::string> ReadSmallHostFile(const std::string& hostPath, std::size_t limit) {
    const UniqueFd fd(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    return ReadSmallOpenFile(fd.Get(), limit);
}

std::string UserHomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

std::string XdgBaseDirectory(const char* variable, const char* underHome) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') {
        return value;
    }
    const std::string home = UserHomeFolder();
    return home.empty() ? std::string() : home + underHome;
}

std::string ErrorText(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "access denied";
    case ENOENT:
        return "no such file or folder";
    case ENOSPC:
        return "no space left on the disk";
    case EDQUOT:
        return "disk quota exceeded";
    case EROFS:
        return "the disk is read-only";
    case EEXIST:
        return "an entry of that name exists already";
    case EIO:
        return "input/output error";
    case ENOTEMPTY:
        return "the folder is not empty";
    case ELOOP:
        return "too many links in the path";
    case ENAMETOOLONG:
        return "the name is too long";
    case ENOTDIR:
        return "not a folder";
    case EISDIR:
        return "not a file";
    case EBUSY:
    case ETXTBSY:
        return "in use";
    case EXDEV:
        return "not on the same disk";
    default: {
        std::string text = std::strerror(error);
        for (char& c : text) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return text;
    }
    }
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
