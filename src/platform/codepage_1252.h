// Windows-1252, the ANSI code page of Western Windows and of Wine in Western locales.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Appends the UTF-8 form of Windows-1252 bytes to `out`. Every byte maps to one character (the five
// bytes the code page leaves undefined map to the C1 controls of the same value, as Windows does).
void AppendUtf8FromWindows1252(std::string_view bytes, std::string& out);

// The UTF-8 form of Windows-1252 bytes; ASCII text is handed back without copying.
[[nodiscard]] std::string Utf8FromWindows1252(std::string bytes);

// The Windows-1252 bytes of UTF-8 text; nullopt when a character has no byte in the code page or
// the text is not valid UTF-8.
[[nodiscard]] std::optional<std::string> Windows1252FromUtf8(std::string_view text);

// Like Windows1252FromUtf8, but puts '?' where the code page has no character (as Windows does for
// text handed to its ANSI functions).
[[nodiscard]] std::string Windows1252FromUtf8Lossy(std::string_view text);

} // namespace vantrel
