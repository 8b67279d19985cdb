// A message box that records what it was asked to show instead of showing it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launch/swap_cycle.h"
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

// One message was shown: the launch failure message, then one line that holds every one of `reasons`.
inline ::testing::AssertionResult ShowedLaunchFailure(const RecordingMessages& messages,
                                                      std::initializer_list<std::string_view> reasons = {}) {
    if (messages.shown.size() != 1) {
        return ::testing::AssertionFailure() << messages.shown.size() << " messages shown";
    }
    const std::string& text = messages.shown.front().text;
    const std::string first = std::string(kLaunchFailedMessage) + "\n";
    if (!text.starts_with(first) || text.find('\n', first.size()) != std::string::npos) {
        return ::testing::AssertionFailure() << "not the failure message and one line: " << text;
    }
    for (const auto reason : reasons) {
        if (text.find(reason) == std::string::npos) {
            return ::testing::AssertionFailure() << "no \"" << reason << "\" in: " << text;
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace vantrel::test
