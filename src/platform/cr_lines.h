// The lines of a definition file: a line ends at a CR, a LF right after that CR belongs to the line
// end, and any other LF is an ordinary character. The last line needs no line end.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantrel {

// Takes the line that starts at `pos` and moves `pos` past its line end; false when no line is left.
[[nodiscard]] inline bool NextCrLine(std::string_view text, std::size_t& pos, std::string_view& line) {
    if (pos >= text.size()) {
        return false;
    }
    const std::size_t cr = text.find('\r', pos);
    if (cr == std::string_view::npos) {
        line = text.substr(pos);
        pos = text.size();
        return true;
    }
    line = text.substr(pos, cr - pos);
    pos = cr + 1;
    if (pos < text.size() && text[pos] == '\n') {
        ++pos;
    }
    return true;
}

} // namespace vantrel
