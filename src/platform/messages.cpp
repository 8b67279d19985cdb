#include "platform/messages.h"

#include <cstdio>
#include <string>

namespace vantrel {

void StderrMessages::Show(std::string_view text, MessageIcon) {
    std::string line = "Vantrel: ";
    for (const char c : text) {
        line += c;
        if (c == '\n') {
            line += "Vantrel: ";
        }
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace vantrel
