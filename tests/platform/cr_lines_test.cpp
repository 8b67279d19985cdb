#include "platform/cr_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vantrel {
namespace {

std::vector<std::string> Split(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    std::string_view line;
    while (NextCrLine(text, pos, line)) {
        lines.emplace_back(line);
    }
    return lines;
}

TEST(CrLines, EndLinesAtCarriageReturns) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\nb\nc", {"a\nb\nc"}},   // a LF alone is part of the line
        {"a\r\n\nb", {"a", "\nb"}}, // only the LF right after the CR belongs to the line end
        {"\n", {"\n"}},
        {"\r\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {std::string("x\0y\r\n", 5), {std::string("x\0y", 3)}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Split(c.text), c.lines) << c.text;
    }
}

} // namespace
} // namespace vantrel
