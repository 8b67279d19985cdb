#include "platform/wine/launcher_configs.h"
#include "support/temp_folder.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// A home folder holding what each launcher leaves, natively and from Flathub.
class LauncherConfigs : public ::testing::Test {
protected:
    LauncherConfigs() : root(fs::canonical(folder.Path()).string()), home(root + "/home") {
        homes = {home, home + "/.config", home + "/.local/share"};
    }

    void Write(const std::string& relative, const std::string& text) {
        test::WriteBytes(home + "/" + relative, text);
    }
    void Prefix(const std::string& relative) { Write(relative + "/system.reg", "WINE REGISTRY Version 2\n"); }
    void Program(const std::string& relative, bool executable = true) {
        Write(relative, "#!/bin/sh\n");
        fs::permissions(home + "/" + relative, executable ? fs::perms(0755) : fs::perms(0644));
    }

    // The prefixes found, one a line, with the home folder as "~".
    std::string Found() const {
        std::string text;
        for (const LauncherPrefix& found : FindLauncherPrefixes(homes)) {
            std::string line =
                found.launcher + "|" + found.title + "|" + found.prefix + "|" + found.wine + "\n";
            for (std::size_t at; (at = line.find(home)) != std::string::npos;) {
                line.replace(at, home.size(), "~");
            }
            text += line;
        }
        return text;
    }

    test::TempFolder folder;
    std::string root;
    std::string home;
    LauncherHomes homes;
};

TEST_F(LauncherConfigs, FindsEachLaunchersPrefixesOnceInTheirOrder) {
    // Lutris: the older folder, the current one with its default wine, and Flathub's.
    Write(".config/lutris/games/generals-1.yml",
          "game:\n  prefix: " + home + "/Games/generals\nwine:\n  version: l8\n");
    Program(".local/share/lutris/runners/wine/l8/bin/wine");
    Prefix("Games/generals");
    Write(".local/share/lutris/runners/wine.yml", "wine:\n  version: gone\n");
    Write(".local/share/lutris/games/zh-2.yml", "game:\n  prefix: ~/Games/zh\nname: Zero Hour\n");
    Prefix("Games/zh");
    fs::create_directories(home + "/Games/empty");
    Write(".local/share/lutris/games/empty-3.yml", "game:\n  prefix: ~/Games/empty\n");
    fs::create_symlink(home + "/Games/generals", home + "/Games/linked");
    Write(".local/share/lutris/games/linked-4.yml", "game:\n  prefix: ~/Games/linked/\n");
    Write(".local/share/lutris/games/notes.txt", "game:\n  prefix: ~/Games/zh\n");
    Write(".var/app/net.lutris.Lutris/data/lutris/games/flat-5.yml",
          "game:\n  prefix: ~/Games/flat\nwine:\n  version: f1\n");
    Program(".var/app/net.lutris.Lutris/data/lutris/runners/wine/f1/bin/wine", false);
    Prefix("Games/flat");

    // Bottles: one in its own folder, one elsewhere behind a placeholder with a Proton runner, Flathub's.
    Write(".local/share/bottles/bottles/Generals/bottle.yml",
          "Name: Generals\nPath: Generals\nRunner: soda\n");
    Prefix(".local/share/bottles/bottles/Generals");
    Program(".local/share/bottles/runners/soda/bin/wine");
    Write(".local/share/bottles/bottles/Custom/placeholder.yml", "Path: " + home + "/mnt/Custom\n");
    Write("mnt/Custom/bottle.yml",
          "Custom_Path: true\nName: Custom\nPath: " + home + "/mnt/Custom\nRunner: GE\n");
    Prefix("mnt/Custom");
    Program(".local/share/bottles/runners/GE/files/bin/wine");
    Write(".var/app/com.usebottles.bottles/data/bottles/bottles/Flat/bottle.yml",
          "Name: Flat\nRunner: sys-wine\n");
    Prefix(".var/app/com.usebottles.bottles/data/bottles/bottles/Flat");

    // Heroic: an older Proton's layout, a file too large, a FIFO, and Flathub's with its wine gone.
    Write(".config/heroic/GamesConfig/Quail.json",
          R"({"Quail": {"winePrefix": "~/Games/Heroic/Prefixes/default/Generals Heroic",
              "wineVersion": {"bin": ")" +
              home + R"(/.config/heroic/tools/proton/P7/proton", "type": "proton"}}})");
    Prefix("Games/Heroic/Prefixes/default/Generals Heroic/pfx");
    Program(".config/heroic/tools/proton/P7/dist/bin/wine");
    Write(".config/heroic/GamesConfig/Big.json",
          R"({"Big": {"winePrefix": "~/Games/zh2"}})" + std::string(1024 * 1024, ' '));
    Prefix("Games/zh2");
    ASSERT_EQ(mkfifo((home + "/.config/heroic/GamesConfig/Fifo.json").c_str(), 0600), 0);
    Write(
        ".var/app/com.heroicgameslauncher.hgl/config/heroic/GamesConfig/Flat.json",
        R"({"Flat": {"winePrefix": "~/Games/heroicflat", "wineVersion": {"bin": "/nowhere/wine", "type": "wine"}}})");
    Prefix("Games/heroicflat");

    EXPECT_EQ(Found(),
              "Lutris|Generals|~/Games/generals|~/.local/share/lutris/runners/wine/l8/bin/wine\n"
              "Lutris|Zero Hour|~/Games/zh|\n"
              "Lutris|Flat|~/Games/flat|\n"
              "Bottles|Custom|~/mnt/Custom|~/.local/share/bottles/runners/GE/files/bin/wine\n"
              "Bottles|Generals|~/.local/share/bottles/bottles/Generals|~/.local/share/bottles/runners/soda/"
              "bin/wine\n"
              "Bottles|Flat|~/.var/app/com.usebottles.bottles/data/bottles/bottles/Flat|\n"
              "Heroic|Generals Heroic|~/Games/Heroic/Prefixes/default/Generals Heroic/pfx|"
              "~/.config/heroic/tools/proton/P7/dist/bin/wine\n"
              "Heroic|heroicflat|~/Games/heroicflat|\n");
}

TEST_F(LauncherConfigs, FindsNothingWithoutAHomeOrWithRelativeFolders) {
    Write(".local/share/lutris/games/zh-2.yml", "game:\n  prefix: " + home + "/Games/zh\n");
    Prefix("Games/zh");
    ASSERT_EQ(Found(), "Lutris|Zh|~/Games/zh|\n");
    homes = {"", "", ""};
    EXPECT_EQ(Found(), "");
    // From the folder above the home, relative folders would lead to it.
    const fs::path current = fs::current_path();
    fs::current_path(root);
    homes = {"home", "home/.config", "home/.local/share"};
    const std::string relative = Found();
    fs::current_path(current);
    EXPECT_EQ(relative, "");
}

TEST(LauncherHomes, FollowTheXdgRules) {
    struct Case {
        const char* name;
        std::optional<std::string> home, config, data;
        std::string expected;
    };
    const Case cases[] = {
        {"defaults", "/h", std::nullopt, std::nullopt, "/h|/h/.config|/h/.local/share"},
        {"set", "/h", "/c", "/d", "/h|/c|/d"},
        {"relative ones ignored", "/h", "c", "", "/h|/h/.config|/h/.local/share"},
    };
    const auto keep = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto put = [](const char* name, const std::optional<std::string>& value) {
        if (value) {
            setenv(name, value->c_str(), 1);
        } else {
            unsetenv(name);
        }
    };
    const std::optional<std::string> saved[] = {keep("HOME"), keep("XDG_CONFIG_HOME"), keep("XDG_DATA_HOME")};
    for (const auto& c : cases) {
        put("HOME", c.home);
        put("XDG_CONFIG_HOME", c.config);
        put("XDG_DATA_HOME", c.data);
        const LauncherHomes homes = LauncherHomesFromEnvironment();
        EXPECT_EQ(homes.home + "|" + homes.configHome + "|" + homes.dataHome, c.expected) << c.name;
    }
    put("HOME", saved[0]);
    put("XDG_CONFIG_HOME", saved[1]);
    put("XDG_DATA_HOME", saved[2]);
}

} // namespace
} // namespace vantrel
