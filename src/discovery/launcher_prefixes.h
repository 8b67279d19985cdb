// Reads the configuration files in which other Linux game launchers (Lutris, Bottles, Heroic) record
// the Wine prefixes they made, so that a game installed through one of them is found in its prefix.
// Text in, prefixes out: finding and reading the files is left to the platform layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

inline constexpr std::string_view kLutrisSource = "Lutris";
inline constexpr std::string_view kBottlesSource = "Bottles";
inline constexpr std::string_view kHeroicSource = "Heroic";

// A Wine prefix another launcher made for a game or bottle, as its configuration names it.
struct LauncherPrefix {
    std::string launcher; // kLutrisSource, kBottlesSource or kHeroicSource
    std::string title;    // what that launcher calls the game or the bottle
    std::string prefix;   // host folder of the prefix (the folder that holds system.reg)
    std::string wine;     // host path of the wine program the configuration names; empty: the system's wine
};

// Paths in these files may start with "~" (Lutris expands it, Heroic replaces it with the home folder):
// they are taken below `home`, and without one the entry is left out, as is a prefix that is relative.
// A wine path that cannot be resolved is the system's wine.

// A Lutris game's configuration (games/<slug>-<unix time>.yml): the prefix is `game: prefix:`. The wine is
// the one `wine: version:` names, else `defaultVersion` (see LutrisDefaultWineVersion):
//   "system", and Proton versions (Lutris runs those through umu): the system's wine;
//   "winehq-devel", "winehq-staging", "wine-development", "System wine-<x>": Lutris's fixed paths;
//   "custom": `wine: custom_wine_path:`;
//   others: <runnersFolder>/<version>/bin/wine, runnersFolder being Lutris's runners/wine folder.
// Title: the top-level `name:` that Lutris's installer writes, else the slug of the file name made
// readable. nullopt when it names no prefix.
[[nodiscard]] std::optional<LauncherPrefix> LutrisGamePrefix(std::string_view yaml, std::string_view fileName,
                                                             std::string_view runnersFolder,
                                                             std::string_view defaultVersion = {},
                                                             std::string_view home = {});

// The wine version Lutris gives the games that name none: `wine: version:` of its runners/wine.yml.
[[nodiscard]] std::string LutrisDefaultWineVersion(std::string_view runnerYaml);

// A bottle's bottle.yml, found in `bottleFolder`. Title: Name, else the folder's name. Prefix: Path when
// Custom_Path is set, else the folder itself (Bottles keeps Path as its name). Wine:
// <runnersFolder>/<Runner>/bin/wine, the system's for a "sys-" runner. nullopt for a bottle of Steam's
// (Environment: Steam), whose prefix Steam keeps.
[[nodiscard]] std::optional<LauncherPrefix> BottlePrefix(std::string_view yaml, std::string_view bottleFolder,
                                                         std::string_view runnersFolder);

// A bottle in a folder of the user's choosing leaves placeholder.yml in Bottles' own folder, whose Path
// is the bottle's folder; "" when it names none that is absolute.
[[nodiscard]] std::string BottlePlaceholderFolder(std::string_view yaml);

// Heroic's GamesConfig/<appName>.json, whose member named <appName> holds winePrefix and wineVersion
// {bin, name, type}. Wine: bin itself. Proton (type "proton", bin its "proton" script): the prefix is
// winePrefix/pfx, as Proton keeps it below its compatibility-data folder, and the wine is Proton's own
// beside the script, files/bin/wine (dist/bin/wine in Proton 7 and older; FindLauncherPrefixes tries both,
// as Heroic does). Title: the prefix folder's name, which Heroic's default names after the game, else the
// app name. Mac-only wine types (CrossOver, the porting toolkit) are left out. Empty when nothing fits.
[[nodiscard]] std::vector<LauncherPrefix> HeroicPrefixes(std::string_view json, std::string_view fileName,
                                                         std::string_view home = {});

} // namespace vantrel
