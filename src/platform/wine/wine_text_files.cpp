#include "platform/wine/wine_text_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/codepage_1252.h"
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

// Thirty-two bytes at a time: definition files are mostly ASCII, which needs no conversion.
bool IsAscii(std::string_view bytes) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    std::size_t i = 0;
    for (; i + 32 <= bytes.size(); i += 32) {
        std::uint64_t words[4];
        std::memcpy(words, bytes.data() + i, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3]) & kHighBits) {
            return false;
        }
    }
    return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(i), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Reads an open file in pieces, so that memory stays bounded whatever its size; each line is
// converted as it is handed out. One reader may read several files in turn, keeping its buffer.
class ChunkedLines final : public TextFileReader {
public:
    // Starts reading the file open at `fd`, ending the reading of the one before. `fd` is still
    // non-blocking, which changes nothing for an ordinary file on most file systems: it is made
    // blocking only when a read says it would wait, saving a system call per file.
    void Start(UniqueFd fd, std::size_t fileSize) {
        fd_ = std::move(fd);
        fileSize_ = fileSize;
        readSoFar_ = 0;
        begin_ = end_ = 0;
        atEnd_ = false;
        ascii_ = true;
        // A small file fits its first buffer whole, with room to see that it ended. The buffer of the
        // file before serves unless it is too small, or grown past a piece for a long line.
        const std::size_t wanted = std::clamp<std::size_t>(fileSize + 1, 256, kChunk);
        if (capacity_ < wanted || capacity_ > kChunk) {
            capacity_ = wanted;
            buffer_ = std::make_unique_for_overwrite<char[]>(capacity_);
        }
    }

    // Closes the file; NextLine() then finds its end.
    void End() {
        fd_.Close();
        Stop();
    }

    bool NextLine(std::string_view& line) override {
        std::size_t from = begin_; // where the search for the line's CR goes on
        for (;;) {
            const char* data = buffer_.get();
            if (const void* found = std::memchr(data + from, '\r', end_ - from)) {
                const auto cr = static_cast<std::size_t>(static_cast<const char*>(found) - data);
                // A CR at the end of what was read may have its LF in the next piece.
                if (cr + 1 < end_ || atEnd_) {
                    const std::size_t next = cr + 1 < end_ && data[cr + 1] == '\n' ? cr + 2 : cr + 1;
                    return HandOut(cr, next, line);
                }
                from = cr;
            } else if (atEnd_) {
                return begin_ < end_ && HandOut(end_, end_, line);
            } else {
                from = end_;
            }
            const std::size_t kept = begin_;
            if (from - begin_ > kMaxLineBytes || !Fill()) {
                return Stop();
            }
            from -= kept;
        }
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;

    // Hands out the line from begin_ to `lineEnd` and goes on at `next`.
    bool HandOut(std::size_t lineEnd, std::size_t next, std::string_view& line) {
        const std::string_view bytes(buffer_.get() + begin_, lineEnd - begin_);
        begin_ = next;
        if (bytes.size() > kMaxLineBytes) {
            return Stop();
        }
        if (ascii_ || IsAscii(bytes)) {
            line = bytes;
            return true;
        }
        converted_.clear();
        AppendUtf8FromWindows1252(bytes, converted_);
        line = converted_;
        return converted_.size() <= kMaxLineBytes || Stop();
    }

    // Ends the reading for good: every later NextLine() finds the end.
    bool Stop() {
        begin_ = end_ = 0;
        atEnd_ = true;
        return false;
    }

    // Reads the next piece after the bytes not yet handed out; false on a read error.
    bool Fill() {
        if (begin_ > 0) {
            std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        // A file longer than its size said, or a line that fills the buffer, needs a larger one.
        if (end_ > 0 && capacity_ - end_ < kChunk && (capacity_ < kChunk || end_ * 2 > capacity_)) {
            capacity_ = std::max(capacity_ * 2, end_ + kChunk);
            auto grown = std::make_unique_for_overwrite<char[]>(capacity_);
            std::memcpy(grown.get(), buffer_.get(), end_);
            buffer_ = std::move(grown);
        }
        const std::size_t wanted = std::min(kChunk, capacity_ - end_);
        for (;;) {
            const ssize_t got = read(fd_.Get(), buffer_.get() + end_, wanted);
            if (got >= 0) {
                const auto bytes = static_cast<std::size_t>(got);
                ascii_ = ascii_ && IsAscii(std::string_view(buffer_.get() + end_, bytes));
                end_ += bytes;
                readSoFar_ += bytes;
                // A short read that reaches the size the file had when opened is its end: one read
                // fewer per small file. A size of 0 may be untrue (a kernel's file): read to the end.
                atEnd_ = bytes == 0 || (bytes < wanted && fileSize_ > 0 && readSoFar_ >= fileSize_);
                return true;
            }
            if (errno == EAGAIN && fcntl(fd_.Get(), F_SETFL, 0) == 0) {
                continue;
            }
            if (errno != EINTR) {
                return false;
            }
        }
    }

    UniqueFd fd_;
    std::size_t fileSize_ = 0;
    std::size_t readSoFar_ = 0;
    std::size_t capacity_ = 0;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0; // the next line starts here
    std::size_t end_ = 0;   // the bytes read so far end here
    bool atEnd_ = true;
    bool ascii_ = true;     // every byte read so far is ASCII: no line needs converting
    std::string converted_; // the last line handed out, when it needed converting
};

class WineTextAppender final : public TextFileAppender {
public:
    WineTextAppender(UniqueFd fd, std::string folder) : fd_(std::move(fd)), newFolder_(std::move(folder)) {}

    bool Append(const std::vector<std::string>& lines) override {
        std::string bytes;
        for (const auto& line : lines) {
            const auto ansi = Windows1252FromUtf8(line);
            if (!ansi) {
                error_ = "a character the code page lacks";
                return false;
            }
            bytes += *ansi;
            bytes += "\r\n";
        }
        return WriteAll(fd_.Get(), bytes) || Failed();
    }

    bool Sync() override {
        if (fsync(fd_.Get()) != 0) {
            return Failed();
        }
        // A new file's name lives in its folder, which is made durable once.
        if (!newFolder_.empty()) {
            const UniqueFd dir(open(newFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!dir.Valid() || fsync(dir.Get()) != 0) {
                return Failed();
            }
            newFolder_.clear();
        }
        return true;
    }

    std::string LastError() override { return error_; }

private:
    bool Failed() {
        error_ = ErrorText(errno);
        return false;
    }

    UniqueFd fd_;
    std::string newFolder_; // the folder of a file this appender created, until it is synced
    std::string error_;
};

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
        if (const UniqueFd dir(open(ParentOf(targetPath_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            dir.Valid()) {
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

// Not waiting on a pipe or a device, which are refused before anything is read.
constexpr int kReadFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;

// The size of the file open at `fd`, when it is an ordinary file.
std::optional<std::size_t> OrdinaryFileSize(const UniqueFd& fd) {
    struct stat info {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(info.st_size);
}

// Opens names relative to the folder found once, so that the kernel looks up one name per file
// rather than the whole path through the drive link, and reads each with the same buffer.
class WineTextFolder final : public TextFolder {
public:
    WineTextFolder(UniqueFd folder, TextFiles& files, std::string_view path)
        : folder_(std::move(folder)), joined_(files, path) {}

    TextFileReader* OpenForReading(std::string_view name) override {
        reader_.End();
        // A listed name is on disk as spelled. Anything else (another letter case, a missing file, a
        // name that is a path itself) takes the whole path, so that it resolves exactly as before.
        const bool plainName =
            !name.empty() && name != "." && name != ".." &&
            std::none_of(name.begin(), name.end(), [](char c) { return c == '\\' || c == '/'; });
        if (folder_.Valid() && plainName) {
            name_.assign(name);
            if (UniqueFd fd(openat(folder_.Get(), name_.c_str(), kReadFlags)); fd.Valid()) {
                const auto size = OrdinaryFileSize(fd);
                if (!size) {
                    return nullptr;
                }
                reader_.Start(std::move(fd), *size);
                return &reader_;
            }
        }
        return joined_.OpenForReading(name);
    }

private:
    UniqueFd folder_; // invalid when the folder was not found: every file takes the whole path
    JoinedPathFolder joined_;
    ChunkedLines reader_;
    std::string name_; // the name being opened, ended by a NUL
};

} // namespace

std::unique_ptr<TextFileReader> WineTextFiles::OpenForReading(std::string_view path) {
    // The path as spelled is almost always right; the lookup without regard to case costs a scan.
    UniqueFd fd;
    if (const auto spelled = prefix_.ToHostPathAsSpelled(path)) {
        fd = UniqueFd(open(spelled->c_str(), kReadFlags));
    }
    if (!fd.Valid()) {
        const auto hostPath = prefix_.ToHostPath(path);
        if (!hostPath) {
            return nullptr;
        }
        fd = UniqueFd(open(hostPath->c_str(), kReadFlags));
    }
    const auto size = OrdinaryFileSize(fd);
    if (!size) {
        return nullptr;
    }
    auto reader = std::make_unique<ChunkedLines>();
    reader->Start(std::move(fd), *size);
    return reader;
}

std::unique_ptr<TextFolder> WineTextFiles::OpenFolder(std::string_view path) {
    // O_PATH: a folder that may be searched but not listed still has its files read by path.
    UniqueFd folder;
    if (const auto hostPath = prefix_.ToHostPath(path)) {
        folder = UniqueFd(open(hostPath->c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return std::make_unique<WineTextFolder>(std::move(folder), *this, path);
}

std::unique_ptr<TextFileAppender> WineTextFiles::StartAppending(std::string_view path, bool create,
                                                                std::string& error) {
    const auto hostPath = prefix_.ToHostPath(path);
    if (!hostPath) {
        error = "no such drive on the machine";
        return nullptr;
    }
    UniqueFd fd;
    if (create) {
        fd = UniqueFd(
            open(hostPath->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    } else {
        fd = UniqueFd(open(hostPath->c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC));
    }
    struct stat info {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0) {
        error = ErrorText(errno);
        return nullptr;
    }
    // Windows opens neither a pipe nor a read-only file to write; the kernel would let root.
    if (!create) {
        if (!S_ISREG(info.st_mode)) {
            error = "not a file";
            return nullptr;
        }
        if ((info.st_mode & S_IWUSR) == 0) {
            error = "the file is read-only";
            return nullptr;
        }
        if (fcntl(fd.Get(), F_SETFL, O_APPEND) != 0) {
            error = ErrorText(errno);
            return nullptr;
        }
    }
    return std::make_unique<WineTextAppender>(std::move(fd), create ? ParentOf(*hostPath) : std::string());
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
