#include <algorithm>
#include <functional>
#include <vector>

#include "platform/case_fold.h"
#include "platform/fingerprint.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"

namespace vantrel {

using namespace win32;

namespace {

constexpr DWORD kMissing = INVALID_FILE_ATTRIBUTES;

bool IsFolder(DWORD attributes) {
    return attributes != kMissing && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsFile(DWORD attributes) {
    return attributes != kMissing && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The entries of a folder (ANSI names), "." and ".." left out; false when it cannot be listed.
bool ListFolder(const std::string& folder, std::vector<WIN32_FIND_DATAA>& entries) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    do {
        const std::string_view name = data.cFileName;
        if (name != "." && name != "..") {
            entries.push_back(data);
        }
    } while (FindNextFileA(find, &data));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(find);
    return complete;
}

std::optional<EntryIdentity> IdentityOfAnsi(const std::string& path) {
    UniqueHandle handle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle.Valid() || !GetFileInformationByHandle(handle.Get(), &info)) {
        return std::nullopt;
    }
    return EntryIdentity{info.dwVolumeSerialNumber,
                         (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::uint64_t SizeOf(const WIN32_FIND_DATAA& data) {
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Makes `target` a folder to copy into: creates it (telling the listener) or takes the one there.
bool EnsureFolder(const std::string& target, DWORD existing, const CopyListener& listener) {
    if (existing != kMissing) {
        return IsFolder(existing);
    }
    if (!CreateDirectoryA(target.c_str(), nullptr)) {
        return false;
    }
    if (listener) {
        listener(0);
    }
    return true;
}

bool CopyFolderContent(const std::string& from, const std::string& to, std::vector<EntryIdentity>& ancestors,
                       const CopyListener& listener) {
    std::vector<WIN32_FIND_DATAA> entries;
    if (!ListFolder(from, entries)) {
        return false;
    }
    for (const auto& entry : entries) {
        const std::string source = from + "\\" + entry.cFileName;
        const std::string target = to + "\\" + entry.cFileName;
        const DWORD existing = GetFileAttributesA(target.c_str());
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            const auto identity = IdentityOfAnsi(source);
            if (!identity || std::find(ancestors.begin(), ancestors.end(), *identity) != ancestors.end()) {
                return false; // a link back up the tree would never end
            }
            if (!EnsureFolder(target, existing, listener)) {
                return false;
            }
            ancestors.push_back(*identity);
            const bool copied = CopyFolderContent(source, target, ancestors, listener);
            ancestors.pop_back();
            if (!copied) {
                return false;
            }
        } else {
            // Existing files are overwritten, but not read-only ones, as the scripting component does.
            if (existing != kMissing && (IsFolder(existing) || (existing & FILE_ATTRIBUTE_READONLY))) {
                return false;
            }
            if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
                return false;
            }
            if (listener) {
                listener(SizeOf(entry));
            }
        }
    }
    return true;
}

// Removes everything inside the folder, read-only entries included; links are removed, not followed.
bool ClearFolder(const std::string& folder) {
    std::vector<WIN32_FIND_DATAA> entries;
    bool ok = ListFolder(folder, entries);
    for (const auto& entry : entries) {
        const std::string path = folder + "\\" + entry.cFileName;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                ok = ClearFolder(path) && ok;
            }
            ok = RemoveDirectoryA(path.c_str()) && ok;
        } else {
            ok = DeleteFileA(path.c_str()) && ok;
        }
    }
    return ok;
}

std::uint64_t ModifiedOf(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void Measure(const std::string& folder, const std::string& relative, TreeSize& size, int depth) {
    std::vector<WIN32_FIND_DATAA> entries;
    if (depth > 64 || !ListFolder(folder, entries)) {
        return;
    }
    for (const auto& entry : entries) {
        ++size.entries;
        const std::string path = relative + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            size.fingerprint += EntryFingerprint(path, 0, 0);
            Measure(folder + "\\" + entry.cFileName, path, size, depth + 1);
        } else {
            size.bytes += SizeOf(entry);
            size.fingerprint += EntryFingerprint(path, SizeOf(entry), ModifiedOf(entry.ftLastWriteTime));
        }
    }
}

std::string FullPath(const std::string& path) {
    char buffer[MAX_PATH * 2] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return length == 0 || length >= sizeof buffer ? path : std::string(buffer, length);
}

} // namespace

bool Win32SwapFileSystem::Exists(std::string_view path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != kMissing && (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

EntryKind Win32SwapFileSystem::KindOf(std::string_view path) {
    const DWORD attributes = AttributesOf(path);
    return attributes == kMissing ? EntryKind::None : IsFolder(attributes) ? EntryKind::Folder : EntryKind::File;
}

std::optional<EntryIdentity> Win32SwapFileSystem::IdentityOf(std::string_view path) {
    return IdentityOfAnsi(Ansi(path));
}

bool Win32SwapFileSystem::SetAttributesNormal(std::string_view path) {
    return SetFileAttributesA(Ansi(path).c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool Win32SwapFileSystem::Rename(std::string_view from, std::string_view to) {
    return MoveFileA(Ansi(from).c_str(), Ansi(to).c_str()) != 0;
}

TreeSize Win32SwapFileSystem::MeasureTree(std::string_view path) {
    const std::string ansi = Ansi(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(ansi.c_str(), GetFileExInfoStandard, &data)) {
        return {};
    }
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const std::uint64_t bytes = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return {1, bytes, EntryFingerprint("", bytes, ModifiedOf(data.ftLastWriteTime))};
    }
    TreeSize size{1, 0, 0};
    Measure(ansi, "", size, 0);
    return size;
}

bool Win32SwapFileSystem::CopyFile(std::string_view from, std::string_view to, const CopyListener& listener) {
    const std::string source = Ansi(from);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !CopyFileA(source.c_str(), Ansi(to).c_str(), TRUE)) {
        return false;
    }
    if (listener) {
        listener((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    }
    return true;
}

bool Win32SwapFileSystem::CopyFolder(std::string_view from, std::string_view to, const CopyListener& listener) {
    const std::string source = Ansi(from);
    const std::string target = Ansi(to);
    if (!IsFolder(GetFileAttributesA(source.c_str()))) {
        return false;
    }
    // Windows refuses to copy a folder into itself.
    const std::string fullSource = FullPath(source) + "\\";
    const std::string fullTarget = FullPath(target) + "\\";
    if (fullTarget.size() >= fullSource.size() &&
        EqualsIgnoringCase(Utf8FromAnsi(fullTarget.substr(0, fullSource.size())), Utf8FromAnsi(fullSource))) {
        return false;
    }
    if (!EnsureFolder(target, GetFileAttributesA(target.c_str()), listener)) {
        return false;
    }
    const auto identity = IdentityOfAnsi(source);
    if (!identity) {
        return false;
    }
    std::vector<EntryIdentity> ancestors{*identity};
    return CopyFolderContent(source, target, ancestors, listener);
}

bool Win32SwapFileSystem::DeleteFile(std::string_view path, bool force) {
    const std::string ansi = Ansi(path);
    if (!IsFile(GetFileAttributesA(ansi.c_str()))) {
        return false;
    }
    if (force) {
        SetFileAttributesA(ansi.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    return DeleteFileA(ansi.c_str()) != 0;
}

bool Win32SwapFileSystem::DeleteFolder(std::string_view path) {
    const std::string ansi = Ansi(path);
    const DWORD attributes = GetFileAttributesA(ansi.c_str());
    if (!IsFolder(attributes)) {
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // A junction or link: removed itself, what it points at is left alone.
        return RemoveDirectoryA(ansi.c_str()) != 0;
    }
    const bool cleared = ClearFolder(ansi);
    SetFileAttributesA(ansi.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryA(ansi.c_str()) && cleared;
}

} // namespace vantrel
