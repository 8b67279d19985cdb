// The modal message box: the only way the program tells the user about a failure.
#pragma once

#include <string_view>

namespace vantrel {

enum class MessageIcon { None, Information };

class Messages {
public:
    Messages() = default;
    Messages(const Messages&) = delete;
    Messages& operator=(const Messages&) = delete;
    virtual ~Messages() = default;

    // Shows `text` with an OK button and the caption "Vantrel"; returns when the user dismissed it.
    virtual void Show(std::string_view text, MessageIcon icon) = 0;
};

// Writes each line of a message as "Vantrel: <line>" to standard error; for scripts and tests.
class StderrMessages final : public Messages {
public:
    void Show(std::string_view text, MessageIcon icon) override;
};

} // namespace vantrel
