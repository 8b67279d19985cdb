// Reads values out of the text of a Wine registry file such as the prefix's system.reg.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

enum class RegistryLookup { KeyMissing, ValueMissing, Found };

struct RegistryString {
    RegistryLookup lookup = RegistryLookup::KeyMissing;
    std::string text; // UTF-8; an unpaired surrogate becomes U+FFFD
};

// True when the text is a Wine registry file ("WINE REGISTRY Version 2" on its first line).
[[nodiscard]] bool IsWineRegistryFile(std::string_view fileText);

// True when the file belongs to a 64-bit prefix (an "#arch=win64" line before the first key).
[[nodiscard]] bool IsWin64Registry(std::string_view fileText);

// The string value `valueName` of the key `keyPath` (relative to the file's root, single backslashes);
// key and value names compare without regard to case. A value that is not a string counts as missing.
[[nodiscard]] RegistryString FindRegistryString(std::string_view fileText, std::string_view keyPath,
                                                std::string_view valueName);

} // namespace vantrel
