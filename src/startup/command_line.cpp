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

std::optional<SteamLaunch> SteamLaunchFromArguments(const std::vector<std::string>& arguments) {
    if (arguments.size() < 4 || arguments[0] != kPlaySwitch || arguments[2] != "--") {
        return std::nullopt;
    }
    for (const auto& argument : arguments) {
        if (AsksForSilentMode(argument)) {
            return std::nullopt;
        }
    }
    return SteamLaunch{arguments[1], std::vector<std::string>(arguments.begin() + 3, arguments.end())};
}

std::string ProgramOfSteamCommand(const std::vector<std::string>& command) {
    // Steam's command may wrap Proton in its own programs (its reaper, the runtime's entry point).
    for (std::size_t i = 1; i + 1 < command.size(); ++i) {
        const std::string& before = command[i - 1];
        const std::size_t slash = before.find_last_of('/');
        const std::string_view name = slash == std::string::npos ? std::string_view(before)
                                                                 : std::string_view(before).substr(slash + 1);
        if (name == "proton" && (command[i] == "waitforexitandrun" || command[i] == "run")) {
            return command[i + 1];
        }
    }
    return command.empty() ? std::string() : command.front();
}

bool AsksToSetAsideJournal(std::string_view argumentText) {
    while (!argumentText.empty() && argumentText.back() == ' ') {
        argumentText.remove_suffix(1);
    }
    return argumentText == kSetAsideJournalSwitch;
}

} // namespace vantrel
