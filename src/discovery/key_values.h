// Reads Valve's KeyValues text, the format of Steam's libraryfolders.vdf and appmanifest_<id>.acf files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// One entry: a key with a text value, or a key with a block of entries.
struct KeyValue {
    std::string key;
    std::string value; // empty for a block
    std::vector<KeyValue> children;
    bool isBlock = false;

    // The first child of that key (letter case ignored, as Steam does); nullptr when there is none.
    [[nodiscard]] const KeyValue* Find(std::string_view childKey) const;
    // The value of the first child of that key that has one; "" when there is none.
    [[nodiscard]] std::string_view Text(std::string_view childKey) const;
};

// The first of `entries` that is a block of that key (letter case ignored); nullptr when there is none.
[[nodiscard]] const KeyValue* FindBlock(const std::vector<KeyValue>& entries, std::string_view key);

// True for a non-empty run of decimal digits, as Steam writes app ids and numbers its entries.
[[nodiscard]] bool IsDecimalNumber(std::string_view text);

// The top-level entries of the text. Quoted and bare tokens, the escapes \n \t \\ \", "//" comments and
// CRLF are understood; a condition such as [$WIN32] is dropped with the entry kept, as its truth cannot be
// known here. Blocks nested more than 32 deep are left out. Never fails: what comes after a fault (an unclosed quote or block, a stray brace) is left
// out or closed, and what came before is kept.
[[nodiscard]] std::vector<KeyValue> ParseKeyValues(std::string_view text);

} // namespace vantrel
