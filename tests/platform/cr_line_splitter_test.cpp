#include "platform/cr_line_splitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace vantrel {
namespace {

std::vector<std::string> Split(const std::string& bytes, std::size_t piece, long long failAt = -1) {
    std::size_t pos = 0;
    CrLineSplitter splitter([&](char* buffer, std::size_t capacity) -> long long {
        if (failAt >= 0 && pos >= static_cast<std::size_t>(failAt)) {
            return -1;
        }
        const std::size_t count = std::min({capacity, piece, bytes.size() - pos});
        std::memcpy(buffer, bytes.data() + pos, count);
        pos += count;
        return static_cast<long long>(count);
    });
    std::vector<std::string> lines;
    std::string line;
    while (splitter.Next(line)) {
        lines.push_back(line);
    }
    return lines;
}

TEST(CrLineSplitter, EndsLinesAtCarriageReturns) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\r", {"a", "b"}},
        {"a\r\r\nb", {"a", "", "b"}},
        {"a\nb\nc", {"a\nb\nc"}},           // a LF alone is part of the line
        {"a\r\n\nb", {"a", "\nb"}},         // only the LF right after the CR belongs to the line end
        {"\r\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {std::string("x\0y\r\n", 5), {std::string("x\0y", 3)}},
    };
    // Every piece size, so that each line end also straddles two reads.
    for (std::size_t piece = 1; piece <= 8; ++piece) {
        for (const auto& c : cases) {
            EXPECT_EQ(Split(c.bytes, piece), c.lines) << "piece " << piece << " input " << c.bytes;
        }
    }
}

TEST(CrLineSplitter, ReadErrorEndsTheStreamWithoutAPartialLine) {
    EXPECT_EQ(Split("one\r\ntwo\r\nthree", 1, 8), (std::vector<std::string>{"one"}));
    EXPECT_EQ(Split("one\r\ntwo", 100, 0), (std::vector<std::string>{}));
}

} // namespace
} // namespace vantrel
