#include "discovery/install_discovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/test_machine.h"

namespace vantrel {
namespace {

using Root = RegistryRoot;
using View = RegistryView;

// A registry of given values; counts how often it was asked at once, so that a test can tell the
// places beyond the disc release's were left unread.
class FakeRegistry final : public Registry {
public:
    using Place = std::tuple<Root, View, std::string, std::string>;
    std::map<Place, std::string> values;
    int batches = 0;

    std::optional<std::string> ReadMachineString(std::string_view key, std::string_view value) override {
        return Read({Root::LocalMachine, View::Bits32, std::string(key), std::string(value)});
    }
    std::vector<std::optional<std::string>> ReadStrings(std::span<const RegistryQuery> queries) override {
        ++batches;
        std::vector<std::optional<std::string>> answers;
        for (const auto& query : queries) {
            answers.push_back(Read({query.root, query.view, query.keyPath, query.valueName}));
        }
        return answers;
    }

private:
    std::optional<std::string> Read(const Place& place) const {
        const auto found = values.find(place);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
};

struct Expected {
    std::string folder; // relative to the machine's disk, "" for none; a full path when it begins with '!'
    std::string source;
};

class InstallDiscovery : public ::testing::Test {
protected:
    // A game folder holding the game's program.
    std::string Game(const std::string& relative) {
        machine.Write(relative + "/generals.exe", "game");
        return machine.WindowsPath(relative);
    }

    void ExpectFound(const GameInstall& game, const Expected& expected, const std::string& what) {
        const std::string folder = expected.folder.empty()         ? ""
                                   : expected.folder.front() == '!' ? expected.folder.substr(1)
                                                                    : machine.WindowsPath(expected.folder) + "\\";
        EXPECT_EQ(game.folder, folder) << what;
        EXPECT_EQ(game.source, expected.source) << what;
    }

    test::TestMachine machine;
    FakeRegistry registry;
};

TEST_F(InstallDiscovery, TakesTheFirstRegistryPlaceThatHoldsTheGame) {
    const std::string generalsKey(kGeneralsKey), zeroHourKey(kZeroHourKey), eaGenerals(kEaAppGeneralsKey),
        eaZeroHour(kEaAppZeroHourKey), path(kInstallPathValue), dir(kEaAppValue), decade(kFirstDecadeKey),
        zhFolder(kFirstDecadeZeroHourValue);
    struct Case {
        const char* name;
        std::vector<std::pair<FakeRegistry::Place, std::string>> values; // "@x" stands for the folder x
        Expected generals;
        Expected zeroHour;
        bool readsFurther;
    };
    const Case cases[] = {
        {"disc keys as they stand, a backslash added, unchecked",
         {{{Root::LocalMachine, View::Bits32, generalsKey, path}, "D:\\Gone"},
          {{Root::LocalMachine, View::Bits32, zeroHourKey, path}, "@ZH\\"}},
         {"!D:\\Gone\\", "disc"}, {"ZH", "disc"}, false},
        {"disc key in the 64-bit view, then HKCU",
         {{{Root::LocalMachine, View::Bits64, generalsKey, path}, "@G"},
          {{Root::CurrentUser, View::Bits64, zeroHourKey, path}, "@ZH"}},
         {"G", "disc"}, {"ZH", "disc"}, true},
        {"EA App keys, without a trailing backslash",
         {{{Root::LocalMachine, View::Bits32, eaGenerals, dir}, "@EA\\G"},
          {{Root::CurrentUser, View::Bits64, eaZeroHour, dir}, "@EA\\ZH"}},
         {"EA\\G", "EA App"}, {"EA\\ZH", "EA App"}, true},
        {"a place without the program gives way to the next",
         {{{Root::LocalMachine, View::Bits64, generalsKey, path}, "@Empty"},
          {{Root::CurrentUser, View::Bits32, generalsKey, path}, ""},
          {{Root::LocalMachine, View::Bits64, eaGenerals, dir}, "@G"},
          {{Root::LocalMachine, View::Bits32, eaZeroHour, path}, "@ZH"}},
         {"G", "EA App"}, {}, true},
        {"The First Decade's key for Zero Hour, after the EA App's",
         {{{Root::LocalMachine, View::Bits32, decade, zhFolder}, "@EA\\ZH"},
          {{Root::LocalMachine, View::Bits32, decade, "cnc_folder"}, "@G"}},
         {}, {"EA\\ZH", "The First Decade"}, true},
        {"only Zero Hour from the disc keys: Generals is looked for",
         {{{Root::LocalMachine, View::Bits32, zeroHourKey, path}, "@ZH"},
          {{Root::CurrentUser, View::Bits32, generalsKey, path}, "@G"}},
         {"G", "disc"}, {"ZH", "disc"}, true},
    };
    Game("G");
    Game("ZH");
    Game("EA/G");
    Game("EA/ZH");
    std::filesystem::create_directories(machine.HostPath("Empty"));
    for (const auto& c : cases) {
        registry.values.clear();
        registry.batches = 0;
        for (const auto& [place, text] : c.values) {
            registry.values[place] = text.starts_with('@') ? machine.WindowsPath(text.substr(1)) : text;
        }
        const Installations found = FindInstallations(registry, &machine.gameFiles());
        ExpectFound(found.generals, c.generals, std::string(c.name) + ": Generals");
        ExpectFound(found.zeroHour, c.zeroHour, std::string(c.name) + ": Zero Hour");
        EXPECT_EQ(registry.batches, c.readsFurther ? 1 : 0) << c.name;
    }
}

// A Steam folder whose libraryfolders.vdf lists itself, a second library and one that is not there;
// the games' manifests among others'.
class SteamDiscovery : public InstallDiscovery {
protected:
    void Manifest(const std::string& library, const std::string& id, const std::string& name,
                  const std::string& installDir) {
        machine.Write(library + "/steamapps/appmanifest_" + id + ".acf",
                      "\"AppState\"\r\n{\r\n\t\"appid\"\t\t\"" + id + "\"\r\n\t\"name\"\t\t\"" + name +
                          "\"\r\n\t\"installdir\"\t\t\"" + installDir + "\"\r\n}\r\n");
    }
    static std::string Escaped(std::string path) {
        std::string out;
        for (char c : path) {
            out += c == '\\' ? std::string("\\\\") : std::string(1, c);
        }
        return out;
    }
    std::string LibraryFolders(bool oldForm) const {
        const std::string libraries[] = {Escaped(machine.SteamPath("Steam")), Escaped(machine.SteamPath("Lib2")),
                                         Escaped(machine.SteamPath("Unplugged"))};
        std::string text = "\"libraryfolders\"\n{\n";
        for (int i = 0; i < 3; ++i) {
            text += oldForm ? "\t\"" + std::to_string(i + 1) + "\"\t\t\"" + libraries[i] + "\"\n"
                            : "\t\"" + std::to_string(i) + "\"\n\t{\n\t\t\"path\"\t\t\"" + libraries[i] +
                                  "\"\n\t\t\"apps\"\n\t\t{\n\t\t\t\"2732960\"\t\t\"1\"\n\t\t}\n\t}\n";
        }
        return text + "}\n";
    }
};

TEST_F(SteamDiscovery, FindsTheGamesByTheirManifestsAndPrograms) {
    struct Case {
        const char* name;
        bool oldForm;
        bool generalsProgram; // Generals' folder holds generals.exe
        std::string steamPath; // as the registry holds it
        Expected generals;
        Expected zeroHour;
        std::size_t libraries;
    };
    const std::string steam = machine.WindowsPath("Steam");
    std::string forward = steam;
    std::replace(forward.begin(), forward.end(), '\\', '/');
    const Case cases[] = {
        {"libraries listed in blocks", false, true, steam,
         {"Steam\\steamapps\\common\\Command and Conquer Generals", "Steam"},
         {"Lib2\\steamapps\\common\\CnC ZH", "Steam"}, 2},
        {"the older form, Steam's path with slashes", true, true, forward + "/",
         {"Steam\\steamapps\\common\\Command and Conquer Generals", "Steam"},
         {"Lib2\\steamapps\\common\\CnC ZH", "Steam"}, 2},
        {"a manifest whose folder lacks the program", false, false, steam, {}, {"Lib2\\steamapps\\common\\CnC ZH", "Steam"}, 2},
        {"no Steam", false, true, "", {}, {}, 0},
    };
    machine.Write("Steam/steamapps/appmanifest_10.acf", "\"AppState\" { \"name\" \"Counter-Strike\" }");
    Manifest("Steam", "2229870", "Command & Conquer\xE2\x84\xA2 Generals", "Command and Conquer Generals");
    Manifest("Steam", "11", "Generals Escape", "..");
    Manifest("Lib2", "2732960", "Command & Conquer\xE2\x84\xA2 Generals Zero Hour", "CnC ZH");
    Manifest("Lib2", "12", "Generals Trains", "Trains");
    machine.Write("Lib2/steamapps/appmanifest_13.acf", "\"AppState\" { \"name\" \"Generals");
    Game("Lib2/steamapps/common/CnC ZH");
    Game("Lib2/steamapps/common/Trains"); // another game's program of the same name
    for (const auto& c : cases) {
        registry.values.clear();
        registry.batches = 0;
        if (!c.steamPath.empty()) {
            registry.values[{Root::CurrentUser, View::Bits32, "Software\\Valve\\Steam", "SteamPath"}] = c.steamPath;
        }
        machine.Write("Steam/steamapps/libraryfolders.vdf", LibraryFolders(c.oldForm));
        const auto program = machine.HostPath("Steam/steamapps/common/Command and Conquer Generals/generals.exe");
        if (c.generalsProgram) {
            machine.Write("Steam/steamapps/common/Command and Conquer Generals/generals.exe", "game");
        } else {
            std::filesystem::remove(program);
        }
        const Installations found = FindInstallations(registry, &machine.gameFiles());
        ExpectFound(found.generals, c.generals, std::string(c.name) + ": Generals");
        ExpectFound(found.zeroHour, c.zeroHour, std::string(c.name) + ": Zero Hour");
        EXPECT_EQ(found.steamLibraries.size(), c.libraries) << c.name;
        if (!found.zeroHour.folder.empty()) {
            EXPECT_EQ(found.zeroHour.steamAppId, "2732960");
            EXPECT_EQ(found.zeroHour.steamLibrary, machine.WindowsPath("Lib2"));
        }
    }
}

TEST_F(SteamDiscovery, CarriesWhatSteamHoldsToAnotherMachineWithoutLookingAgain) {
    Installations found;
    found.generals = {"C:\\Lib\\steamapps\\common\\G\\", std::string(kSteamSource), "C:\\Lib", "2229870"};
    found.zeroHour = {"C:\\ZH\\", std::string(kDiscSource), {}, {}};
    found.steamLibraries = {"C:\\Lib", "C:\\Gone"};
    const Installations there = SteamFindsThere(found, [](std::string_view path) -> std::optional<std::string> {
        if (!path.starts_with("C:\\Lib")) {
            return std::nullopt;
        }
        return "Z:\\host" + std::string(path.substr(2));
    });
    EXPECT_EQ(there.generals.folder, "Z:\\host\\Lib\\steamapps\\common\\G\\");
    EXPECT_EQ(there.generals.steamLibrary, "Z:\\host\\Lib");
    EXPECT_EQ(there.generals.steamAppId, "2229870");
    EXPECT_EQ(there.zeroHour.folder, "") << "only Steam's finds are carried";
    EXPECT_EQ(there.steamLibraries, std::vector<std::string>{"Z:\\host\\Lib"});

    // On the new machine its own registry comes first, then a Steam installed on it, whose games are
    // the machine's own; the system's Steam libraries are not read again.
    Manifest("Steam", "2732960", "Command & Conquer Generals Zero Hour", "ZH");
    Game("Steam/steamapps/common/ZH");
    registry.values[{Root::CurrentUser, View::Bits32, "Software\\Valve\\Steam", "SteamPath"}] = machine.WindowsPath("Steam");
    registry.values[{Root::LocalMachine, View::Bits32, std::string(kGeneralsKey), "InstallPath"}] = "C:\\Own";
    Installations again = FindInstallations(registry, &machine.gameFiles(), &there);
    EXPECT_EQ(again.generals.folder, "C:\\Own\\");
    EXPECT_EQ(again.zeroHour.folder, machine.WindowsPath("Steam\\steamapps\\common\\ZH") + "\\");
    EXPECT_EQ(again.steamLibraries, (std::vector<std::string>{"Z:\\host\\Lib", machine.WindowsPath("Steam")}));
    again.generals = {};
    EXPECT_TRUE(HoldsOwnGame(again)) << "a game of the machine's own Steam";
    std::string upper = machine.WindowsPath("Steam");
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    again.protonLibraries = {upper};
    EXPECT_FALSE(HoldsOwnGame(again)) << "a game of the system's Steam, its library named in another letter case";
    registry.values.erase({Root::LocalMachine, View::Bits32, std::string(kGeneralsKey), "InstallPath"});
    EXPECT_EQ(FindInstallations(registry, &machine.gameFiles(), &there).generals.folder, there.generals.folder);
}

TEST_F(SteamDiscovery, ChoosesTheProtonPrefixOnlyWhenTheGamesCameFromSteam) {
    const auto steamGame = [&](const std::string& library, const std::string& id) {
        return GameInstall{machine.WindowsPath(library + "\\steamapps\\common\\X") + "\\", std::string(kSteamSource),
                           machine.WindowsPath(library), id};
    };
    const auto prefixOf = [&](const std::string& library, const std::string& id) {
        machine.Write(library + "/steamapps/compatdata/" + id + "/pfx/system.reg", "WINE REGISTRY Version 2\n");
        return machine.WindowsPath(library + "\\steamapps\\compatdata\\" + id + "\\pfx");
    };
    const std::string zeroHourPrefix = prefixOf("Lib2", "2732960");
    const std::string generalsPrefix = prefixOf("Steam", "2229870");
    const GameInstall disc{"C:\\Games\\G\\", std::string(kDiscSource), {}, {}};
    struct Case {
        const char* name;
        GameInstall generals;
        GameInstall zeroHour;
        std::string expected;
    };
    const Case cases[] = {
        {"both from Steam: Zero Hour's", steamGame("Steam", "2229870"), steamGame("Lib2", "2732960"), zeroHourPrefix},
        {"only Generals from Steam", steamGame("Steam", "2229870"), {}, generalsPrefix},
        {"Zero Hour without a prefix yet", steamGame("Steam", "2229870"), steamGame("Steam", "2732960"), generalsPrefix},
        {"a game on the machine itself keeps it", disc, steamGame("Lib2", "2732960"), ""},
        {"an app id that is no number", steamGame("Lib2", "..\\..\\x"), {}, ""},
        {"nothing found", {}, {}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProtonPrefixToUse({c.generals, c.zeroHour, {}, {}, {}}, machine.gameFiles()), c.expected) << c.name;
    }
}

} // namespace
} // namespace vantrel
