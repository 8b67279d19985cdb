#include "platform/messages.h"

#include <cstdio>
#include <string>

namespace vantrel {

void StderrMessages::Show(std::string_view text, MessageIcon) {
    const std::string line = "Vantrel: " + std::string(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace vantrel
