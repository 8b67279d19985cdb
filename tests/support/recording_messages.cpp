#include "support/recording_messages.h"

namespace vantrel::test {

void RecordingMessages::Show(std::string_view text, MessageIcon icon) {
    shown.push_back({std::string(text), icon});
}

} // namespace vantrel::test
