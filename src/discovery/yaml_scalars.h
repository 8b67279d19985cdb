// Reads the block-style YAML that PyYAML writes, the format of Lutris's and Bottles' configuration
// files: the scalars of nested block mappings, each with the keys that lead to it.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct YamlScalar {
    std::vector<std::string> keys; // from the top-level key down to the scalar's own
    std::string value;
    bool quoted = false; // a quoted scalar is text; a plain one may also be a null, a boolean or a number
};

// The scalars of the document's block mappings, in order. Plain, single- and double-quoted scalars are
// read with their escapes and folded lines (PyYAML wraps long values), "#" comments and CRLF are
// understood. Sequences, flow collections, block scalars, aliases, complex keys and mappings nested more
// than 32 deep are passed over whole. Never fails: a line that cannot be read is skipped, and a scalar
// broken off (an unclosed quote, a continuation line indented no deeper than its key) is left out.
[[nodiscard]] std::vector<YamlScalar> ReadYamlScalars(std::string_view text);

// The last scalar at that path of keys (PyYAML keeps the last of repeated keys); nullptr when none is.
[[nodiscard]] const YamlScalar* FindYamlScalar(const std::vector<YamlScalar>& scalars,
                                               std::initializer_list<std::string_view> keys);

// The scalar's text; "" for a missing scalar or a plain null ("null", "~" or nothing).
[[nodiscard]] std::string_view YamlText(const YamlScalar* scalar);

// Python's truth of the value PyYAML loads: false for a missing scalar, a null, a false boolean (false,
// no, off in the spellings YAML 1.1 allows), a plain 0 or an empty string; true otherwise.
[[nodiscard]] bool YamlTruth(const YamlScalar* scalar);

} // namespace vantrel
