// The one header that includes <windows.h>, with the conversions every Win32 implementation needs.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The interfaces use these names for their own operations.
#undef CopyFile
#undef DeleteFile

#include <optional>
#include <string>
#include <string_view>

namespace vantrel::win32 {

// UTF-8 to UTF-16 and back; invalid UTF-8 becomes U+FFFD.
[[nodiscard]] std::wstring Wide(std::string_view utf8);
[[nodiscard]] std::string Utf8(std::wstring_view wide);

// Text in the system's ANSI code page, as the "A" functions take it: characters the code page lacks
// become '?'.
[[nodiscard]] std::string Ansi(std::string_view utf8);
// The same, or nullopt when a character would be lost.
[[nodiscard]] std::optional<std::string> AnsiExact(std::string_view utf8);
[[nodiscard]] std::string Utf8FromAnsi(std::string_view ansi);

// Why text could not go into the code page, in the words LastError() uses.
inline constexpr const char* kLacksCharacter = "a character the code page lacks";

// The system's reason for an error code in a few lowercase words ("access denied").
[[nodiscard]] std::string ReasonOf(DWORD code);

// Closes a handle when it goes out of scope.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }
    ~UniqueHandle() { Close(); }

    [[nodiscard]] HANDLE Get() const { return handle_; }
    [[nodiscard]] bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    bool Close() {
        if (!Valid()) {
            return true;
        }
        return CloseHandle(Release()) != 0;
    }

private:
    HANDLE handle_;
};

// The attributes of a path; INVALID_FILE_ATTRIBUTES when nothing is there.
[[nodiscard]] inline DWORD AttributesOf(std::string_view path) {
    return GetFileAttributesA(Ansi(path).c_str());
}

} // namespace vantrel::win32
