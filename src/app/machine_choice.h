// Which machine the games are played on, where several Wine prefixes hold them.
#pragma once

#include "discovery/install_discovery.h"
#include "platform/native_platform.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vantrel {

struct MachineChoice {
    std::vector<MachineOption> machines; // those that hold the games, in the order the player sees them
    std::size_t inUse = 0;
    std::string notice; // for the player, when a machine could not be opened and another is used
};

// When the machine is not fixed: the machines that hold the games (the one the program started with,
// the prefix Proton made for a Steam game, then the prefixes other launchers made), and a switch of
// `platform` and `found` to the one whose id is `wanted`, else to the first. A fixed machine is the only
// one. `home`: the user's home folder, which the titles shorten to "~".
[[nodiscard]] MachineChoice ChooseMachine(NativePlatform& platform, Installations& found,
                                          const std::string& wanted, const std::string& home);

} // namespace vantrel
