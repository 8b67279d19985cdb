// Messages shown as modal Qt message boxes.
#pragma once

#include "platform/messages.h"

namespace vantrel {

class QtMessages final : public Messages {
public:
    void Show(std::string_view text, MessageIcon icon) override;
};

} // namespace vantrel
