#include "discovery/key_values.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/case_fold.h"

namespace vantrel {
namespace {

// Steam's files nest three deep; deeper blocks are passed over, so that neither reading nor freeing
// the entries recurses without bound.
constexpr std::size_t kMaxDepth = 32;

enum class TokenKind { Text, Open, Close, Condition, End };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
};

class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : text_(text) {}

    Token Next() {
        SkipBlanksAndComments();
        if (pos_ >= text_.size()) {
            return {};
        }
        const char c = text_[pos_];
        if (c == '{' || c == '}') {
            ++pos_;
            return {c == '{' ? TokenKind::Open : TokenKind::Close, {}};
        }
        if (c == '"') {
            ++pos_;
            return Quoted();
        }
        Token token{c == '[' ? TokenKind::Condition : TokenKind::Text, {}};
        while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != '{' && text_[pos_] != '}' &&
               text_[pos_] != '"') {
            token.text.push_back(text_[pos_++]);
            if (token.kind == TokenKind::Condition && token.text.back() == ']') {
                break;
            }
        }
        return token;
    }

private:
    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

    void SkipBlanksAndComments() {
        while (pos_ < text_.size()) {
            if (IsBlank(text_[pos_])) {
                ++pos_;
            } else if (text_.substr(pos_).starts_with("//")) {
                const std::size_t end = text_.find('\n', pos_);
                pos_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else {
                break;
            }
        }
    }

    // A quoted token broken off by the end of the text counts as the end: its entry is incomplete.
    Token Quoted() {
        Token token{TokenKind::Text, {}};
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') {
                return token;
            }
            if (c == '\\' && pos_ < text_.size()) {
                const char e = text_[pos_++];
                switch (e) {
                case 'n': token.text.push_back('\n'); break;
                case 't': token.text.push_back('\t'); break;
                case '\\': token.text.push_back('\\'); break;
                case '"': token.text.push_back('"'); break;
                default: // not an escape Steam writes: kept as it stands
                    token.text.push_back('\\');
                    token.text.push_back(e);
                    break;
                }
                continue;
            }
            token.text.push_back(c);
        }
        return {};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

} // namespace

const KeyValue* KeyValue::Find(std::string_view childKey) const {
    for (const auto& child : children) {
        if (EqualsIgnoringCase(child.key, childKey)) {
            return &child;
        }
    }
    return nullptr;
}

std::string_view KeyValue::Text(std::string_view childKey) const {
    for (const auto& child : children) {
        if (!child.isBlock && EqualsIgnoringCase(child.key, childKey)) {
            return child.value;
        }
    }
    return {};
}

const KeyValue* FindBlock(const std::vector<KeyValue>& entries, std::string_view key) {
    for (const auto& entry : entries) {
        if (entry.isBlock && EqualsIgnoringCase(entry.key, key)) {
            return &entry;
        }
    }
    return nullptr;
}

bool IsDecimalNumber(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<KeyValue> ParseKeyValues(std::string_view text) {
    Tokenizer tokens(text);
    // The blocks still open, the top level first; kept on a stack of our own, so that deep nesting
    // needs no recursion.
    std::vector<KeyValue> open(1);
    const auto close = [&open] {
        KeyValue done = std::move(open.back());
        open.pop_back();
        open.back().children.push_back(std::move(done));
    };
    std::optional<Token> pending;
    const auto next = [&] {
        Token token = pending ? std::move(*pending) : tokens.Next();
        pending.reset();
        while (token.kind == TokenKind::Condition) {
            token = tokens.Next();
        }
        return token;
    };
    std::size_t skipped = 0; // how deep inside blocks passed over
    for (;;) {
        Token key = next();
        if (key.kind == TokenKind::End) {
            break;
        }
        if (skipped > 0) {
            skipped += key.kind == TokenKind::Open ? 1 : 0;
            skipped -= key.kind == TokenKind::Close ? 1 : 0;
            continue;
        }
        if (key.kind == TokenKind::Open && open.size() > kMaxDepth) {
            skipped = 1;
            continue;
        }
        if (key.kind == TokenKind::Close) {
            if (open.size() > 1) {
                close();
            }
            continue; // a stray brace at the top level is passed over
        }
        if (key.kind == TokenKind::Open) {
            // A block without a key: read into a nameless entry rather than lost track of.
            open.push_back({{}, {}, {}, true});
            continue;
        }
        Token value = next();
        if (value.kind == TokenKind::Text) {
            open.back().children.push_back({std::move(key.text), std::move(value.text), {}, false});
        } else if (value.kind == TokenKind::Open && open.size() > kMaxDepth) {
            skipped = 1;
        } else if (value.kind == TokenKind::Open) {
            open.push_back({std::move(key.text), {}, {}, true});
        } else if (value.kind == TokenKind::Close) {
            pending = std::move(value); // a key without a value: dropped, its block still closes
        } else {
            break;
        }
    }
    while (open.size() > 1) {
        close();
    }
    return std::move(open.front().children);
}

} // namespace vantrel
