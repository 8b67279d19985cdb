#include "platform/case_fold.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/utf8.h"

namespace vantrel {
namespace {

// Decodes UTF-8, taking a stray byte as the character of the same value, so every name compares.
std::u32string Decode(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (auto cp = DecodeUtf8(text, pos)) {
            out.push_back(*cp);
        } else {
            out.push_back(static_cast<unsigned char>(text[pos++]));
        }
    }
    return out;
}

std::u32string Upper(std::string_view text) {
    std::u32string out = Decode(text);
    for (char32_t& cp : out) {
        cp = UpperCase(cp);
    }
    return out;
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The order of two ASCII names' keys, and as spelled when those are equal.
bool AsciiKeyLess(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) {
            return UpperAscii(a[i]) < UpperAscii(b[i]);
        }
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

// Glob with backtracking to the last star; `upper` maps an element to its upper case.
template <typename Text, typename Upper>
bool MatchUpper(const Text& p, const Text& n, Upper upper) {
    std::size_t pi = 0;
    std::size_t ni = 0;
    std::size_t star = Text::npos;
    std::size_t starName = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || upper(p[pi]) == upper(n[ni]))) {
            ++pi, ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            starName = ni;
        } else if (star != Text::npos) {
            pi = star + 1;
            ni = ++starName;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') {
        ++pi;
    }
    return pi == p.size();
}

} // namespace

char32_t UpperCase(char32_t cp) {
    if (cp < 0x80) {
        return cp >= 'a' && cp <= 'z' ? cp - 0x20 : cp;
    }
    if ((cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) || (cp >= 0x3B1 && cp <= 0x3CB && cp != 0x3C2) ||
        (cp >= 0x430 && cp <= 0x44F)) {
        return cp - 0x20;
    }
    if (cp == 0xFF) {
        return 0x178;
    }
    if (cp == 0x3C2) {
        return 0x3A3;
    }
    if (cp >= 0x450 && cp <= 0x45F) {
        return cp - 0x50;
    }
    // Latin Extended-A and Cyrillic pairs: upper case on the even (or odd) code point of each pair.
    if ((cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177) || (cp >= 0x460 && cp <= 0x481) ||
        (cp >= 0x48A && cp <= 0x4BF) || (cp >= 0x4D0 && cp <= 0x52F)) {
        return cp & ~char32_t{1};
    }
    if ((cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E) || (cp >= 0x4C1 && cp <= 0x4CE)) {
        return (cp & 1) ? cp : cp - 1;
    }
    return cp;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() == b.size() && a == b) {
        return true;
    }
    return Upper(a) == Upper(b);
}

std::u16string NameOrderKey(std::string_view name) {
    std::u16string key;
    key.reserve(name.size());
    if (IsAscii(name)) {
        for (const char c : name) {
            key.push_back(static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
        }
        return key;
    }
    for (char32_t cp : Upper(name)) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            key.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            key.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            key.push_back(static_cast<char16_t>(cp));
        }
    }
    return key;
}

void SortLikeNtfs(std::vector<std::string>& names) {
    // ASCII names, nearly always all there is, order as their keys do without making any. Their first
    // eight upper-cased characters, packed in a number, settle most comparisons; the rest compare in
    // full. No name holds a NUL, so the zeros that pad a short name order it before longer ones.
    if (std::all_of(names.begin(), names.end(), [](const std::string& name) { return IsAscii(name); })) {
        struct Entry {
            std::uint64_t prefix;
            std::size_t index;
        };
        std::vector<Entry> entries;
        entries.reserve(names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            std::uint64_t prefix = 0;
            for (std::size_t at = 0; at < 8; ++at) {
                const char c = at < names[i].size() ? UpperAscii(names[i][at]) : '\0';
                prefix = prefix << 8 | static_cast<unsigned char>(c);
            }
            entries.push_back({prefix, i});
        }
        std::sort(entries.begin(), entries.end(), [&names](const Entry& a, const Entry& b) {
            return a.prefix != b.prefix ? a.prefix < b.prefix : AsciiKeyLess(names[a.index], names[b.index]);
        });
        std::vector<std::string> sorted;
        sorted.reserve(names.size());
        for (const auto& entry : entries) {
            sorted.push_back(std::move(names[entry.index]));
        }
        names = std::move(sorted);
        return;
    }
    std::vector<std::pair<std::u16string, std::string>> keyed;
    keyed.reserve(names.size());
    for (auto& name : names) {
        keyed.emplace_back(NameOrderKey(name), std::move(name));
    }
    std::sort(keyed.begin(), keyed.end());
    names.clear();
    for (auto& [key, name] : keyed) {
        names.push_back(std::move(name));
    }
}

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    if (IsAscii(pattern) && IsAscii(name)) {
        return MatchUpper(pattern, name, [](char c) { return static_cast<char32_t>(UpperCase(static_cast<unsigned char>(c))); });
    }
    return MatchUpper(Upper(pattern), Upper(name), [](char32_t c) { return c; });
}


} // namespace vantrel
