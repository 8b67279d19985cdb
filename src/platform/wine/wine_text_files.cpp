#include "platform/wine/wine_text_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/codepage_1252.h"
#include "platform/text_lines.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The whole content of an open file; nullopt when it cannot be read at all (a folder opens, but
// Windows would not have opened it). A read error later on ends the content there.
std::optional<std::string> ReadAll(int fd) {
    std::string content;
    char chunk[16 * 1024];
    for (;;) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0) {
            content.append(chunk, static_cast<std::size_t>(got));
        } else if (got == 0) {
            return content;
        } else if (errno != EINTR) {
            return content.empty() && errno == EISDIR ? std::nullopt : std::optional(std::move(content));
        }
    }
}

class WineTextWriter final : public TextFileWriter {
public:
    WineTextWriter(UniqueFd fd, std::string tempPath, std::string targetPath)
        : fd_(std::move(fd)), tempPath_(std::move(tempPath)), targetPath_(std::move(targetPath)) {}

    ~WineTextWriter() override {
        if (!committed_) {
            fd_.Close();
            unlink(tempPath_.c_str());
        }
    }

    bool WriteLine(std::string_view line) override {
        const auto bytes = Windows1252FromUtf8(line);
        if (!bytes || failed_) {
            failed_ = true;
            return false;
        }
        buffer_ += *bytes;
        buffer_ += "\r\n";
        if (buffer_.size() >= 64 * 1024) {
            failed_ = !WriteAll(fd_.Get(), buffer_);
            buffer_.clear();
        }
        return !failed_;
    }

    bool Commit(bool durable) override {
        if (failed_ || !WriteAll(fd_.Get(), buffer_) || (durable && fsync(fd_.Get()) != 0) || !fd_.Close()) {
            return false;
        }
        // Windows refuses to replace a read-only file or a folder; the kernel would not stop root.
        struct stat target {};
        if (stat(targetPath_.c_str(), &target) == 0 && (!S_ISREG(target.st_mode) || !(target.st_mode & S_IWUSR))) {
            return false;
        }
        if (rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
            return false;
        }
        committed_ = true;
        if (!durable) {
            return true;
        }
        const std::size_t slash = targetPath_.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : targetPath_.substr(0, slash);
        if (const UniqueFd dir(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.Valid()) {
            fsync(dir.Get());
        }
        return true;
    }

private:
    UniqueFd fd_;
    std::string tempPath_;
    std::string targetPath_;
    std::string buffer_;
    bool failed_ = false;
    bool committed_ = false;
};

} // namespace

std::unique_ptr<TextFileReader> WineTextFiles::OpenForReading(std::string_view path) {
    // The path as spelled is almost always right; the lookup without regard to case costs a scan.
    UniqueFd fd;
    if (const auto spelled = prefix_.ToHostPathAsSpelled(path)) {
        fd = UniqueFd(open(spelled->c_str(), O_RDONLY | O_CLOEXEC));
    }
    if (!fd.Valid()) {
        const auto hostPath = prefix_.ToHostPath(path);
        if (!hostPath) {
            return nullptr;
        }
        fd = UniqueFd(open(hostPath->c_str(), O_RDONLY | O_CLOEXEC));
    }
    auto content = fd.Valid() ? ReadAll(fd.Get()) : std::nullopt;
    if (!content) {
        return nullptr;
    }
    return std::make_unique<TextLines>(Utf8FromWindows1252(std::move(*content)));
}

void WineTextFiles::RemoveLeftovers(std::string_view folder) {
    const auto host = prefix_.ToHostPath(folder);
    DIR* dir = host ? opendir(host->c_str()) : nullptr;
    if (!dir) {
        return;
    }
    constexpr std::string_view kPrefix = ".vantrel-";
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(kPrefix) || !name.ends_with(".tmp")) {
            continue;
        }
        // The writer's process id follows the prefix; a running writer's file is its own business.
        const pid_t writer = static_cast<pid_t>(std::atol(std::string(name.substr(kPrefix.size())).c_str()));
        if (writer > 0 && kill(writer, 0) != 0 && errno == ESRCH) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    closedir(dir);
}

std::unique_ptr<TextFileWriter> WineTextFiles::StartReplacing(std::string_view path) {
    const auto hostPath = prefix_.ToHostPath(path);
    if (!hostPath || hostPath->empty() || hostPath->back() == '/') {
        return nullptr;
    }
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = hostPath->rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : hostPath->substr(0, slash + 1);
    const std::string tempPath =
        folder + ".vantrel-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
    UniqueFd fd(open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.Valid()) {
        return nullptr;
    }
    return std::make_unique<WineTextWriter>(std::move(fd), tempPath, *hostPath);
}

} // namespace vantrel
