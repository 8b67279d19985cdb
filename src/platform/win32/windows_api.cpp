#include "platform/win32/windows_api.h"

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

} // namespace vantrel::win32
