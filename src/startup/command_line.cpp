#include "startup/command_line.h"

#include <algorithm>

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

std::optional<PlayArguments> PlayFromArguments(const std::vector<std::string>& arguments) {
    if (arguments.size() < 2 || arguments[0] != kPlaySwitch || (arguments.size() > 2 && arguments[2] == "--")) {
        return std::nullopt;
    }
    for (const auto& argument : arguments) {
        if (AsksForSilentMode(argument)) {
            return std::nullopt;
        }
    }
    PlayArguments play;
    const auto refuse = [](std::string why) {
        PlayArguments refused;
        refused.error = std::move(why);
        return refused;
    };
    play.modName = arguments[1];
    for (std::size_t i = 2; i < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        if (option != "--game" && option != "--switches") {
            return refuse("unknown option " + option);
        }
        if (i + 1 == arguments.size()) {
            return refuse(option + " needs a value");
        }
        std::string& value = option == "--game" ? play.game : play.switches;
        if (!value.empty()) {
            return refuse(option + " is given twice");
        }
        value = arguments[i + 1];
    }
    if (play.game != "generals" && play.game != "zerohour") {
        return refuse(play.game.empty() ? "--game is needed: generals or zerohour"
                                        : "unknown game " + play.game + "; --game takes generals or zerohour");
    }
    // Only the main window's options: a shortcut hands the game nothing else.
    std::string switches;
    for (std::size_t start = 0; start < play.switches.size();) {
        const std::size_t end = std::min(play.switches.find(' ', start), play.switches.size());
        const std::string word = play.switches.substr(start, end - start);
        start = end + 1;
        if (word.empty()) {
            continue;
        }
        if (std::find(std::begin(kPlaySwitches), std::end(kPlaySwitches), word) == std::end(kPlaySwitches)) {
            return refuse("unknown switch " + word + "; --switches takes -nologo, -noshellmap, -nomusic, -noaudio, "
                          "-win, -constantdebug and -scriptdebug");
        }
        switches += (switches.empty() ? "" : " ") + word;
    }
    play.switches = switches;
    return play;
}

std::optional<ImportArguments> ImportFromArguments(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments[0] != kImportSwitch) {
        return std::nullopt;
    }
    ImportArguments import;
    const auto refuse = [](std::string why) {
        ImportArguments refused;
        refused.error = std::move(why);
        return refused;
    };
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--game" || argument == "--name") {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                return refuse(argument + " needs a value");
            }
            std::string& value = argument == "--game" ? import.game : import.name;
            if (!value.empty()) {
                return refuse(argument + " is given twice");
            }
            value = arguments[++i];
        } else if (argument.starts_with("--") && argument.size() > 2) {
            return refuse("unknown option " + argument);
        } else if (!import.source.empty()) {
            return refuse("one archive or folder at a time; " + argument + " is one too many");
        } else {
            import.source = argument;
        }
    }
    if (import.source.empty()) {
        return refuse("--import needs the archive or folder of the mod");
    }
    if (!import.game.empty() && import.game != "generals" && import.game != "zerohour") {
        return refuse("unknown game " + import.game + "; --game takes generals or zerohour");
    }
    return import;
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
