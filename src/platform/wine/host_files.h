// Small helpers over the host's file system for the Wine-prefix implementations.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// True when a directory entry of that host path exists (a dangling link counts).
[[nodiscard]] bool PathExists(const std::string& hostPath);

// Windows shows a host name that begins with a dot as hidden.
[[nodiscard]] bool IsHiddenName(std::string_view name);

// The last part of a host path.
[[nodiscard]] std::string_view BaseName(std::string_view hostPath);

// The folder that holds the entry at a host path: "." for a bare name, "/" for one at the top.
[[nodiscard]] std::string ParentOf(std::string_view hostPath);

// The reason for a system error number in a few lowercase words ("access denied").
[[nodiscard]] std::string ErrorText(int error);

// Reads from the descriptor into `buffer` until `size` bytes are in or the file ends; how many were
// read, or nullopt on an error.
[[nodiscard]] std::optional<std::size_t> ReadUpTo(int fd, char* buffer, std::size_t size);

// The bytes of the open file when it is an ordinary file of at most `limit` bytes; nullopt otherwise or
// on an error.
[[nodiscard]] std::optional<std::string> ReadSmallOpenFile(int fd, std::size_t limit);

// The same for the file at a host path, opened without blocking, so that a pipe in its place cannot hold
// the program up.
[[nodiscard]] std::optional<std::string> ReadSmallHostFile(const std::string& hostPath, std::size_t limit);

// The user's home folder: $HOME, else the password database's entry; empty when neither names one.
[[nodiscard]] std::string UserHomeFolder();

// An XDG base directory: the variable when it holds an absolute path (the rules ignore others), else
// `underHome` ("/.config") below the home folder; empty when there is no home folder either.
[[nodiscard]] std::string XdgBaseDirectory(const char* variable, const char* underHome);

// Closes a directory stream when it goes out of scope.
struct DirectoryCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirectoryCloser>;

// Closes a file descriptor when it goes out of scope.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd();

    [[nodiscard]] int Get() const { return fd_; }
    [[nodiscard]] bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now and reports whether the close succeeded.
    bool Close();

private:
    int fd_;
};

} // namespace vantrel
