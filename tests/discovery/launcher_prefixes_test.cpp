#include "discovery/launcher_prefixes.h"

#include <gtest/gtest.h>
#include <string>

namespace vantrel {
namespace {

std::string Describe(const std::optional<LauncherPrefix>& found) {
    return found ? found->launcher + "|" + found->title + "|" + found->prefix + "|" + found->wine : "none";
}

std::string Describe(const std::vector<LauncherPrefix>& found) {
    return found.empty() ? "none" : Describe(found.front()) + (found.size() > 1 ? " and more" : "");
}

constexpr const char* kLutrisRunners = "/home/u/.local/share/lutris/runners/wine";

// What Lutris's installer writes with PyYAML: keys sorted, the installer script kept, a long value wrapped.
constexpr const char* kInstalledGame = R"(game:
  arch: win64
  exe: /home/u/Games/cnc/drive_c/Program Files/EA Games/Command and Conquer Generals Zero
    Hour/generals.exe
  prefix: /home/u/Games/cnc
game_slug: command-conquer-generals-zero-hour
name: 'Command & Conquer: Generals - Zero Hour'
script:
  game:
    prefix: $GAMEDIR
  installer:
  - task:
      name: create_prefix
      prefix: $GAMEDIR
system: {}
wine:
  version: lutris-GE-Proton8-26-x86_64
)";

TEST(LauncherPrefixes, ReadsLutrisGames) {
    struct Case {
        const char* name;
        std::string yaml;
        std::string fileName = "generals-1690000000.yml";
        std::string defaultVersion;
        std::string home;
        std::string expected;
    };
    const std::string runners = kLutrisRunners;
    const Case cases[] = {
        {"installed", kInstalledGame, "command-conquer-generals-zero-hour-1690000000.yml", "", "",
         "Lutris|Command & Conquer: Generals - Zero Hour|/home/u/Games/cnc|" + runners +
             "/lutris-GE-Proton8-26-x86_64/bin/wine"},
        {"added by hand, escaped name",
         "game:\n  prefix: \"/home/j\\xFCrgen/Games/Generals/\"\nwine:\n  version: system\n",
         "command-and-conquer-generals-1712345678.yml", "", "",
         "Lutris|Command And Conquer Generals|/home/j\xC3\xBCrgen/Games/Generals|"},
        {"home folder", "game:\n  prefix: ~/Games/cnc\n", "generals.yml", "", "/home/u/",
         "Lutris|Generals|/home/u/Games/cnc|"},
        {"home folder unknown", "game:\n  prefix: ~/Games/cnc\n", "generals.yml", "", "", "none"},
        {"relative prefix", "game:\n  prefix: Games/cnc\n", "generals.yml", "", "/home/u", "none"},
        {"no prefix", "game:\n  exe: /g/generals.exe\nwine:\n  version: x\n", "g-1.yml", "", "", "none"},
        {"only the installer's prefix", "script:\n  game:\n    prefix: /p\n", "g-1.yml", "", "", "none"},
        {"runner's default version", "game:\n  prefix: /p\n", "g-1.yml", "wine-ge-8-26-x86_64", "",
         "Lutris|G|/p|" + runners + "/wine-ge-8-26-x86_64/bin/wine"},
        {"game's version before the default", "game:\n  prefix: /p\nwine:\n  version: system\n", "g-1.yml",
         "x", "", "Lutris|G|/p|"},
        {"WineHQ's staging", "game:\n  prefix: /p\nwine:\n  version: winehq-staging\n", "g-1.yml", "", "",
         "Lutris|G|/p|/opt/wine-staging/bin/wine"},
        {"a system wine in /usr/lib", "game:\n  prefix: /p\nwine:\n  version: System wine-9.0\n", "g-1.yml",
         "", "", "Lutris|G|/p|/usr/lib/wine-9.0/bin/wine"},
        {"custom wine",
         "game:\n  prefix: /p\nwine:\n  custom_wine_path: ~/wine/bin/wine\n  version: custom\n", "g-1.yml",
         "", "/home/u", "Lutris|G|/p|/home/u/wine/bin/wine"},
        {"custom without a path", "game:\n  prefix: /p\nwine:\n  version: custom\n", "g-1.yml", "", "",
         "Lutris|G|/p|"},
        {"Proton through umu", "game:\n  prefix: /p\nwine:\n  version: GE-Proton9-20\n", "g-1.yml", "", "",
         "Lutris|G|/p|"},
        {"version leaving the runners folder", "game:\n  prefix: /p\nwine:\n  version: ../../../bin\n",
         "g-1.yml", "", "", "Lutris|G|/p|"},
        {"unclosed quote", "game:\n  prefix: '/p\nwine:\n  version: x\n", "g-1.yml", "", "", "none"},
        {"not YAML", std::string("\0\xFF: :\n- [", 8), "g-1.yml", "", "", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(LutrisGamePrefix(c.yaml, c.fileName, runners, c.defaultVersion, c.home)),
                  c.expected)
            << c.name;
    }
    EXPECT_EQ(LutrisDefaultWineVersion("system:\n  env: {}\nwine:\n  version: lutris-7.2-2-x86_64\n"),
              "lutris-7.2-2-x86_64");
    EXPECT_EQ(LutrisDefaultWineVersion("wine:\n  dxvk: true\n"), "");
}

// What Bottles writes: four spaces of indentation, keys sorted.
constexpr const char* kBottle = R"(Arch: win64
Creation_Date: '2024-01-02 10:00:00.000000'
Custom_Path: false
DLL_Overrides: {}
Environment: Gaming
External_Programs:
    1b2c:
        executable: generals.exe
        name: Generals
        path: C:\Program Files\EA Games\Generals\generals.exe
Installed_Dependencies:
- vcredist2019
Name: C&C Generals
Parameters:
    dxvk: true
    sync: fsync
Path: CC-Generals
Runner: soda-9.0-1
Windows: win10
)";

TEST(LauncherPrefixes, ReadsBottles) {
    struct Case {
        const char* name;
        std::string yaml;
        std::string folder;
        std::string expected;
    };
    const std::string bottles = "/home/u/.local/share/bottles/bottles/";
    const std::string runners = "/home/u/.local/share/bottles/runners";
    const Case cases[] = {
        {"bottle", kBottle, bottles + "CC-Generals",
         "Bottles|C&C Generals|" + bottles + "CC-Generals|" + runners + "/soda-9.0-1/bin/wine"},
        {"system wine", "Name: Sys\nPath: Sys\nRunner: sys-wine-9.0\n", bottles + "Sys",
         "Bottles|Sys|" + bottles + "Sys|"},
        {"custom path", "Custom_Path: true\nName: ZH\nPath: /mnt/games/ZH/\nRunner: caffe-7.20\n",
         "/mnt/games/ZH", "Bottles|ZH|/mnt/games/ZH|" + runners + "/caffe-7.20/bin/wine"},
        {"relative custom path", "Custom_Path: true\nPath: games/ZH\n", "/mnt/games/ZH", "none"},
        {"Steam's", "Environment: Steam\nName: S\nPath: S\n", bottles + "S", "none"},
        {"no name, no runner", "Path: Plain\n", bottles + "Plain", "Bottles|Plain|" + bottles + "Plain|"},
        {"runner leaving the runners folder", "Name: R\nRunner: ../../../../usr\n", bottles + "R",
         "Bottles|R|" + bottles + "R|"},
        {"unclosed quote", "Name: 'x\nRunner: y\n", bottles + "Q",
         "Bottles|Q|" + bottles + "Q|" + runners + "/y/bin/wine"},
        {"relative folder", "Name: F\n", "bottles/F", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(BottlePrefix(c.yaml, c.folder, runners)), c.expected) << c.name;
    }
    EXPECT_EQ(BottlePlaceholderFolder("Path: /mnt/games/ZH\n"), "/mnt/games/ZH");
    EXPECT_EQ(BottlePlaceholderFolder("Path: games/ZH\n"), "");
    EXPECT_EQ(BottlePlaceholderFolder("{Path: /x}"), "");
}

std::string HeroicGame(const std::string& appName, const std::string& settings) {
    return "{\n  \"" + appName + "\": {\n    \"autoInstallDxvk\": true,\n" + settings +
           "\n  },\n  \"version\": \"v0\",\n  \"explicit\": true\n}";
}

TEST(LauncherPrefixes, ReadsHeroicGames) {
    struct Case {
        const char* name;
        std::string json;
        std::string fileName = "Quail.json";
        std::string home;
        std::string expected;
    };
    const std::string prefixes = "/home/u/Games/Heroic/Prefixes/default/";
    const std::string tools = "/home/u/.config/heroic/tools/";
    const Case cases[] = {
        {"wine", HeroicGame("Quail", R"("winePrefix": "/home/u/Games/Heroic/Prefixes/default/Generals",
    "wineVersion": {"bin": "/home/u/.config/heroic/tools/wine/Wine-GE-Proton8-26/bin/wine", "name": "Wine - Wine-GE-Proton8-26", "type": "wine"})"),
         "Quail.json", "",
         "Heroic|Generals|" + prefixes + "Generals|" + tools + "wine/Wine-GE-Proton8-26/bin/wine"},
        {"Proton",
         HeroicGame("1207658924", R"("winePrefix": "/home/u/Games/Heroic/Prefixes/default/Zero Hour/",
    "wineVersion": {"bin": "/home/u/.config/heroic/tools/proton/GE-Proton9-20/proton", "name": "Proton - GE-Proton9-20", "type": "proton"})"),
         "1207658924.json", "",
         "Heroic|Zero Hour|" + prefixes + "Zero Hour/pfx|" + tools + "proton/GE-Proton9-20/files/bin/wine"},
        {"shared prefix below home", HeroicGame("Quail", R"("winePrefix": "~/Games/Heroic/Prefixes/default",
    "wineVersion": {"bin": "/usr/bin/wine", "type": "wine"})"),
         "Quail.json", "/home/u", "Heroic|Quail|/home/u/Games/Heroic/Prefixes/default|/usr/bin/wine"},
        {"escapes",
         HeroicGame("Quail", R"("winePrefix": "\/home\/j\u00fcrgen\/Pr\u00e9fixes\/\ud83c\udfae")"),
         "Quail.json", "",
         "Heroic|\xF0\x9F\x8E\xAE|/home/j\xC3\xBCrgen/Pr\xC3\xA9"
         "fixes/\xF0\x9F\x8E\xAE|"},
        {"no prefix", HeroicGame("Quail", R"("wineVersion": {"bin": "/usr/bin/wine", "type": "wine"})"),
         "Quail.json", "", "none"},
        {"relative prefix", HeroicGame("Quail", R"("winePrefix": "Prefixes/G")"), "Quail.json", "", "none"},
        {"another game's member", HeroicGame("Other", R"("winePrefix": "/p")"), "Quail.json", "", "none"},
        {"CrossOver",
         HeroicGame("Quail", R"("winePrefix": "/p", "wineVersion": {"bin": "/x", "type": "crossover"})"),
         "Quail.json", "", "none"},
        {"Proton without its script",
         HeroicGame("Quail", R"("winePrefix": "/p", "wineVersion": {"type": "proton"})"), "Quail.json", "",
         "Heroic|p|/p/pfx|"},
        {"settings not an object", R"({"Quail": "/p"})", "Quail.json", "", "none"},
        {"malformed", HeroicGame("Quail", R"("winePrefix": "/p",)"), "Quail.json", "", "none"},
        {"not a .json file", HeroicGame("Quail", R"("winePrefix": "/p")"), "Quail.log", "", "none"},
        {"nameless file", HeroicGame("", R"("winePrefix": "/p")"), ".json", "", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Describe(HeroicPrefixes(c.json, c.fileName, c.home)), c.expected) << c.name;
    }
}

} // namespace
} // namespace vantrel
