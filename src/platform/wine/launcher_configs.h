// Finds the Wine prefixes that Lutris, Bottles and Heroic record on this host, installed natively or
// from Flathub, by reading their configuration files.
#pragma once

#include "discovery/launcher_prefixes.h"

#include <string>
#include <vector>

namespace vantrel {

// The folders the launchers' own folders are found below. configHome and dataHome are $XDG_CONFIG_HOME
// and $XDG_DATA_HOME when absolute (the XDG rules ignore relative ones), else ~/.config and ~/.local/share;
// empty when there is no home folder either.
struct LauncherHomes {
    std::string home, configHome, dataHome;
};

// $HOME (else the user's entry in the password database) and the XDG variables.
[[nodiscard]] LauncherHomes LauncherHomesFromEnvironment();

// Every prefix the launchers record that holds a system.reg, in this order:
//   Lutris: games/*.yml in <configHome>/lutris (the older folder, which Lutris keeps using while it is
//     there), then in <dataHome>/lutris, then both below ~/.var/app/net.lutris.Lutris/{config,data};
//     runners in <dataHome>/lutris/runners/wine, the default version in runners/wine.yml beside games/;
//   Bottles: <dataHome>/bottles/bottles/*/bottle.yml, or the bottle a placeholder.yml there points to,
//     then the same below ~/.var/app/com.usebottles.bottles/data; runners in bottles/runners;
//   Heroic: <configHome>/heroic/GamesConfig/*.json, then below
//     ~/.var/app/com.heroicgameslauncher.hgl/config.
// Each prefix counts once, reached through links or not: the first wins. The wine is kept only when that
// file is an executable one; one of a Proton's layouts (files/bin/wine, dist/bin/wine) stands in for
// another, as Heroic and Bottles look for both. Else it is empty: the system's wine. Only the
// configuration files are read, none larger than 1 MiB; the prefixes are only looked at.
[[nodiscard]] std::vector<LauncherPrefix> FindLauncherPrefixes(const LauncherHomes& homes);

} // namespace vantrel
