// A file's whole text, already in UTF-8, handed out line by line.
#pragma once

#include <string>

#include "platform/cr_lines.h"
#include "platform/text_files.h"

namespace vantrel {

class TextLines final : public TextFileReader {
public:
    explicit TextLines(std::string text) : text_(std::move(text)) {}

    bool ReadLine(std::string& line) override {
        std::string_view view;
        if (!NextCrLine(text_, pos_, view)) {
            return false;
        }
        line.assign(view);
        return true;
    }

private:
    std::string text_;
    std::size_t pos_ = 0;
};

} // namespace vantrel
