#include "platform/win32/windows_api.h"

#include <cwctype>

namespace vantrel::win32 {

std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) {
        return {};
    }
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr, nullptr);
    return text;
}

namespace {

// Missing from mingw-w64's headers.
constexpr DWORD kElevationRequired = 740;

std::optional<std::string> ToAnsi(std::string_view utf8, bool exact) {
    const std::wstring wide = Wide(utf8);
    if (wide.empty()) {
        return std::string();
    }
    BOOL usedDefault = FALSE;
    const DWORD flags = WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide.data(), static_cast<int>(wide.size()), text.data(), length, "?",
                        &usedDefault);
    if (exact && usedDefault) {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::string Ansi(std::string_view utf8) {
    return *ToAnsi(utf8, false);
}

std::optional<std::string> AnsiExact(std::string_view utf8) {
    // Invalid UTF-8 turns into U+FFFD, which the code page lacks: refused as well.
    return ToAnsi(utf8, true);
}

std::string Utf8FromAnsi(std::string_view ansi) {
    if (ansi.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
    return Utf8(wide);
}

std::string ReasonOf(DWORD code) {
    switch (code) {
    case ERROR_ACCESS_DENIED:
        return "access denied";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return "no such file or folder";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return "no space left on the disk";
    case ERROR_WRITE_PROTECT:
        return "the disk is read-only";
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return "an entry of that name exists already";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return "in use by another program";
    case ERROR_DIR_NOT_EMPTY:
        return "the folder is not empty";
    case ERROR_FILENAME_EXCED_RANGE:
        return "the path is too long";
    case ERROR_INVALID_NAME:
        return "the name is not valid";
    case ERROR_NOT_READY:
        return "the drive is not ready";
    case ERROR_BAD_EXE_FORMAT:
        return "not a program this system can run";
    case kElevationRequired:
        return "it must run as an administrator";
    default:
        break;
    }
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? std::wstring_view(buffer, length) : std::wstring_view());
    LocalFree(buffer);
    while (!text.empty() && (std::iswspace(text.back()) || text.back() == L'.')) {
        text.pop_back();
    }
    // A message that expects inserts ("%1 is not ...") says nothing without them.
    if (text.empty() || text.find(L'%') != std::wstring::npos) {
        return "system error " + std::to_string(code);
    }
    // "Bad network path" reads as the others do; an abbreviation ("RPC server ...") keeps its capitals.
    if (text.size() > 1 && std::iswupper(text[0]) && std::iswlower(text[1])) {
        text[0] = static_cast<wchar_t>(std::towlower(text[0]));
    }
    return Utf8(text);
}

} // namespace vantrel::win32
