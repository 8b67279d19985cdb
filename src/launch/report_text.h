// How the launch and its recovery word what they tell the user.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// A path or name in quotes, as every message shows one.
[[nodiscard]] inline std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Several notes as one line.
[[nodiscard]] inline std::string Joined(const std::vector<std::string>& notes) {
    std::string text;
    for (const auto& note : notes) {
        text += (text.empty() ? "" : "; ") + note;
    }
    return text;
}

} // namespace vantrel
