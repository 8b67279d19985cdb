// A message box that records what it was asked to show instead of showing it.
#pragma once

#include <string>
#include <vector>

#include "platform/messages.h"

namespace vantrel::test {

class RecordingMessages final : public Messages {
public:
    struct Shown {
        std::string text;
        MessageIcon icon;
        friend bool operator==(const Shown&, const Shown&) = default;
    };

    void Show(std::string_view text, MessageIcon icon) override;

    std::vector<Shown> shown;
};

} // namespace vantrel::test
