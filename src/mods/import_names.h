// The names inside a downloaded mod: what an archive stores, made into names Windows and the game
// accept, inside the folder the mod is unpacked into.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The text with ASCII letters in lower case, others as they are: for extensions and file names.
[[nodiscard]] std::string AsciiLowerCase(std::string_view text);

// The UTF-8 form of a stored name: kept as it is when it is UTF-8, else read in `legacyCodePage`
// (437, DOS's, or 1252, Windows').
[[nodiscard]] std::string NameAsUtf8(std::string_view stored, int legacyCodePage);

// Why Windows would not hold a file or folder of this name (a device such as CON, a trailing dot or
// blank, a character it keeps for itself, a control character); empty when it would.
[[nodiscard]] std::string WhyNotAWindowsName(std::string_view name);

// The names of a stored entry path below the folder it is unpacked into, "/" and "\" both taken as
// separators and "." and empty names dropped; empty, with the reason, when the path leads anywhere
// else (a "..", an absolute path, a drive or a network name) or holds a name Windows does not.
[[nodiscard]] std::vector<std::string> SafeEntryPath(std::string_view utf8Path, std::string& why);

// The mod name a download's file or folder name suggests: without the archive's extensions and
// without version noise ("Shockwave_v1.2.zip", "Rise of the Reds 1.87 (Patch).7z").
[[nodiscard]] std::string ModNameFromDownload(std::string_view fileName);

} // namespace vantrel
