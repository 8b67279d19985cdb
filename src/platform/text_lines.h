// A file's whole text, already in UTF-8, handed out line by line.
#pragma once

#include <string>

#include "platform/cr_lines.h"
#include "platform/text_files.h"

namespace vantrel {

class TextLines final : public TextFileReader {
public:
    explicit TextLines(std::string text) : text_(std::move(text)) {}

    bool NextLine(std::string_view& line) override { return NextCrLine(text_, pos_, line); }

private:
    std::string text_;
    std::size_t pos_ = 0;
};

} // namespace vantrel
