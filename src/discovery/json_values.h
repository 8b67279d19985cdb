// Reads JSON text, the format of Heroic's configuration files, into a tree of values.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object };

    Kind kind = Kind::Null;
    bool boolean = false;
    std::string text;              // a string's text, or a number as written
    std::vector<JsonValue> items;  // an array's elements, or an object's member values
    std::vector<std::string> keys; // an object's member names, one for each of `items`

    // The object's last member of that name (JavaScript keeps the last); nullptr when there is none.
    [[nodiscard]] const JsonValue* Find(std::string_view key) const;
    // The text of the member of that name when it is a string; "" otherwise.
    [[nodiscard]] std::string_view Text(std::string_view key) const;
};

// The value the text holds (white space and a UTF-8 byte order mark around it allowed). Escapes, \u ones
// and their surrogate pairs included, become UTF-8; a lone surrogate becomes U+FFFD. nullopt for text that
// is not exactly one JSON value, or that nests arrays and objects more than 64 deep.
[[nodiscard]] std::optional<JsonValue> ParseJson(std::string_view text);

} // namespace vantrel
