#include "platform/codepage_1252.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/utf8.h"

namespace vantrel {
namespace {

// Code points of the bytes 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::optional<unsigned char> ByteForCodePoint(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
        return static_cast<unsigned char>(cp);
    }
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return std::nullopt;
}

} // namespace

void AppendUtf8FromWindows1252(std::string_view bytes, std::string& out) {
    // Definition files are mostly ASCII: copy each ASCII run in one go.
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            continue;
        }
        out.append(bytes.data() + runStart, i - runStart);
        runStart = i + 1;
        if (byte < 0xA0) {
            AppendUtf8(kHighControls[byte - 0x80], out);
        } else {
            AppendUtf8(byte, out);
        }
    }
    out.append(bytes.data() + runStart, bytes.size() - runStart);
}

std::string Utf8FromWindows1252(std::string bytes) {
    // Eight bytes at a time: any high bit means a character beyond ASCII.
    std::size_t i = 0;
    for (std::uint64_t word = 0; i + sizeof word <= bytes.size(); i += sizeof word) {
        std::memcpy(&word, bytes.data() + i, sizeof word);
        if (word & 0x8080808080808080ULL) {
            break;
        }
    }
    for (; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) >= 0x80) {
            std::string text;
            text.reserve(bytes.size() + bytes.size() / 4);
            AppendUtf8FromWindows1252(bytes, text);
            return text;
        }
    }
    return bytes;
}

std::optional<std::string> Windows1252FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            out.push_back(text[pos++]);
            continue;
        }
        const auto cp = DecodeUtf8(text, pos);
        if (!cp) {
            return std::nullopt;
        }
        const auto encoded = ByteForCodePoint(*cp);
        if (!encoded) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(*encoded));
    }
    return out;
}

std::string Windows1252FromUtf8Lossy(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            out.push_back(text[pos++]);
            continue;
        }
        const auto cp = DecodeUtf8(text, pos);
        const auto encoded = cp ? ByteForCodePoint(*cp) : std::nullopt;
        out.push_back(encoded ? static_cast<char>(*encoded) : '?');
        if (!cp) {
            ++pos;
        }
    }
    return out;
}

} // namespace vantrel
