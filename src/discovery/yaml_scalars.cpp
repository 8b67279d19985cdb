#include "discovery/yaml_scalars.h"

#include "platform/utf8.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace vantrel {
namespace {

// Lutris and Bottles nest three or four deep; deeper mappings are passed over.
constexpr std::size_t kMaxDepth = 32;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsBreak(char c) {
    return c == '\n' || c == '\r';
}

// "-" or "?" starting a line, as a sequence entry or a complex key does.
bool IsIndicatorLine(std::string_view rest, char indicator) {
    return rest.starts_with(indicator) && (rest.size() == 1 || IsBlank(rest[1]));
}

bool IsMarker(std::string_view rest, std::string_view marker) {
    return rest.starts_with(marker) && (rest.size() == marker.size() || IsBlank(rest[marker.size()]));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Appends what the escape after a backslash stands for; the position after it. An escape YAML does not
// know is kept as written.
std::size_t AppendEscape(std::string_view text, std::size_t pos, std::string& out) {
    // The escapes that stand for one character.
    static constexpr std::pair<char, char32_t> kSingle[] = {
        {'0', 0},    {'a', 0x07},  {'b', 0x08}, {'t', 0x09}, {'\t', 0x09},  {'n', 0x0A},
        {'v', 0x0B}, {'f', 0x0C},  {'r', 0x0D}, {'e', 0x1B}, {' ', ' '},    {'"', '"'},
        {'/', '/'},  {'\\', '\\'}, {'N', 0x85}, {'_', 0xA0}, {'L', 0x2028}, {'P', 0x2029},
    };
    const char e = text[pos];
    for (const auto& [letter, cp] : kSingle) {
        if (e == letter) {
            AppendUtf8(cp, out);
            return pos + 1;
        }
    }
    std::size_t digits = e == 'x' ? 2 : e == 'u' ? 4 : e == 'U' ? 8 : 0;
    char32_t cp = 0;
    for (std::size_t i = 1; digits > 0 && i <= digits; ++i) {
        const int digit = pos + i < text.size() ? HexDigit(text[pos + i]) : -1;
        if (digit < 0) {
            digits = 0;
            break;
        }
        cp = cp * 16 + static_cast<char32_t>(digit);
    }
    if (digits == 0) {
        out += '\\';
        out += e;
        return pos + 1;
    }
    // PyYAML escapes by code point: \xFC is U+00FC, not a byte.
    AppendUtf8(cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0xFFFD : cp, out);
    return pos + 1 + digits;
}

// A physical line: [begin, end) without its line break; `next` is where the following line starts.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

// Where a flow scalar goes on after a line break in it.
struct Continuation {
    std::size_t emptyLines = 0; // lines of nothing but blanks between the break and the content
    std::size_t lineStart = 0;  // start of the line the content is on
    std::size_t content = 0;    // its first character that is not blank; the text's size at the end
    std::size_t indent = 0;     // spaces that start that line
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {
        if (text_.starts_with("\xEF\xBB\xBF")) {
            text_.remove_prefix(3);
        }
    }

    std::vector<YamlScalar> Read();

private:
    [[nodiscard]] Line LineAt(std::size_t pos) const {
        Line line{pos, pos, pos};
        while (line.end < text_.size() && !IsBreak(text_[line.end])) {
            ++line.end;
        }
        line.next = line.end < text_.size() ? AfterBreak(line.end) : line.end;
        return line;
    }

    [[nodiscard]] std::size_t AfterBreak(std::size_t pos) const {
        return text_[pos] == '\r' && pos + 1 < text_.size() && text_[pos + 1] == '\n' ? pos + 2 : pos + 1;
    }

    // `pos` is at a line break.
    [[nodiscard]] Continuation ContinueAfter(std::size_t pos) const {
        Continuation next;
        pos = AfterBreak(pos);
        for (;;) {
            next.lineStart = pos;
            next.indent = 0;
            while (pos < text_.size() && text_[pos] == ' ') {
                ++pos;
                ++next.indent;
            }
            while (pos < text_.size() && IsBlank(text_[pos])) {
                ++pos;
            }
            if (pos < text_.size() && IsBreak(text_[pos])) {
                ++next.emptyLines;
                pos = AfterBreak(pos);
                continue;
            }
            next.content = pos;
            return next;
        }
    }

    // Where a comment starts in [pos, end): a "#" after a blank; `end` when there is none.
    [[nodiscard]] std::size_t CommentStart(std::size_t pos, std::size_t end) const {
        for (std::size_t i = pos; i < end; ++i) {
            if (text_[i] == '#' && i > pos && IsBlank(text_[i - 1])) {
                return i;
            }
        }
        return end;
    }

    [[nodiscard]] std::string Trimmed(std::size_t begin, std::size_t end) const {
        while (end > begin && IsBlank(text_[end - 1])) {
            --end;
        }
        return std::string(text_.substr(begin, end - begin));
    }

    std::optional<std::string> Key(std::size_t& pos, std::size_t end) const;
    std::optional<std::string> Quoted(std::size_t& pos, std::size_t keyIndent, bool oneLine) const;
    std::string Plain(std::size_t pos, const Line& line, std::size_t keyIndent, std::size_t& next) const;
    [[nodiscard]] std::size_t SkipFlow(std::size_t pos, std::size_t keyIndent) const;

    std::string_view text_;
};

// A key and its ":" on the line [pos, end); `pos` moves past the colon.
std::optional<std::string> Reader::Key(std::size_t& pos, std::size_t end) const {
    std::size_t p = pos;
    std::string key;
    if (text_[p] == '"' || text_[p] == '\'') {
        std::optional<std::string> quoted = Quoted(p, 0, true);
        if (!quoted) {
            return std::nullopt;
        }
        key = std::move(*quoted);
        while (p < end && IsBlank(text_[p])) {
            ++p;
        }
        if (p >= end || text_[p] != ':' || (p + 1 < end && !IsBlank(text_[p + 1]))) {
            return std::nullopt;
        }
        ++p;
    } else {
        // A plain key ends at the first colon followed by a blank or the line's end.
        std::size_t colon = p;
        for (;; ++colon) {
            if (colon >= end || (text_[colon] == '#' && colon > p && IsBlank(text_[colon - 1]))) {
                return std::nullopt;
            }
            if (text_[colon] == ':' && (colon + 1 >= end || IsBlank(text_[colon + 1]))) {
                break;
            }
        }
        key = Trimmed(p, colon);
        if (key.empty()) {
            return std::nullopt;
        }
        p = colon + 1;
    }
    pos = p;
    return key;
}

// The quoted scalar whose opening quote is at `pos`; `pos` moves past the closing quote. Broken off, it is
// nullopt and `pos` is where reading goes on.
std::optional<std::string> Reader::Quoted(std::size_t& pos, std::size_t keyIndent, bool oneLine) const {
    const char quote = text_[pos];
    std::size_t p = pos + 1;
    std::string out;
    std::size_t kept = 0; // blanks before a line break are dropped, but not those an escape wrote
    while (p < text_.size()) {
        const char c = text_[p];
        const bool escapedBreak = quote == '"' && c == '\\' && p + 1 < text_.size() && IsBreak(text_[p + 1]);
        if (IsBreak(c) || escapedBreak) {
            if (oneLine) {
                break;
            }
            if (!escapedBreak) {
                while (out.size() > kept && IsBlank(out.back())) {
                    out.pop_back();
                }
            }
            const Continuation next = ContinueAfter(escapedBreak ? p + 1 : p);
            if (next.content >= text_.size() || next.indent <= keyIndent) {
                pos = next.lineStart;
                return std::nullopt;
            }
            // A single break folds to a space, empty lines stand for themselves; an escaped break joins.
            if (next.emptyLines == 0 && !escapedBreak) {
                out += ' ';
            }
            out.append(next.emptyLines, '\n');
            kept = out.size();
            p = next.content;
            continue;
        }
        if (c == quote) {
            if (quote == '\'' && p + 1 < text_.size() && text_[p + 1] == '\'') {
                out += '\'';
                p += 2;
                continue;
            }
            pos = p + 1;
            return out;
        }
        if (quote == '"' && c == '\\' && p + 1 < text_.size()) {
            p = AppendEscape(text_, p + 1, out);
            kept = out.size();
            continue;
        }
        out += c;
        ++p;
    }
    pos = p;
    return std::nullopt;
}

// A plain scalar starting at `pos` on `line`, with the lines that continue it (those indented deeper than
// its key); `next` is where the line after it starts.
std::string Reader::Plain(std::size_t pos, const Line& line, std::size_t keyIndent, std::size_t& next) const {
    std::size_t stop = CommentStart(pos, line.end);
    std::string out = Trimmed(pos, stop);
    next = line.next;
    std::size_t lineEnd = line.end;
    while (stop == lineEnd && lineEnd < text_.size()) {
        const Continuation more = ContinueAfter(lineEnd);
        if (more.content >= text_.size() || more.indent <= keyIndent || text_[more.content] == '#') {
            break;
        }
        const Line moreLine = LineAt(more.lineStart);
        stop = CommentStart(more.content, moreLine.end);
        if (more.emptyLines == 0) {
            out += ' ';
        }
        out.append(more.emptyLines, '\n');
        out += Trimmed(more.content, stop);
        next = moreLine.next;
        lineEnd = moreLine.end;
    }
    return out;
}

// Passes over the flow collection opening at `pos`; where reading goes on.
std::size_t Reader::SkipFlow(std::size_t pos, std::size_t keyIndent) const {
    std::size_t depth = 0;
    std::size_t p = pos;
    while (p < text_.size()) {
        const char c = text_[p];
        if (IsBreak(c)) {
            const Continuation next = ContinueAfter(p);
            if (next.content >= text_.size() || next.indent <= keyIndent) {
                return next.lineStart;
            }
            p = next.content;
        } else if (c == '#' && p > pos && IsBlank(text_[p - 1])) {
            p = LineAt(p).end;
        } else if (c == '"' || c == '\'') {
            if (!Quoted(p, keyIndent, false)) {
                return p;
            }
        } else {
            if (c == '[' || c == '{') {
                ++depth;
            } else if ((c == ']' || c == '}') && depth > 0 && --depth == 0) {
                return LineAt(p).next;
            }
            ++p;
        }
    }
    return text_.size();
}

std::vector<YamlScalar> Reader::Read() {
    std::vector<YamlScalar> scalars;
    std::vector<std::pair<std::size_t, std::string>> open; // indentation and key of the mappings read into
    std::optional<std::size_t> skipDeeper;                 // lines indented deeper than this are passed over,
    bool skipEntries = false; // and for a sequence its "-" entries at that indentation too
    bool started = false;
    std::size_t pos = 0;
    while (pos < text_.size()) {
        const Line line = LineAt(pos);
        pos = line.next;
        std::size_t indent = 0;
        while (line.begin + indent < line.end && text_[line.begin + indent] == ' ') {
            ++indent;
        }
        std::size_t p = line.begin + indent;
        std::size_t first = p;
        while (first < line.end && IsBlank(text_[first])) {
            ++first;
        }
        if (first == line.end || text_[first] == '#') {
            continue;
        }
        if (first != p) {
            continue; // a tab in the indentation, which YAML forbids
        }
        const std::string_view rest = text_.substr(p, line.end - p);
        if (indent == 0 && (IsMarker(rest, "---") || IsMarker(rest, "..."))) {
            if (rest.starts_with("...") || started) {
                break; // the first document is the configuration
            }
            started = true;
            continue;
        }
        if (skipDeeper) {
            if (indent > *skipDeeper ||
                (skipEntries && indent == *skipDeeper && IsIndicatorLine(rest, '-'))) {
                continue;
            }
            skipDeeper.reset();
        }
        while (!open.empty() && open.back().first >= indent) {
            open.pop_back();
        }
        if (IsIndicatorLine(rest, '-') || IsIndicatorLine(rest, '?')) {
            skipDeeper = indent;
            skipEntries = true;
            continue;
        }
        std::optional<std::string> key = Key(p, line.end);
        if (!key) {
            continue;
        }
        started = true;
        while (p < line.end && IsBlank(text_[p])) {
            ++p;
        }
        // Anchors and tags name or type the value; passed over.
        while (p < line.end && (text_[p] == '&' || text_[p] == '!')) {
            while (p < line.end && !IsBlank(text_[p])) {
                ++p;
            }
            while (p < line.end && IsBlank(text_[p])) {
                ++p;
            }
        }
        if (p == line.end || text_[p] == '#') {
            // A nested mapping or sequence follows, or nothing (a null).
            if (open.size() < kMaxDepth) {
                open.emplace_back(indent, std::move(*key));
            } else {
                skipDeeper = indent;
                skipEntries = true;
            }
            continue;
        }
        const char c = text_[p];
        if (c == '|' || c == '>') {
            skipDeeper = indent;
            skipEntries = false;
            continue;
        }
        if (c == '*') {
            continue; // an alias: the value is elsewhere
        }
        if (c == '[' || c == '{') {
            pos = SkipFlow(p, indent);
            continue;
        }
        YamlScalar scalar;
        if (c == '"' || c == '\'') {
            std::optional<std::string> value = Quoted(p, indent, false);
            if (!value) {
                pos = p;
                continue;
            }
            scalar.value = std::move(*value);
            scalar.quoted = true;
            pos = LineAt(p).next; // what follows the closing quote is passed over
        } else {
            scalar.value = Plain(p, line, indent, pos);
        }
        scalar.keys.reserve(open.size() + 1);
        for (const auto& entry : open) {
            scalar.keys.push_back(entry.second);
        }
        scalar.keys.push_back(std::move(*key));
        scalars.push_back(std::move(scalar));
    }
    return scalars;
}

bool IsPlainNull(const YamlScalar& scalar) {
    const std::string_view v = scalar.value;
    return !scalar.quoted && (v.empty() || v == "~" || v == "null" || v == "Null" || v == "NULL");
}

} // namespace

std::vector<YamlScalar> ReadYamlScalars(std::string_view text) {
    return Reader(text).Read();
}

const YamlScalar* FindYamlScalar(const std::vector<YamlScalar>& scalars,
                                 std::initializer_list<std::string_view> keys) {
    const auto match = std::find_if(scalars.rbegin(), scalars.rend(), [&](const YamlScalar& scalar) {
        return std::equal(scalar.keys.begin(), scalar.keys.end(), keys.begin(), keys.end());
    });
    return match == scalars.rend() ? nullptr : &*match;
}

std::string_view YamlText(const YamlScalar* scalar) {
    return scalar == nullptr || IsPlainNull(*scalar) ? std::string_view() : std::string_view(scalar->value);
}

bool YamlTruth(const YamlScalar* scalar) {
    if (scalar == nullptr || IsPlainNull(*scalar)) {
        return false;
    }
    std::string_view v = scalar->value;
    if (scalar->quoted) {
        return !v.empty();
    }
    for (std::string_view no : {"false", "False", "FALSE", "no", "No", "NO", "off", "Off", "OFF"}) {
        if (v == no) {
            return false;
        }
    }
    // A number that is zero, as PyYAML reads "0", "-0.0" or "0_0".
    if (v.starts_with('-') || v.starts_with('+')) {
        v.remove_prefix(1);
    }
    const bool zero = v.find('0') != std::string_view::npos && std::all_of(v.begin(), v.end(), [](char c) {
                          return c == '0' || c == '.' || c == '_';
                      });
    return !zero;
}

} // namespace vantrel
