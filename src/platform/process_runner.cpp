#include "platform/process_runner.h"

#include <cmath>
#include <cstdlib>

#include "platform/case_fold.h"

namespace vantrel {
namespace {

bool HasExtension(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return name.find('.') != std::string_view::npos;
}

} // namespace

CommandLineParts SplitCommandLine(std::string_view line) {
    if (line.starts_with('"')) {
        const std::size_t close = line.find('"', 1);
        if (close == std::string_view::npos) {
            return {std::string(line.substr(1)), {}};
        }
        return {std::string(line.substr(1, close - 1)), std::string(line.substr(close + 1))};
    }
    // The games' folders hold blanks ("C:\Program Files\EA Games\..."): the program ends at the first
    // ".exe" that ends a word, so that no shorter beginning of the line (C:\Program.exe) is ever run.
    for (std::size_t dot = line.find('.'); dot != std::string_view::npos; dot = line.find('.', dot + 1)) {
        const std::size_t end = dot + 4;
        if (end <= line.size() && EqualsIgnoringCase(line.substr(dot, 4), ".exe") &&
            (end == line.size() || line[end] == ' ')) {
            return {std::string(line.substr(0, end)), std::string(line.substr(end))};
        }
    }
    const std::size_t blank = std::min(line.find(' '), line.size());
    std::string program(line.substr(0, blank));
    if (!program.empty() && !HasExtension(program)) {
        program += ".exe";
    }
    return {std::move(program), std::string(line.substr(blank))};
}

std::chrono::milliseconds GameStartWait() {
    constexpr std::chrono::milliseconds kDefault{60000};
    const char* setting = std::getenv("VANTREL_GAME_START_WAIT");
    if (!setting || !*setting) {
        return kDefault;
    }
    char* end = nullptr;
    const double seconds = std::strtod(setting, &end);
    if (*end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 3600) {
        return kDefault;
    }
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

} // namespace vantrel
