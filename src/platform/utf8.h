// UTF-8 helpers shared by the core and the platform layer: text is UTF-8 everywhere inside.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// Decodes the character at `pos` and advances `pos` past it; nullopt (pos unchanged) on a malformed,
// overlong or surrogate sequence.
[[nodiscard]] inline std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = at(pos);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - pos < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((at(pos + i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (at(pos + i) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    pos += length;
    return cp;
}

inline void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

[[nodiscard]] inline bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Number of characters (not bytes) in UTF-8 text; a stray byte counts as one character.
[[nodiscard]] inline std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        count += IsUtf8Continuation(c) ? 0 : 1;
    }
    return count;
}

// Byte offset at which character number `index` (from 0) begins; text.size() past the end.
[[nodiscard]] inline std::size_t Utf8Offset(std::string_view text, std::size_t index) {
    std::size_t pos = 0;
    while (pos < text.size() && index > 0) {
        ++pos;
        while (pos < text.size() && IsUtf8Continuation(text[pos])) {
            ++pos;
        }
        --index;
    }
    return pos;
}

// The last `count` characters of the text (all of it when it is shorter).
[[nodiscard]] inline std::string_view Utf8Tail(std::string_view text, std::size_t count) {
    const std::size_t length = Utf8Length(text);
    return length <= count ? text : text.substr(Utf8Offset(text, length - count));
}

} // namespace vantrel
