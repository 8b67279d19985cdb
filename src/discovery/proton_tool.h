// Finds the Proton with which Steam would start a game of its libraries, from Steam's own files, so
// that a launch can start the game the same way where the system needs it (Linux).
#pragma once

#include "platform/game_files.h"
#include "platform/process_runner.h"
#include "discovery/install_discovery.h"

#include <vector>

namespace vantrel {

// For each game found in a Steam library, the Proton to start it with, taken from the first of:
// 1. the tool Steam's config\config.vdf maps the game's app id to (CompatToolMapping), the player's
//    own choice in the game's properties;
// 2. the Proton that last ran the game's prefix, whose files compatdata\<app id>\config_info names
//    (its later lines, taken only as the folder right below a library's steamapps\common or a
//    compatibilitytools.d; else the version on its first line, as one of Valve's folders);
// 3. the tool mapped to app 0, Steam Play's choice for every other title.
// A tool name is a custom tool when a compatibilitytools.d folder of Steam declares it in its
// compatibilitytool.vdf, else one of Valve's in a library's steamapps\common: "proton_9" is
// "Proton 9.0" (or "Proton 9.0 (Beta)"), "proton_63" "Proton 6.3", "proton_experimental"
// "Proton - Experimental". A Proton counts only when its folder holds its launcher, "proton".
// A game none of them gives has a run with the failure said.
[[nodiscard]] std::vector<ProtonRun> ProtonRunsFor(const Installations& found, GameFiles& files);

} // namespace vantrel
