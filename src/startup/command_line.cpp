#include "startup/command_line.h"

#include "mods/mod_catalogue.h"
#include "platform/utf8.h"

namespace vantrel {

bool AsksForSilentMode(std::string_view argumentText) {
    std::string upper(argumentText);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper.find(kSilentSwitch) != std::string::npos;
}

std::string SilentModFileFromCommandLine(std::string_view definitionFolder, std::string_view argumentText) {
    if (!AsksForSilentMode(argumentText)) {
        return {};
    }
    const std::string_view name = argumentText.substr(Utf8Offset(argumentText, kSilentSwitch.size() + 1));
    return std::string(definitionFolder) + "\\" + std::string(name) + std::string(kDefinitionExtension);
}

bool AsksToSetAsideJournal(std::string_view argumentText) {
    while (!argumentText.empty() && argumentText.back() == ' ') {
        argumentText.remove_suffix(1);
    }
    return argumentText == kSetAsideJournalSwitch;
}

} // namespace vantrel
