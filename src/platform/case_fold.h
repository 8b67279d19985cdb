// Comparison of names without regard to letter case, the way Windows file systems compare them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The upper-case form of a character (Latin, Greek and Cyrillic letters; others are unchanged).
[[nodiscard]] char32_t UpperCase(char32_t cp);

// True when two UTF-8 names are equal without regard to letter case.
[[nodiscard]] bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The key that orders names as NTFS lists a folder: upper-cased UTF-16 code units compared in turn.
[[nodiscard]] std::u16string NameOrderKey(std::string_view name);

// Sorts names as NTFS lists a folder, whatever order the system handed them in.
void SortLikeNtfs(std::vector<std::string>& names);

// True when `name` matches a pattern of * (any run) and ? (one character) without regard to case.
[[nodiscard]] bool MatchesWildcard(std::string_view pattern, std::string_view name);

} // namespace vantrel
