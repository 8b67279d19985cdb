// Splits a byte stream into the lines of a definition file: a line ends at a CR, a LF right after
// that CR belongs to the line end, and any other LF is an ordinary character.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vantrel {

class CrLineSplitter {
public:
    // Fills up to `capacity` bytes; returns how many (0 at the end), or a negative number on an error.
    using Source = std::function<long long(char* buffer, std::size_t capacity)>;

    explicit CrLineSplitter(Source source) : source_(std::move(source)) {}

    // The next line's bytes without its line end; false at the end of the stream or after an error.
    [[nodiscard]] bool Next(std::string& line);

private:
    bool Refill();

    Source source_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool skipLf_ = false;
    bool finished_ = false;
    bool failed_ = false;
};

} // namespace vantrel
