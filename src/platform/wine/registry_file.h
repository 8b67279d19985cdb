// Reads values out of the text of a Wine registry file such as the prefix's system.reg.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
// The first of several keys of the same name counts.
[[nodiscard]] RegistryString FindRegistryString(std::string_view fileText, std::string_view keyPath,
                                                std::string_view valueName);

// A key of the file and where its values begin.
struct RegistryKey {
    std::string path;       // unescaped, as the header spells it
    std::size_t values = 0; // offset of the line after the header
};

// The part of a key path up to and including its last backslash ("" for a key at the top): keys whose
// parts are equal without regard to case are siblings.
[[nodiscard]] std::string_view RegistryKeyParent(std::string_view keyPath);

// Every key that is a sibling of one of `keyPaths` (those keys included when present), in file order.
// One pass over the file that parses only the headers that may be such keys, so that keys looked up
// together, such as those of both games, cost no more than one.
[[nodiscard]] std::vector<RegistryKey> FindSiblingKeys(std::string_view fileText,
                                                       std::span<const std::string> keyPaths);

// The string value `valueName` among a key's values, which begin at `values` (see RegistryKey) and run
// to the next header: Found or ValueMissing.
[[nodiscard]] RegistryString ReadKeyString(std::string_view fileText, std::size_t values,
                                           std::string_view valueName);

// The unescaped key path of a header line ("[path] timestamp", its line break left off); nullopt when
// the line is no header or breaks off before the closing bracket.
[[nodiscard]] std::optional<std::string> ParseKeyHeader(std::string_view line);

} // namespace vantrel
