// Shortcuts that play one mod without windows, from the desktop or the system's list of applications:
// `vantrel --play <name> --game <game> --switches <switches>`, or silent mode's `vantrel -SILENT <name>`
// for a shortcut that names no game.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

// What a shortcut plays: the name silent mode takes (the definition's file name without ".vtl", which
// the mod list may show shortened) and the definition file itself, which tells apart mods of one name
// kept in different folders or machines.
struct ShortcutTarget {
    std::string name;
    std::string definitionFile;
    // The game it plays the mod with ("generals", "zerohour"); empty: silent mode, which plays Generals.
    std::string game = {};
    // The game's switches, blank-separated.
    std::string switches = {};

    friend bool operator==(const ShortcutTarget&, const ShortcutTarget&) = default;
};

// The games a shortcut may name, with the words the player reads.
inline constexpr std::pair<std::string_view, std::string_view> kShortcutGames[] = {{"generals", "Generals"},
                                                                                  {"zerohour", "Zero Hour"}};

// The shortcut's name as the system shows it: the mod's, with the game it plays it with.
[[nodiscard]] inline std::string ShortcutTitle(const ShortcutTarget& target) {
    for (const auto& [game, shown] : kShortcutGames) {
        if (target.game == game) {
            return target.name + " (" + std::string(shown) + ")";
        }
    }
    return target.name;
}

// The program's arguments the shortcut starts it with.
[[nodiscard]] inline std::vector<std::string> ShortcutArguments(const ShortcutTarget& target) {
    if (target.game.empty()) {
        return {"-SILENT", target.name};
    }
    std::vector<std::string> arguments = {"--play", target.name, "--game", target.game};
    if (!target.switches.empty()) {
        arguments.insert(arguments.end(), {"--switches", target.switches});
    }
    return arguments;
}

// The same target with each game a shortcut may name, and with none: what Remove takes away.
[[nodiscard]] inline std::vector<ShortcutTarget> EveryGameOf(const ShortcutTarget& target) {
    std::vector<ShortcutTarget> all = {{target.name, target.definitionFile}};
    for (const auto& [game, shown] : kShortcutGames) {
        all.push_back({target.name, target.definitionFile, std::string(game)});
    }
    return all;
}

class Shortcuts {
public:
    Shortcuts() = default;
    Shortcuts(const Shortcuts&) = delete;
    Shortcuts& operator=(const Shortcuts&) = delete;
    virtual ~Shortcuts() = default;

    // Writes the shortcut, replacing the one made before for the same mod; false, with nothing
    // changed, when it cannot.
    [[nodiscard]] virtual bool Create(const ShortcutTarget& target) = 0;
    // Removes the shortcut made for the mod with the target's game (none, when it names none); true
    // when there is none.
    [[nodiscard]] virtual bool Remove(const ShortcutTarget& target) = 0;
    // Where the shortcut for the mod goes, as the system shows paths.
    [[nodiscard]] virtual std::string PathOf(const ShortcutTarget& target) = 0;
    // Why the last Create or Remove failed: the path and the system's reason.
    [[nodiscard]] virtual std::string LastError() = 0;
};

} // namespace vantrel
