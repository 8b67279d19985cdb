#include "discovery/json_values.h"

#include "platform/utf8.h"

namespace vantrel {
namespace {

// Heroic's files nest three deep; the limit bounds the recursion of reading and freeing.
constexpr int kMaxDepth = 64;

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<JsonValue> Document() {
        if (text_.starts_with("\xEF\xBB\xBF")) {
            pos_ = 3;
        }
        JsonValue value;
        if (!Value(value, 0)) {
            return std::nullopt;
        }
        SkipSpace();
        if (pos_ != text_.size()) {
            return std::nullopt;
        }
        return value;
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }

    bool Literal(std::string_view word) {
        if (text_.substr(pos_).starts_with(word)) {
            pos_ += word.size();
            return true;
        }
        return false;
    }

    bool Value(JsonValue& value, int depth) {
        SkipSpace();
        if (pos_ >= text_.size()) {
            return false;
        }
        const char c = text_[pos_];
        if (c == '{' || c == '[') {
            return depth < kMaxDepth && (c == '{' ? Object(value, depth + 1) : Array(value, depth + 1));
        }
        if (c == '"') {
            value.kind = JsonValue::Kind::String;
            return String(value.text);
        }
        if (c == 't' || c == 'f') {
            value.kind = JsonValue::Kind::Boolean;
            value.boolean = c == 't';
            return Literal(c == 't' ? "true" : "false");
        }
        if (c == 'n') {
            return Literal("null");
        }
        value.kind = JsonValue::Kind::Number;
        return Number(value.text);
    }

    // Steps over `c` when it comes next.
    bool Take(char c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool Object(JsonValue& value, int depth) {
        value.kind = JsonValue::Kind::Object;
        ++pos_;
        if (Take('}')) {
            return true;
        }
        do {
            SkipSpace();
            std::string key;
            if (pos_ >= text_.size() || text_[pos_] != '"' || !String(key) || !Take(':')) {
                return false;
            }
            value.keys.push_back(std::move(key));
            if (!Value(value.items.emplace_back(), depth)) {
                return false;
            }
        } while (Take(','));
        return Take('}');
    }

    bool Array(JsonValue& value, int depth) {
        value.kind = JsonValue::Kind::Array;
        ++pos_;
        if (Take(']')) {
            return true;
        }
        do {
            if (!Value(value.items.emplace_back(), depth)) {
                return false;
            }
        } while (Take(','));
        return Take(']');
    }

    bool Digits() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            ++pos_;
        }
        return pos_ > start;
    }

    bool Number(std::string& out) {
        const std::size_t start = pos_;
        if (text_[pos_] == '-') {
            ++pos_;
        }
        if (pos_ < text_.size() && text_[pos_] == '0') {
            ++pos_;
        } else if (!Digits()) {
            return false;
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!Digits()) {
                return false;
            }
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
                ++pos_;
            }
            if (!Digits()) {
                return false;
            }
        }
        out = text_.substr(start, pos_ - start);
        return true;
    }

    // Four hex digits after "\u"; nullopt when they are not there.
    std::optional<char32_t> Hex4() {
        if (text_.size() - pos_ < 4) {
            return std::nullopt;
        }
        char32_t cp = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            int digit = -1;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                digit = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                digit = c - 'A' + 10;
            }
            if (digit < 0) {
                return std::nullopt;
            }
            cp = cp * 16 + static_cast<char32_t>(digit);
        }
        return cp;
    }

    bool String(std::string& out) {
        ++pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) {
                return false;
            }
            const char e = text_[pos_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::optional<char32_t> cp = Hex4();
                if (!cp) {
                    return false;
                }
                if (*cp >= 0xD800 && *cp <= 0xDBFF && text_.substr(pos_).starts_with("\\u")) {
                    const std::size_t high = pos_;
                    pos_ += 2;
                    const std::optional<char32_t> low = Hex4();
                    if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
                        cp = 0x10000 + ((*cp - 0xD800) << 10) + (*low - 0xDC00);
                    } else {
                        pos_ = high; // not its pair: read on its own
                    }
                }
                AppendUtf8(*cp >= 0xD800 && *cp <= 0xDFFF ? 0xFFFD : *cp, out);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
    if (kind != Kind::Object) {
        return nullptr;
    }
    for (std::size_t i = keys.size(); i > 0; --i) {
        if (keys[i - 1] == key) {
            return &items[i - 1];
        }
    }
    return nullptr;
}

std::string_view JsonValue::Text(std::string_view key) const {
    const JsonValue* member = Find(key);
    return member != nullptr && member->kind == Kind::String ? std::string_view(member->text)
                                                             : std::string_view();
}

std::optional<JsonValue> ParseJson(std::string_view text) {
    return Parser(text).Document();
}

} // namespace vantrel
