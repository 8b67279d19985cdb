#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/case_fold.h"
#include "platform/fingerprint.h"
#include "platform/refusals.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"

namespace vantrel {

using namespace win32;

namespace {

constexpr DWORD kMissing = INVALID_FILE_ATTRIBUTES;
constexpr DWORD kClearable =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kCopyPiece = 1 << 20;

constexpr const char* kDriveRefusal = refusal::kDrive;
using refusal::kReadOnly;
constexpr const char* kNotAFile = "not a file";
constexpr const char* kNotAFolder = "not a folder";
constexpr const char* kNeitherFileNorFolder = refusal::kNeither;
using refusal::kStopped;

// WSL's pipes and devices; older SDK headers lack their names.
constexpr DWORD kSpecialReparseTags[] = {0x80000023 /* AF_UNIX */, 0x80000024 /* LX_FIFO */,
                                         0x80000025 /* LX_CHR */, 0x80000026 /* LX_BLK */};

bool IsFolder(DWORD attributes) {
    return attributes != kMissing && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(DWORD attributes) {
    return attributes != kMissing && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool SystemFailure(std::string& why) {
    why = ReasonOf(GetLastError());
    return false;
}

bool Refuse(std::string& why, std::string reason) {
    why = std::move(reason);
    return false;
}

std::optional<std::string> AnsiPath(std::string_view path, std::string& why) {
    auto ansi = AnsiExact(path);
    if (!ansi) {
        why = kLacksCharacter;
    }
    return ansi;
}

// The entries of a folder, "." and ".." left out; false (the system's error kept) when it cannot be
// listed whole.
bool ListFolder(const std::string& folder, std::vector<WIN32_FIND_DATAA>& entries) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND; // a drive's empty root lists nothing at all
    }
    do {
        const std::string_view name = data.cFileName;
        if (name != "." && name != "..") {
            entries.push_back(data);
        }
    } while (FindNextFileA(find, &data));
    const DWORD error = GetLastError();
    FindClose(find);
    SetLastError(error);
    return error == ERROR_NO_MORE_FILES;
}

EntryIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info) {
    return {info.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::optional<EntryIdentity> IdentityOfAnsi(const std::string& path, bool followLink) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    UniqueHandle handle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, flags, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle.Valid() || !GetFileInformationByHandle(handle.Get(), &info)) {
        return std::nullopt;
    }
    return IdentityFrom(info);
}

std::string FullPath(const std::string& path) {
    const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    std::string full(needed, '\0');
    const DWORD length = needed == 0 ? 0 : GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return path;
    }
    full.resize(length);
    return full;
}

bool IsDriveLetterRoot(std::string_view path) {
    return (path.size() == 2 || (path.size() == 3 && path[2] == '\\')) &&
           std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

// A drive's root however it is spelled ("C:", "c:/", "\\?\C:\", "C:\Games\.."), a share's root, or a
// folder a volume is mounted on (under Wine: a Unix mount point).
bool IsDriveOfTheMachine(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) {
        path.erase(0, 4);
        if (path.size() >= 4 && EqualsIgnoringCase(path.substr(0, 4), "UNC\\")) {
            path.replace(0, 4, "\\\\");
        }
    }
    // "C:" alone is the drive, although Windows would take it for the current folder on C:.
    const std::string full = FullPath(path);
    if (IsDriveLetterRoot(path) || IsDriveLetterRoot(full)) {
        return true;
    }
    std::string volume(full.size() + MAX_PATH, '\0');
    if (!GetVolumePathNameA(full.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
        return false;
    }
    volume.resize(std::strlen(volume.c_str()));
    return EqualsIgnoringCase(Utf8FromAnsi(WithoutTrailingSlashes(volume)),
                              Utf8FromAnsi(WithoutTrailingSlashes(full)));
}

// A handle to the link at the path itself; invalid, with the reason, when the system reaches only what the
// link leads to (Wine 8 follows a Unix link whatever the flags): acting on that would change another entry.
UniqueHandle OpenLinkItself(const std::string& path, DWORD access, std::string& why) {
    UniqueHandle link(CreateFileA(
        path.c_str(), access | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!link.Valid() || !GetFileInformationByHandle(link.Get(), &info)) {
        SystemFailure(why);
        return UniqueHandle();
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        why = "the system reaches only what the link leads to";
        return UniqueHandle();
    }
    return link;
}

bool SetAttributesOf(HANDLE file, DWORD attributes, std::string& why) {
    FILE_BASIC_INFO basic{}; // times left at zero stay as they are
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) || SystemFailure(why);
}

bool MarkForDeletion(HANDLE file, std::string& why) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) ||
           SystemFailure(why);
}

// Removes the link itself, read-only or not; never the link that mounts a drive.
bool DeleteLink(const std::string& path, std::string& why) {
    if (IsDriveOfTheMachine(path)) {
        return Refuse(why, kDriveRefusal);
    }
    UniqueHandle link = OpenLinkItself(path, DELETE | FILE_WRITE_ATTRIBUTES, why);
    return link.Valid() && SetAttributesOf(link.Get(), FILE_ATTRIBUTE_NORMAL, why) &&
           MarkForDeletion(link.Get(), why) && (link.Close() || SystemFailure(why));
}

// Removes everything inside the folder, read-only entries included, and goes on after a failure to
// remove as much as it can; `why` keeps the first reason. Links are removed, never entered.
bool ClearFolder(const std::string& folder, std::string& why) {
    bool ok = true;
    const auto failed = [&](const std::string& reason) {
        if (ok) {
            why = reason;
        }
        ok = false;
    };
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder, entries)) {
        failed(ReasonOf(GetLastError()));
    }
    for (const auto& entry : entries) {
        const std::string path = folder + "\\" + entry.cFileName;
        const DWORD attributes = entry.dwFileAttributes;
        std::string reason;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (!DeleteLink(path, reason)) {
                failed(reason);
            }
            continue;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!ClearFolder(path, reason)) {
                failed(reason);
            }
        }
        const bool writable = !(attributes & FILE_ATTRIBUTE_READONLY) ||
                              SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (!writable || !((attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryA(path.c_str())
                                                                   : DeleteFileA(path.c_str()))) {
            failed(ReasonOf(GetLastError()));
        }
    }
    return ok;
}

std::uint64_t SizeOf(const WIN32_FIND_DATAA& data) {
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::uint64_t ModifiedOf(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Adds a listed entry as MeasureTree counts it, under its path below the measured folder.
void AddEntry(const WIN32_FIND_DATAA& entry, const std::string& relative, TreeSize& size) {
    ++size.entries;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        size.fingerprint += EntryFingerprint(relative, 0, 0);
    } else {
        size.bytes += SizeOf(entry);
        size.fingerprint += EntryFingerprint(relative, SizeOf(entry), ModifiedOf(entry.ftLastWriteTime));
    }
}

void Measure(const std::string& folder, const std::string& relative, TreeSize& size) {
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(folder, entries)) {
        return;
    }
    for (const auto& entry : entries) {
        const std::string path = relative + "\\" + entry.cFileName;
        AddEntry(entry, path, size);
        // A link is counted, not entered: what it leads to is no part of this tree.
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            Measure(folder + "\\" + entry.cFileName, path, size);
        }
    }
}

TreeSize MeasureAnsi(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        return {};
    }
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const std::uint64_t bytes =
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return {1, bytes, EntryFingerprint("", bytes, ModifiedOf(data.ftLastWriteTime))};
    }
    TreeSize size{1, 0, 0};
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        Measure(path, "", size);
    }
    return size;
}

bool IsNeitherFileNorFolder(const WIN32_FIND_DATAA& entry) {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
        return true;
    }
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           std::find(std::begin(kSpecialReparseTags), std::end(kSpecialReparseTags), entry.dwReserved0) !=
               std::end(kSpecialReparseTags);
}

// Copies everything from `in` to `out`, then gives `out` the last write time and attributes of `in`.
bool Fill(HANDLE in, HANDLE out, const BY_HANDLE_FILE_INFORMATION& info, std::uint64_t& bytes,
          std::string& why) {
    const std::uint64_t expected = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    std::vector<char> buffer(static_cast<std::size_t>(std::clamp<std::uint64_t>(expected, 1, kCopyPiece)));
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            return SystemFailure(why);
        }
        if (got == 0) {
            break;
        }
        DWORD put = 0;
        if (!WriteFile(out, buffer.data(), got, &put, nullptr)) {
            return SystemFailure(why);
        }
        if (put != got) {
            return Refuse(why, ReasonOf(ERROR_DISK_FULL));
        }
        bytes += got;
    }
    FILE_BASIC_INFO basic{};
    basic.LastWriteTime.QuadPart = static_cast<LONGLONG>(ModifiedOf(info.ftLastWriteTime));
    const DWORD kept = info.dwFileAttributes & kClearable;
    basic.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(out, FileBasicInfo, &basic, sizeof basic) || SystemFailure(why);
}

// Copies the file `source` to `target` with its last write time and attributes: a new file, or with
// `overwrite` also over an existing file that is not read-only. `created`, when set, hears of a new
// file before its content goes in. A new file that could not be filled is removed again.
bool CopyOneFile(const std::string& source, const std::string& target, bool overwrite,
                 const std::function<bool(const EntryIdentity&)>& created, std::uint64_t& bytes,
                 std::string& why) {
    UniqueHandle in(CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!in.Valid()) {
        return SystemFailure(why);
    }
    // A pipe or a device (a Unix FIFO under Wine) is refused before anything waits on it.
    if (GetFileType(in.Get()) != FILE_TYPE_DISK) {
        return Refuse(why, kNeitherFileNorFolder);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(in.Get(), &info)) {
        return SystemFailure(why);
    }
    const DWORD access = GENERIC_WRITE | DELETE;
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
    UniqueHandle out(CreateFileA(target.c_str(), access, 0, nullptr, CREATE_NEW, flags, nullptr));
    const bool isNew = out.Valid();
    if (!isNew && overwrite) {
        const DWORD error = GetLastError();
        const DWORD existing = GetFileAttributesA(target.c_str());
        if (IsFolder(existing)) {
            return Refuse(why, ReasonOf(ERROR_ALREADY_EXISTS));
        }
        if (existing != kMissing && (existing & FILE_ATTRIBUTE_READONLY)) {
            return Refuse(why, kReadOnly);
        }
        SetLastError(error);
        if (existing != kMissing) {
            // As CopyFile does, a hidden or system file is refused rather than overwritten.
            out =
                UniqueHandle(CreateFileA(target.c_str(), access, 0, nullptr, CREATE_ALWAYS, flags, nullptr));
        }
    }
    if (!out.Valid()) {
        return SystemFailure(why);
    }
    if (created) {
        BY_HANDLE_FILE_INFORMATION made{};
        if (!GetFileInformationByHandle(out.Get(), &made)) {
            return SystemFailure(why);
        }
        if (!created(IdentityFrom(made))) {
            return Refuse(why, kStopped);
        }
    }
    if (!Fill(in.Get(), out.Get(), info, bytes, why)) {
        if (isNew) {
            std::string ignored;
            MarkForDeletion(out.Get(), ignored); // through the handle: nothing but this file can go
        }
        return false;
    }
    return out.Close() || SystemFailure(why);
}

// Creates the folder, or takes the folder already there (`made` tells which); false, with the
// reason, when another entry has the name.
bool MakeOrTakeFolder(const std::string& path, bool& made, std::string& why) {
    made = CreateDirectoryA(path.c_str(), nullptr) != 0;
    if (made) {
        return true;
    }
    const DWORD error = GetLastError();
    return (error == ERROR_ALREADY_EXISTS && IsFolder(GetFileAttributesA(path.c_str()))) ||
           Refuse(why, ReasonOf(error));
}

// One folder copy: what it tells, the folders it is inside of (a link back up would never end) and the
// measure of what it placed.
struct FolderCopy {
    const CopyEvents& events;
    std::string& why;
    std::vector<EntryIdentity> ancestors;
    TreeSize placed{1, 0, 0};

    bool Content(const std::string& from, const std::string& to, const std::string& relative) {
        std::vector<WIN32_FIND_DATAA> entries;
        if (!ListFolder(from, entries)) {
            return SystemFailure(why);
        }
        for (const auto& entry : entries) {
            const std::string source = from + "\\" + entry.cFileName;
            const std::string target = to + "\\" + entry.cFileName;
            if (IsNeitherFileNorFolder(entry)) {
                return Refuse(why, kNeitherFileNorFolder);
            }
            if (!((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                      ? Folder(source, target, relative + "\\" + entry.cFileName)
                      : File(source, target))) {
                return false;
            }
        }
        // Taken from the listing MeasureTree reads, once the content is in: each subfolder's own
        // content was added when it was copied.
        entries.clear();
        if (!ListFolder(to, entries)) {
            return SystemFailure(why);
        }
        for (const auto& entry : entries) {
            AddEntry(entry, relative + "\\" + entry.cFileName, placed);
        }
        return true;
    }

    bool Folder(const std::string& source, const std::string& target, const std::string& relative) {
        const auto identity = IdentityOfAnsi(source, true);
        if (!identity) {
            return SystemFailure(why);
        }
        if (std::find(ancestors.begin(), ancestors.end(), *identity) != ancestors.end()) {
            return Refuse(why, refusal::kLoop);
        }
        bool made = false;
        if (!MakeOrTakeFolder(target, made, why)) {
            return false;
        }
        // Only the copy's own folder is told of: the folders inside it are its content.
        if (made && relative.empty() && events.created) {
            const auto madeIdentity = IdentityOfAnsi(target, false);
            if (!madeIdentity) {
                return SystemFailure(why);
            }
            if (!events.created(*madeIdentity)) {
                return Refuse(why, kStopped);
            }
        }
        if (made && events.written) {
            events.written(0);
        }
        ancestors.push_back(*identity);
        const bool copied = Content(source, target, relative);
        ancestors.pop_back();
        return copied;
    }

    bool File(const std::string& source, const std::string& target) {
        std::uint64_t bytes = 0;
        if (!CopyOneFile(source, target, true, nullptr, bytes, why)) {
            return false;
        }
        if (events.written) {
            events.written(bytes);
        }
        return true;
    }
};

// The ANSI path of an entry an operation is to change, with its attributes; nullopt (with the reason)
// for a drive of the machine or when nothing is there.
std::optional<std::string> EntryToChange(std::string_view path, DWORD& attributes, std::string& why) {
    auto ansi = AnsiPath(path, why);
    if (ansi && IsDriveOfTheMachine(*ansi)) {
        Refuse(why, kDriveRefusal);
        return std::nullopt;
    }
    attributes = ansi ? GetFileAttributesA(ansi->c_str()) : kMissing;
    if (ansi && attributes == kMissing) {
        SystemFailure(why);
        return std::nullopt;
    }
    return ansi;
}

struct CopyEnds {
    std::string source;
    std::string target;
    DWORD attributes = 0; // of the source
};

// The ANSI paths of a copy; nullopt (with the reason) when its target is a drive of the machine or
// nothing is at its source.
std::optional<CopyEnds> EndsOf(std::string_view from, std::string_view to, std::string& why) {
    const auto target = AnsiPath(to, why);
    if (target && IsDriveOfTheMachine(*target)) {
        Refuse(why, kDriveRefusal);
        return std::nullopt;
    }
    const auto source = target ? AnsiPath(from, why) : std::nullopt;
    const DWORD attributes = source ? GetFileAttributesA(source->c_str()) : kMissing;
    if (source && attributes == kMissing) {
        SystemFailure(why);
    }
    if (attributes == kMissing) {
        return std::nullopt;
    }
    return CopyEnds{*source, *target, attributes};
}

} // namespace

std::string Win32SwapFileSystem::MachineName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) {
        SystemFailure(lastError_);
        return {};
    }
    return Utf8(std::wstring_view(name, length));
}

namespace {

// Seconds since 1601 at which the machine started: the time now less the time it has been running.
std::int64_t BootSeconds() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<std::int64_t>(ticks / 10000000ULL) - static_cast<std::int64_t>(GetTickCount64() / 1000ULL);
}

} // namespace

std::string Win32SwapFileSystem::SessionName() {
    return std::to_string(BootSeconds());
}

bool Win32SwapFileSystem::IsSameSession(std::string_view sessionName) {
    std::int64_t recorded = 0;
    for (const char c : sessionName) {
        if (c < '0' || c > '9' || recorded > (INT64_MAX - 9) / 10) {
            return false;
        }
        recorded = recorded * 10 + (c - '0');
    }
    const std::int64_t difference = recorded - BootSeconds();
    return !sessionName.empty() && difference > -120 && difference < 120;
}

bool Win32SwapFileSystem::Exists(std::string_view path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != kMissing && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

EntryKind Win32SwapFileSystem::KindOf(std::string_view path) {
    const DWORD attributes = AttributesOf(path);
    return attributes == kMissing ? EntryKind::None : IsFolder(attributes) ? EntryKind::Folder : EntryKind::File;
}

std::optional<std::string> Win32SwapFileSystem::EntryName(std::string_view path) {
    const auto ansi = AnsiPath(path, lastError_);
    if (!ansi) {
        return std::nullopt;
    }
    // The search takes its last name as a pattern; a name is only ever itself here.
    if (ansi->find_first_of("*?") != std::string::npos) {
        Refuse(lastError_, ReasonOf(ERROR_INVALID_NAME));
        return std::nullopt;
    }
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(ansi->c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        SystemFailure(lastError_);
        return std::nullopt;
    }
    FindClose(find);
    return Utf8FromAnsi(data.cFileName);
}

std::optional<EntryIdentity> Win32SwapFileSystem::IdentityOf(std::string_view path) {
    const auto ansi = AnsiPath(path, lastError_);
    auto identity = ansi ? IdentityOfAnsi(*ansi, false) : std::nullopt;
    if (ansi && !identity) {
        SystemFailure(lastError_);
    }
    return identity;
}

bool Win32SwapFileSystem::HasStableIdentities(std::string_view path) {
    // FAT and exFAT number an entry by where its directory entry lies, which a rename may move.
    std::string why;
    const auto ansi = AnsiPath(path, why);
    char root[MAX_PATH + 1] = {};
    char system[MAX_PATH + 1] = {};
    if (!ansi || !GetVolumePathNameA(ansi->c_str(), root, sizeof root) ||
        !GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, system, sizeof system)) {
        return true;
    }
    const std::string_view name = system;
    return !(name.starts_with("FAT") || EqualsIgnoringCase(name, "exFAT"));
}

bool Win32SwapFileSystem::CanChangeFolder(std::string_view folder) {
    static std::atomic<unsigned> counter{0};
    const auto ansi = AnsiPath(folder, lastError_);
    if (!ansi) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(ansi->c_str());
    if (attributes == kMissing) {
        return SystemFailure(lastError_);
    }
    if (!IsFolder(attributes)) {
        return Refuse(lastError_, kNotAFolder);
    }
    // Windows refuses this under Program Files to a program without elevation (the manifest asks for
    // none, so no virtual store hides it); the probe is gone once closed.
    const std::string probe = (ansi->ends_with('\\') ? *ansi : *ansi + "\\") + ".vantrel-probe-" +
                              std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) +
                              "-" + std::to_string(counter++) + ".tmp";
    UniqueHandle file(
        CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.Valid() || SystemFailure(lastError_);
}

bool Win32SwapFileSystem::SetAttributesNormal(std::string_view path) {
    DWORD attributes = 0;
    const auto ansi = EntryToChange(path, attributes, lastError_);
    if (!ansi) {
        return false;
    }
    if (IsLink(attributes)) {
        UniqueHandle link = OpenLinkItself(*ansi, FILE_WRITE_ATTRIBUTES, lastError_);
        return link.Valid() && SetAttributesOf(link.Get(), FILE_ATTRIBUTE_NORMAL, lastError_);
    }
    return SetFileAttributesA(ansi->c_str(), FILE_ATTRIBUTE_NORMAL) || SystemFailure(lastError_);
}

bool Win32SwapFileSystem::CreateFolder(std::string_view path) {
    const auto ansi = AnsiPath(path, lastError_);
    return ansi && (CreateDirectoryA(ansi->c_str(), nullptr) || SystemFailure(lastError_));
}

bool Win32SwapFileSystem::Rename(std::string_view from, std::string_view to) {
    const auto source = AnsiPath(from, lastError_);
    const auto target = source ? AnsiPath(to, lastError_) : std::nullopt;
    if (!target) {
        return false;
    }
    if (IsDriveOfTheMachine(*source) || IsDriveOfTheMachine(*target)) {
        return Refuse(lastError_, kDriveRefusal);
    }
    // MoveFile renames a link itself, but only where the system can reach the link itself.
    if (IsLink(GetFileAttributesA(source->c_str())) && !OpenLinkItself(*source, 0, lastError_).Valid()) {
        return false;
    }
    // Without MOVEFILE_COPY_ALLOWED: a rename, never a copy to another drive.
    return MoveFileExA(source->c_str(), target->c_str(), 0) || SystemFailure(lastError_);
}

TreeSize Win32SwapFileSystem::MeasureTree(std::string_view path) {
    const auto ansi = AnsiPath(path, lastError_);
    const TreeSize size = ansi ? MeasureAnsi(*ansi) : TreeSize{};
    if (ansi && size.entries == 0) {
        SystemFailure(lastError_);
    }
    return size;
}

bool Win32SwapFileSystem::CopyFile(std::string_view from, std::string_view to, const CopyEvents& events,
                                   TreeSize& placed) {
    placed = {};
    const auto ends = EndsOf(from, to, lastError_);
    if (!ends) {
        return false;
    }
    if (IsFolder(ends->attributes)) {
        return Refuse(lastError_, kNotAFile);
    }
    std::uint64_t bytes = 0;
    if (!CopyOneFile(ends->source, ends->target, false, events.created, bytes, lastError_)) {
        return false;
    }
    // Read back as MeasureTree reads it: the file system may keep the time less finely than it was given.
    placed = MeasureAnsi(ends->target);
    if (placed.entries == 0) {
        return SystemFailure(lastError_);
    }
    if (events.written) {
        events.written(bytes);
    }
    return true;
}

bool Win32SwapFileSystem::CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events,
                                     TreeSize& placed) {
    placed = {};
    const auto ends = EndsOf(from, to, lastError_);
    if (!ends) {
        return false;
    }
    if (!IsFolder(ends->attributes)) {
        return Refuse(lastError_, kNotAFolder);
    }
    const std::string fullSource = FullPath(ends->source) + "\\";
    const std::string fullTarget = FullPath(ends->target) + "\\";
    if (fullTarget.size() >= fullSource.size() &&
        EqualsIgnoringCase(Utf8FromAnsi(fullTarget.substr(0, fullSource.size())), Utf8FromAnsi(fullSource))) {
        return Refuse(lastError_, refusal::kIntoItself);
    }
    FolderCopy copy{events, lastError_, {}};
    if (!copy.Folder(ends->source, ends->target, "")) {
        return false;
    }
    placed = copy.placed;
    return true;
}

bool Win32SwapFileSystem::DeleteFile(std::string_view path, bool force) {
    DWORD attributes = 0;
    const auto ansi = EntryToChange(path, attributes, lastError_);
    if (!ansi) {
        return false;
    }
    if (IsFolder(attributes) && !IsLink(attributes)) {
        return Refuse(lastError_, kNotAFile);
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !force) {
        return Refuse(lastError_, kReadOnly);
    }
    if (IsLink(attributes)) {
        return DeleteLink(*ansi, lastError_);
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !SetFileAttributesA(ansi->c_str(), FILE_ATTRIBUTE_NORMAL)) {
        return SystemFailure(lastError_);
    }
    return DeleteFileA(ansi->c_str()) || SystemFailure(lastError_);
}

bool Win32SwapFileSystem::DeleteFolder(std::string_view path) {
    DWORD attributes = 0;
    const auto ansi = EntryToChange(path, attributes, lastError_);
    if (!ansi) {
        return false;
    }
    if (!IsFolder(attributes)) {
        return Refuse(lastError_, kNotAFolder);
    }
    if (IsLink(attributes)) {
        // A junction or link: removed itself, what it leads to is left alone.
        return DeleteLink(*ansi, lastError_);
    }
    if (!ClearFolder(*ansi, lastError_)) {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !SetFileAttributesA(ansi->c_str(), FILE_ATTRIBUTE_NORMAL)) {
        return SystemFailure(lastError_);
    }
    return RemoveDirectoryA(ansi->c_str()) || SystemFailure(lastError_);
}

} // namespace vantrel
