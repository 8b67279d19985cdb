#include "platform/wine/registry_file.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/case_fold.h"
#include "platform/utf8.h"

namespace vantrel {
namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned HexValue(char c) {
    return c <= '9' ? static_cast<unsigned>(c - '0') : static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

// Gathers UTF-16 code units and turns them into UTF-8, pairing surrogates.
class Utf16Builder {
public:
    void Push(char32_t unit) {
        if (unit >= 0xDC00 && unit <= 0xDFFF && pendingHigh_) {
            Append(0x10000 + ((pendingHigh_ - 0xD800) << 10) + (unit - 0xDC00));
            pendingHigh_ = 0;
            return;
        }
        FlushHigh();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            pendingHigh_ = unit;
        } else {
            Append(unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
        }
    }
    std::string Finish() {
        FlushHigh();
        return std::move(text_);
    }

private:
    void FlushHigh() {
        if (pendingHigh_) {
            Append(0xFFFD);
            pendingHigh_ = 0;
        }
    }
    void Append(char32_t cp) { AppendUtf8(cp, text_); }

    std::string text_;
    char32_t pendingHigh_ = 0;
};

// Parses an escaped string from `pos` up to the unescaped `terminator`, leaving `pos` after it.
// nullopt when the terminator never comes.
std::optional<std::string> ParseEscaped(std::string_view line, std::size_t& pos, char terminator) {
    Utf16Builder out;
    while (pos < line.size()) {
        const char c = line[pos++];
        if (c == terminator) {
            return out.Finish();
        }
        if (c != '\\') {
            std::size_t at = pos - 1;
            if (const auto cp = DecodeUtf8(line, at)) {
                pos = at;
                out.Push(*cp);
            } else {
                out.Push(static_cast<unsigned char>(c));
            }
            continue;
        }
        if (pos >= line.size()) {
            return std::nullopt;
        }
        const char e = line[pos++];
        switch (e) {
        case 'a': out.Push(0x07); break;
        case 'b': out.Push(0x08); break;
        case 'e': out.Push(0x1B); break;
        case 'f': out.Push(0x0C); break;
        case 'n': out.Push(0x0A); break;
        case 'r': out.Push(0x0D); break;
        case 't': out.Push(0x09); break;
        case 'v': out.Push(0x0B); break;
        case 'x': {
            char32_t unit = 0;
            int digits = 0;
            while (digits < 4 && pos < line.size() && IsHexDigit(line[pos])) {
                unit = unit * 16 + HexValue(line[pos++]);
                ++digits;
            }
            out.Push(digits ? unit : U'x');
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                char32_t unit = static_cast<char32_t>(e - '0');
                for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits) {
                    unit = unit * 8 + static_cast<char32_t>(line[pos++] - '0');
                }
                out.Push(unit);
            } else {
                out.Push(static_cast<unsigned char>(e));
            }
        }
    }
    return std::nullopt;
}

// Decodes "hex(1):" or "hex(2):" data, UTF-16LE bytes, joined over continued lines beforehand.
std::optional<std::string> ParseHexString(std::string_view data) {
    Utf16Builder out;
    unsigned bytes[2] = {0, 0};
    int count = 0;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const char c = data[pos];
        if (c == ',' || c == ' ' || c == '\t' || c == '\\' || c == '\r' || c == '\n') {
            ++pos;
            continue;
        }
        if (pos + 1 >= data.size() || !IsHexDigit(c) || !IsHexDigit(data[pos + 1])) {
            return std::nullopt;
        }
        bytes[count++] = HexValue(c) * 16 + HexValue(data[pos + 1]);
        pos += 2;
        if (count == 2) {
            out.Push(bytes[0] | (bytes[1] << 8));
            count = 0;
        }
    }
    std::string text = out.Finish();
    // The stored data ends with the string's NUL, which the value does not include.
    if (!text.empty() && text.back() == '\0') {
        text.pop_back();
    }
    return text;
}

struct LineCursor {
    std::string_view text;
    std::size_t pos = 0;

    bool Next(std::string_view& line) {
        if (pos >= text.size()) {
            return false;
        }
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        pos = end + 1;
        return true;
    }
};

// The value text of a value line whose name matched, or nullopt when it is no string.
std::optional<std::string> ParseStringData(std::string_view data, LineCursor& cursor) {
    std::size_t pos = 0;
    if (data.starts_with("\"")) {
        pos = 1;
        return ParseEscaped(data, pos, '"');
    }
    if (data.starts_with("str(")) {
        const std::size_t quote = data.find(":\"");
        if (quote == std::string_view::npos) {
            return std::nullopt;
        }
        pos = quote + 2;
        return ParseEscaped(data, pos, '"');
    }
    if (data.starts_with("hex(1):") || data.starts_with("hex(2):")) {
        std::string joined(data.substr(7));
        std::string_view more;
        while (!joined.empty() && joined.back() == '\\' && cursor.Next(more)) {
            joined.pop_back();
            joined += more;
        }
        return ParseHexString(joined);
    }
    return std::nullopt;
}

// The start of a wanted key path as a header spells it, for telling most headers apart by their raw
// bytes without unescaping them.
class RawHead {
public:
    // Only the part before the first byte outside ASCII: case folding never maps a character across
    // that line, so an ASCII start decides on its own.
    explicit RawHead(std::string_view path) {
        for (const char c : path) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                break;
            }
            const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            const char mask = letter ? 0x20 : 0;
            if (c == '\\') {
                Add('\\', 0, false);
                Add('\\', 0, true);
            } else {
                Add(static_cast<char>(c | mask), mask, false);
            }
        }
    }

    // True when the name of the header whose text starts at `pos` surely does not begin with the head:
    // where the bytes first differ, the header's byte stands for itself (printable ASCII other than a
    // backslash) or ends the name or the line. Any other difference needs a full parse to judge.
    [[nodiscard]] bool Excludes(std::string_view fileText, std::size_t pos) const {
        const std::size_t length = folded_.size();
        std::size_t i = 0;
        // Eight bytes at a time up to the first difference: most headers share a long start with the head.
        for (; i + 8 <= length && pos + i + 8 <= fileText.size(); i += 8) {
            std::uint64_t bytes, mask, folded;
            std::memcpy(&bytes, fileText.data() + pos + i, 8);
            std::memcpy(&mask, mask_.data() + i, 8);
            std::memcpy(&folded, folded_.data() + i, 8);
            if (const std::uint64_t differ = (bytes | mask) ^ folded) {
                if constexpr (std::endian::native == std::endian::little) {
                    i += static_cast<std::size_t>(std::countr_zero(differ)) / 8;
                }
                break;
            }
        }
        for (; i < length; ++i) {
            if (pos + i >= fileText.size()) {
                return true; // the header breaks off
            }
            const auto byte = static_cast<unsigned char>(fileText[pos + i]);
            if (static_cast<char>(byte | static_cast<unsigned char>(mask_[i])) == folded_[i]) {
                continue;
            }
            if (escaped_[i]) {
                return false; // a backslash that escapes something else
            }
            if (byte == ']' || byte == '\n') {
                return true;
            }
            return byte != '\\' && byte >= 0x20 && byte < 0x7F;
        }
        return false;
    }

private:
    void Add(char folded, char mask, bool escaped) {
        folded_.push_back(folded);
        mask_.push_back(mask);
        escaped_.push_back(escaped ? 1 : 0);
    }

    std::string folded_;         // the bytes, letters in lower case
    std::string mask_;           // 0x20 where a letter matches in either case
    std::string escaped_;        // 1 for the second byte of a doubled backslash
};

} // namespace

bool IsWineRegistryFile(std::string_view fileText) {
    LineCursor cursor{fileText};
    std::string_view first;
    return cursor.Next(first) && first == "WINE REGISTRY Version 2";
}

bool IsWin64Registry(std::string_view fileText) {
    LineCursor cursor{fileText};
    std::string_view line;
    while (cursor.Next(line)) {
        if (line.starts_with("[")) {
            return false;
        }
        if (line == "#arch=win64") {
            return true;
        }
    }
    return false;
}

std::optional<std::string> ParseKeyHeader(std::string_view line) {
    if (!line.starts_with("[")) {
        return std::nullopt;
    }
    std::size_t pos = 1;
    return ParseEscaped(line, pos, ']');
}

std::string_view RegistryKeyParent(std::string_view keyPath) {
    const std::size_t slash = keyPath.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : keyPath.substr(0, slash + 1);
}

std::vector<RegistryKey> FindSiblingKeys(std::string_view fileText, std::span<const std::string> keyPaths) {
    std::vector<std::string_view> parents;
    std::vector<RawHead> heads;
    for (const auto& keyPath : keyPaths) {
        parents.push_back(RegistryKeyParent(keyPath));
        heads.emplace_back(parents.back());
    }
    std::vector<RegistryKey> keys;
    const char* const text = fileText.data();
    const std::size_t size = fileText.size();
    std::size_t pos = 0;
    // Headers are the lines that begin with '['; elsewhere the bracket is rare, so searching for it
    // skips the values without looking at each line.
    while (pos < size) {
        const void* bracket = std::memchr(text + pos, '[', size - pos);
        if (!bracket) {
            break;
        }
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(bracket) - text);
        pos = at + 1;
        if (at > 0 && text[at - 1] != '\n') {
            continue;
        }
        bool candidate = false;
        for (const auto& head : heads) {
            candidate = candidate || !head.Excludes(fileText, at + 1);
        }
        if (!candidate) {
            continue;
        }
        LineCursor cursor{fileText, at};
        std::string_view line;
        (void)cursor.Next(line);
        pos = cursor.pos;
        auto path = ParseKeyHeader(line);
        if (!path) {
            continue;
        }
        const std::string_view parent = RegistryKeyParent(*path);
        for (const auto wanted : parents) {
            if (EqualsIgnoringCase(parent, wanted)) {
                keys.push_back({std::move(*path), std::min(cursor.pos, size)});
                break;
            }
        }
    }
    return keys;
}

RegistryString ReadKeyString(std::string_view fileText, std::size_t values, std::string_view valueName) {
    RegistryString result;
    result.lookup = RegistryLookup::ValueMissing;
    LineCursor cursor{fileText, values};
    std::string_view line;
    while (cursor.Next(line)) {
        if (line.starts_with("[")) {
            break;
        }
        std::optional<std::string> name;
        std::size_t pos = 0;
        if (line.starts_with("@=")) {
            name = std::string();
            pos = 1;
        } else if (line.starts_with("\"")) {
            pos = 1;
            name = ParseEscaped(line, pos, '"');
        }
        if (!name || pos >= line.size() || line[pos] != '=' || !EqualsIgnoringCase(*name, valueName)) {
            continue;
        }
        if (auto text = ParseStringData(line.substr(pos + 1), cursor)) {
            result.lookup = RegistryLookup::Found;
            result.text = std::move(*text);
        }
        break;
    }
    return result;
}

RegistryString FindRegistryString(std::string_view fileText, std::string_view keyPath, std::string_view valueName) {
    const std::string wanted[] = {std::string(keyPath)};
    for (const auto& key : FindSiblingKeys(fileText, wanted)) {
        if (EqualsIgnoringCase(key.path, keyPath)) {
            return ReadKeyString(fileText, key.values, valueName);
        }
    }
    return {};
}

} // namespace vantrel
