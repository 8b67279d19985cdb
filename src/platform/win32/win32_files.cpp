// Directory listing, definition files, single files and the editor's view of the disks.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

#include "platform/case_fold.h"
#include "platform/cr_lines.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"

namespace vantrel {

using namespace win32;

namespace {

// Calls `visit` for each entry matching the pattern, "." and ".." left out.
void ForEachEntry(std::string_view pattern, const std::function<void(const WIN32_FIND_DATAA&)>& visit) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(Ansi(pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string_view name = data.cFileName;
        if (name != "." && name != "..") {
            visit(data);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

bool IsHiddenOrSystem(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

std::vector<std::string> EntriesOf(std::string_view folder, bool folders) {
    std::string pattern(folder);
    if (!pattern.ends_with('\\')) {
        pattern += '\\';
    }
    std::vector<std::string> names;
    ForEachEntry(pattern + "*", [&](const WIN32_FIND_DATAA& data) {
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder == folders && !IsHiddenOrSystem(data.dwFileAttributes)) {
            names.push_back(Utf8FromAnsi(data.cFileName));
        }
    });
    SortLikeNtfs(names);
    return names;
}

// Reads the file in pieces and converts each line on its own, so that memory stays bounded.
class Win32TextReader final : public TextFileReader {
public:
    explicit Win32TextReader(UniqueHandle file) : file_(std::move(file)) {}

    bool NextLine(std::string_view& line) override {
        while (!failed_) {
            const std::size_t cr = pending_.find('\r', start_);
            if ((cr == std::string::npos ? pending_.size() : cr) - start_ > kMaxLineBytes) {
                break;
            }
            // Whole once the byte after its CR is in (a LF there ends the line too), or at the end.
            if (atEnd_ || (cr != std::string::npos && cr + 1 < pending_.size())) {
                std::string_view ansi;
                if (!NextCrLine(pending_, start_, ansi)) {
                    return false;
                }
                line_ = Utf8FromAnsi(ansi);
                line = line_;
                if (line_.size() <= kMaxLineBytes) {
                    return true;
                }
                break;
            }
            failed_ = !ReadPiece();
        }
        failed_ = true;
        return false;
    }

private:
    static constexpr DWORD kPiece = 64 * 1024;

    bool ReadPiece() {
        pending_.erase(0, start_);
        start_ = 0;
        const std::size_t kept = pending_.size();
        pending_.resize(kept + kPiece);
        DWORD got = 0;
        const bool read = ReadFile(file_.Get(), pending_.data() + kept, kPiece, &got, nullptr) != 0;
        pending_.resize(kept + got);
        atEnd_ = read && got == 0;
        return read;
    }

    UniqueHandle file_;
    std::string pending_; // ANSI bytes read but not handed out from start_ on
    std::string line_;    // the last line handed out
    std::size_t start_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
};

class Win32TextAppender final : public TextFileAppender {
public:
    explicit Win32TextAppender(UniqueHandle file) : file_(std::move(file)) {}

    bool Append(const std::vector<std::string>& lines) override {
        std::string bytes;
        for (const auto& line : lines) {
            const auto ansi = AnsiExact(line);
            if (!ansi) {
                error_ = kLacksCharacter;
                return false;
            }
            bytes += *ansi;
            bytes += "\r\n";
        }
        DWORD written = 0;
        if (!WriteFile(file_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            error_ = ReasonOf(GetLastError());
            return false;
        }
        if (written != bytes.size()) {
            error_ = ReasonOf(ERROR_DISK_FULL);
            return false;
        }
        return true;
    }

    bool Sync() override {
        if (!FlushFileBuffers(file_.Get())) {
            error_ = ReasonOf(GetLastError());
            return false;
        }
        return true;
    }

    std::string LastError() override { return error_; }

private:
    UniqueHandle file_;
    std::string error_;
};

class Win32TextWriter final : public TextFileWriter {
public:
    Win32TextWriter(UniqueHandle file, std::string tempPath, std::string targetPath)
        : file_(std::move(file)), tempPath_(std::move(tempPath)), targetPath_(std::move(targetPath)) {}

    ~Win32TextWriter() override {
        if (!committed_) {
            file_.Close();
            DeleteFileA(tempPath_.c_str());
        }
    }

    bool WriteLine(std::string_view line) override {
        const auto bytes = AnsiExact(line);
        if (!bytes || failed_) {
            failed_ = true;
            return false;
        }
        buffer_ += *bytes;
        buffer_ += "\r\n";
        return true;
    }

    bool Commit(bool durable) override {
        DWORD written = 0;
        if (failed_ ||
            !WriteFile(file_.Get(), buffer_.data(), static_cast<DWORD>(buffer_.size()), &written, nullptr) ||
            written != buffer_.size() || (durable && !FlushFileBuffers(file_.Get())) || !file_.Close()) {
            return false;
        }
        // Windows would refuse to replace a read-only file; a folder is no definition either.
        const DWORD target = GetFileAttributesA(targetPath_.c_str());
        if (target != INVALID_FILE_ATTRIBUTES &&
            (target & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
            return false;
        }
        const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
        if (!MoveFileExA(tempPath_.c_str(), targetPath_.c_str(), flags)) {
            return false;
        }
        committed_ = true;
        return true;
    }

private:
    UniqueHandle file_;
    std::string tempPath_;  // ANSI
    std::string targetPath_; // ANSI
    std::string buffer_;
    bool failed_ = false;
    bool committed_ = false;
};

} // namespace

std::vector<std::string> Win32DirectoryListing::ListFiles(std::string_view pattern) {
    std::vector<std::string> names;
    ForEachEntry(pattern, [&](const WIN32_FIND_DATAA& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !IsHiddenOrSystem(data.dwFileAttributes)) {
            names.push_back(Utf8FromAnsi(data.cFileName));
        }
    });
    SortLikeNtfs(names);
    return names;
}

std::unique_ptr<TextFileReader> Win32TextFiles::OpenForReading(std::string_view path) {
    const auto ansi = AnsiExact(path);
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open at all.
    UniqueHandle file(ansi ? CreateFileA(ansi->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
                           : INVALID_HANDLE_VALUE);
    // A pipe or a device opens without waiting, but reading it could wait for ever.
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return nullptr;
    }
    return std::make_unique<Win32TextReader>(std::move(file));
}

std::unique_ptr<TextFileAppender> Win32TextFiles::StartAppending(std::string_view path, bool create,
                                                                 std::string& error) {
    const auto ansi = AnsiExact(path);
    if (!ansi) {
        error = kLacksCharacter;
        return nullptr;
    }
    // Append access alone: every write lands at the end, whatever else the file went through.
    UniqueHandle file(CreateFileA(ansi->c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  create ? CREATE_NEW : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        error = ReasonOf(GetLastError());
        return nullptr;
    }
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        error = "not a file";
        return nullptr;
    }
    return std::make_unique<Win32TextAppender>(std::move(file));
}

std::unique_ptr<TextFileWriter> Win32TextFiles::StartReplacing(std::string_view path) {
    static std::atomic<unsigned> counter{0};
    const std::string target = Ansi(path);
    const std::size_t slash = target.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string temp = folder + "~vantrel-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(counter++) + ".tmp";
    UniqueHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return nullptr;
    }
    return std::make_unique<Win32TextWriter>(std::move(file), temp, target);
}

void Win32TextFiles::RemoveLeftovers(std::string_view folder) {
    const std::string prefix = Ansi(folder) + "\\";
    ForEachEntry(std::string(folder) + "\\~vantrel-*.tmp", [&](const WIN32_FIND_DATAA& data) {
        // The writer's process id follows the prefix; a running writer's file is its own business.
        const DWORD writer = static_cast<DWORD>(std::strtoul(data.cFileName + 9, nullptr, 10));
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, writer);
        const bool running = process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        if (process) {
            CloseHandle(process);
        }
        if (!running) {
            DeleteFileA((prefix + data.cFileName).c_str());
        }
    });
}

bool Win32LaunchLock::TryAcquire(std::string_view folder) {
    if (file_) {
        return true;
    }
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE file = CreateFileA((Ansi(folder) + "\\Vantrel launch.lock").c_str(), GENERIC_READ | DELETE, 0,
                              &inheritable, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    file_ = file;
    return true;
}

void Win32LaunchLock::Release() {
    if (file_) {
        CloseHandle(file_);
        file_ = nullptr;
    }
}

bool Win32SingleFiles::FileExists(std::string_view path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32SingleFiles::DeleteFile(std::string_view path) {
    return DeleteFileA(Ansi(path).c_str()) != 0;
}

std::vector<std::string> Win32DiskBrowser::Drives() {
    char buffer[512] = {};
    const DWORD length = GetLogicalDriveStringsA(sizeof buffer, buffer);
    std::vector<std::string> drives;
    for (const char* drive = buffer; length > 0 && length < sizeof buffer && *drive; drive += std::strlen(drive) + 1) {
        drives.emplace_back(drive, 2);
    }
    return drives;
}

std::string Win32DiskBrowser::CurrentFolder() {
    char buffer[MAX_PATH * 2] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    return length == 0 || length >= sizeof buffer ? std::string("C:\\") : Utf8FromAnsi(std::string_view(buffer, length));
}

bool Win32DiskBrowser::FolderExists(std::string_view folder) {
    const DWORD attributes = AttributesOf(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> Win32DiskBrowser::Subfolders(std::string_view folder) {
    return EntriesOf(folder, true);
}

std::vector<std::string> Win32DiskBrowser::Files(std::string_view folder) {
    return EntriesOf(folder, false);
}

std::optional<std::string> Win32DiskBrowser::HostPath(std::string_view windowsPath) {
    return std::string(windowsPath);
}

std::optional<std::string> Win32DiskBrowser::WindowsPath(std::string_view hostPath) {
    std::string path(hostPath);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

} // namespace vantrel

namespace vantrel {

using namespace win32;

// The wide functions: Steam writes its paths in UTF-8, which the ANSI code page may not hold.
std::optional<std::string> Win32GameFiles::MachinePath(std::string_view steamPath) {
    std::string path(steamPath);
    std::replace(path.begin(), path.end(), '/', '\\');
    const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\';
    const bool network = path.starts_with("\\\\");
    if (!drive && !network) {
        return std::nullopt;
    }
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> Win32GameFiles::ReadSmallFile(std::string_view path, std::size_t limit) {
    UniqueHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > limit) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t total = 0;
    while (total < bytes.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.data() + total, static_cast<DWORD>(bytes.size() - total), &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    bytes.resize(total);
    return bytes;
}

std::vector<std::string> Win32GameFiles::FileNames(std::string_view folder, std::string_view prefix,
                                                   std::string_view suffix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data{};
    const std::wstring pattern = Wide(std::string(folder) + "\\" + std::string(prefix) + "*" + std::string(suffix));
    HANDLE find = FindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = Utf8(data.cFileName);
        // The pattern also matches short 8.3 names and any letter case: the long name decides.
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() >= prefix.size() + suffix.size() &&
            name.starts_with(prefix) && name.ends_with(suffix)) {
            names.push_back(std::move(name));
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

std::vector<std::string> Win32GameFiles::FolderNames(std::string_view folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(Wide(std::string(folder) + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::string name = Utf8(data.cFileName);
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") {
            names.push_back(std::move(name));
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

bool Win32GameFiles::FileExists(std::string_view path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace vantrel
