#include "app/machine_choice.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

namespace vantrel {

namespace {

std::string FolderTitle(const std::string& folder, const std::string& home) {
    if (!home.empty() && folder.starts_with(home + "/")) {
        return "~" + folder.substr(home.size());
    }
    return folder;
}

// Where the machine of that id is in the list; nullopt when it is not there.
std::optional<std::size_t> IndexOf(const std::vector<MachineOption>& machines, std::string_view id) {
    const auto found = std::find_if(machines.begin(), machines.end(),
                                    [&](const MachineOption& option) { return option.id == id; });
    return found == machines.end() ? std::nullopt
                                   : std::optional(static_cast<std::size_t>(found - machines.begin()));
}

// What the games on `to` are, its Steam's libraries taken as `from` found them rather than looked for again.
Installations FindThere(const NativePlatform& from, const Installations& found, const NativePlatform& to) {
    const Installations steam =
        SteamFindsThere(found, [&](std::string_view path) { return PathOnOtherMachine(from, to, path); });
    return FindInstallations(*to.registry, to.gameFiles.get(), &steam);
}

} // namespace

MachineChoice ChooseMachine(NativePlatform& platform, Installations& found, const std::string& wanted,
                            const std::string& home) {
    if (platform.machineFixed) {
        return {};
    }
    MachineChoice choice;
    const std::string startedOn = MachineId(platform);
    if (HoldsOwnGame(found)) {
        choice.machines.push_back({startedOn, FolderTitle(startedOn, home), {}});
    }
    // A Steam game runs in the prefix Proton made for it, even beside games of the machine itself.
    Installations steamOnly = found;
    for (GameInstall* game : {&steamOnly.generals, &steamOnly.zeroHour}) {
        if (game->source != kSteamSource) {
            *game = {};
        }
    }
    std::optional<NativePlatform> proton;
    if (const std::string prefix = ProtonPrefixToUse(steamOnly, *platform.gameFiles); !prefix.empty()) {
        proton = PlatformOfPrefix(platform, prefix);
        if (proton) {
            choice.machines.push_back({MachineId(*proton), "Steam (Proton)", {}});
        }
    }
    for (const MachineOption& option : OtherMachines(platform)) {
        if (IndexOf(choice.machines, option.id) || option.id == startedOn) {
            continue;
        }
        std::optional<bool> holds = KnownToHoldGames(option.id);
        if (!holds) {
            const auto there = PlatformOfMachine(platform, option);
            holds = there && HoldsOwnGame(FindThere(platform, found, *there));
            RecordHoldsGames(option.id, *holds);
        }
        if (*holds) {
            choice.machines.push_back(option);
        }
    }
    if (choice.machines.empty()) {
        return choice;
    }
    choice.inUse = IndexOf(choice.machines, wanted).value_or(0);
    const MachineOption& option = choice.machines[choice.inUse];
    if (option.id == startedOn) {
        return choice;
    }
    std::optional<NativePlatform> chosen =
        proton && option.id == MachineId(*proton) ? std::move(proton) : PlatformOfMachine(platform, option);
    if (chosen) {
        found = FindThere(platform, found, *chosen);
        platform = std::move(*chosen);
        return choice;
    }
    // The prefix went away since it was last looked into: the games stay on the machine started with,
    // which the list then shows, and the player is told.
    choice.notice = option.title + " (" + option.id + ") holds no Wine prefix any more.";
    choice.machines.erase(choice.machines.begin() + static_cast<std::ptrdiff_t>(choice.inUse));
    if (const auto started = IndexOf(choice.machines, startedOn)) {
        choice.inUse = *started;
    } else {
        choice.machines.insert(choice.machines.begin(), {startedOn, FolderTitle(startedOn, home), {}});
        choice.inUse = 0;
    }
    return choice;
}

} // namespace vantrel
