// Desktop entries that play one mod, read back the way the desktop entry rules tell a menu to read them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/wine/desktop_shortcuts.h"
#include "platform/wine/wine_process_environment.h"
#include "startup/command_line.h"
#include "support/temp_folder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// The escapes of a string value: \s, \n, \t, \r and \\; anything else after a backslash is an error.
std::optional<std::string> UnescapeString(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out.push_back(value[i]);
            continue;
        }
        if (++i == value.size()) {
            return std::nullopt;
        }
        const std::string_view from = "sntr\\", to = " \n\t\r\\";
        const std::size_t which = from.find(value[i]);
        if (which == std::string_view::npos) {
            return std::nullopt;
        }
        out.push_back(to[which]);
    }
    return out;
}

// Exec, once unescaped, split into arguments: blanks between them, an argument quoted in whole or
// free of reserved characters, ", `, $ and \ escaped inside quotes, and %% for a percent sign.
std::optional<std::vector<std::string>> SplitExec(std::string_view exec) {
    const std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false, quoted = false, closed = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
                closed = true;
            } else if (c == '`' || c == '$') {
                return std::nullopt; // unescaped inside quotes
            } else if (c == '\\') {
                if (++i == exec.size() || std::string_view("\"`$\\").find(exec[i]) == std::string_view::npos) {
                    return std::nullopt;
                }
                current.push_back(exec[i]);
            } else {
                current.push_back(c);
            }
            continue;
        }
        if (c == ' ') {
            if (inArgument) {
                arguments.push_back(current);
            }
            current.clear();
            inArgument = closed = false;
            continue;
        }
        if (closed || (c == '"' && inArgument)) {
            return std::nullopt; // quoted only in part
        }
        if (c == '"') {
            quoted = inArgument = true;
        } else if (reserved.find(c) != std::string_view::npos) {
            return std::nullopt;
        } else {
            current.push_back(c);
            inArgument = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    for (auto& argument : arguments) {
        std::string plain;
        for (std::size_t i = 0; i < argument.size(); ++i) {
            if (argument[i] == '%') {
                if (i + 1 == argument.size() || argument[i + 1] != '%') {
                    return std::nullopt; // a field code
                }
                ++i;
            }
            plain.push_back(argument[i]);
        }
        argument = plain;
    }
    return arguments;
}

// The keys of the one group, each value unescaped; nullopt for a malformed entry.
std::optional<std::map<std::string, std::string>> ReadEntry(const std::string& text) {
    const std::string header = "[Desktop Entry]\n";
    if (!text.starts_with(header) || !text.ends_with('\n')) {
        return std::nullopt;
    }
    std::map<std::string, std::string> keys;
    for (std::size_t start = header.size(); start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            return std::nullopt;
        }
        std::string_view value = std::string_view(line).substr(equals + 1);
        while (!value.empty() && value.front() == ' ') { // blanks after '=' are not the value's
            value.remove_prefix(1);
        }
        const auto unescaped = UnescapeString(value);
        if (!unescaped || !keys.emplace(line.substr(0, equals), *unescaped).second) {
            return std::nullopt;
        }
    }
    return keys;
}

const std::string kFolder = "C:\\users\\player\\Vantrel";

ShortcutTarget Target(const std::string& name) {
    return {name, kFolder + "\\" + name + ".vtl"};
}

class DesktopShortcutsTest : public ::testing::Test {
protected:
    DesktopShortcutSettings Settings(std::vector<std::string> environment = {}) const {
        return {(folder.Path() / "data/applications").string(), "/opt/C&C Games/bin/vantrel", std::move(environment),
                "/home/player/.wine"};
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.Path() / "data/applications")) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::TempFolder folder;
};

TEST_F(DesktopShortcutsTest, ExecGivesBackTheProgramTheSwitchAndTheName) {
    const char* names[] = {
        "Plain",
        "A \"B\" & C",
        "100% Real %f %u %%",
        "$HOME and ${PATH}",
        "`id` $(id)",
        "back\\slash and ends in one\\",
        "it's (v2); a|b <c> ~d *e ?f #g",
        "  blanks at either end  ",
        "G\xC3\xA9n\xC3\xA9raux \xD0\x93\xD0\xB5\xD0\xBD\xD0\xB5\xD1\x80\xD0\xB0\xD0\xBB \xE6\x97\xA5\xE6\x9C\xAC",
        "-leading dash",
        "--set-aside-journal",
        "=equals",
        "tab\there, new\nline and return\r",
        "\\\\\"\"$$``%%",
    };
    const std::vector<std::string> environments[] = {
        {},
        {"WINEPREFIX=/home/player/Wine Prefixes/C&C \"Zero\" $1", "VANTREL_HOME=/home/player/mods 100%",
         "WINE=wine-staging"},
    };
    for (const auto& environment : environments) {
        const DesktopShortcutSettings settings = Settings(environment);
        DesktopShortcuts shortcuts(settings);
        for (const std::string name : names) {
            SCOPED_TRACE(name);
            const ShortcutTarget target = Target(name);
            ASSERT_TRUE(shortcuts.Create(target)) << shortcuts.LastError();
            const auto keys = ReadEntry(test::ReadBytes(shortcuts.PathOf(target)));
            ASSERT_TRUE(keys);
            EXPECT_EQ(keys->at("Type"), "Application");
            EXPECT_EQ(keys->at("Name"), name);
            EXPECT_EQ(keys->at("Icon"), "io.github.vantrel.Vantrel");
            EXPECT_EQ(keys->at("Categories"), "Game;");
            const auto argv = SplitExec(keys->at("Exec"));
            ASSERT_TRUE(argv) << keys->at("Exec");
            std::vector<std::string> expected;
            if (!environment.empty()) {
                expected.emplace_back("env");
                expected.insert(expected.end(), environment.begin(), environment.end());
            }
            expected.insert(expected.end(), {settings.program, "-SILENT", name});
            ASSERT_EQ(*argv, expected);
            // The program joins what follows its own name, and silent mode finds the same definition.
            const WinePrefix prefix("/home/player/.wine");
            WineProcessEnvironment started(prefix, std::vector<std::string>(argv->end() - 2, argv->end()));
            EXPECT_EQ(SilentModFileFromCommandLine(kFolder, started.ArgumentText()), target.definitionFile);

            // One that names its game plays the mod with that game and the switches.
            ShortcutTarget withGame = target;
            withGame.game = "zerohour";
            withGame.switches = "-win -nologo";
            ASSERT_TRUE(shortcuts.Create(withGame)) << shortcuts.LastError();
            const auto gameKeys = ReadEntry(test::ReadBytes(shortcuts.PathOf(withGame)));
            ASSERT_TRUE(gameKeys);
            EXPECT_EQ(gameKeys->at("Name"), name + " (Zero Hour)");
            const auto gameArgv = SplitExec(gameKeys->at("Exec"));
            ASSERT_TRUE(gameArgv) << gameKeys->at("Exec");
            const auto play = PlayFromArguments(std::vector<std::string>(gameArgv->end() - 6, gameArgv->end()));
            ASSERT_TRUE(play);
            EXPECT_EQ(play->error, "");
            EXPECT_EQ(play->modName, name);
            EXPECT_EQ(play->game, "zerohour");
            EXPECT_EQ(play->switches, "-win -nologo");
        }
    }
}

// Where the desktop's own tools are installed: the validator accepts every entry, and GLib's launcher
// starts the program with the environment and arguments the entry names.
TEST_F(DesktopShortcutsTest, TheDesktopsToolsReadTheEntriesTheSameWay) {
    if (access("/usr/bin/desktop-file-validate", X_OK) != 0 || access("/usr/bin/gio", X_OK) != 0) {
        GTEST_SKIP() << "desktop-file-validate or gio is not installed";
    }
    const fs::path program = folder.Path() / "args.sh";
    const fs::path seen = folder.Path() / "args.sh.out";
    test::WriteBytes(program, "#!/bin/sh\n{ printf '%s\\0' \"$WINEPREFIX\"; for a in \"$@\"; do printf '%s\\0' \"$a\"; done; } "
                              ">\"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
    fs::permissions(program, fs::perms::owner_exec, fs::perm_options::add);
    DesktopShortcutSettings settings = Settings({"WINEPREFIX=/home/player/C&C \"Wine\" $1 `x` \\ 100%"});
    settings.program = program.string();
    DesktopShortcuts shortcuts(settings);
    const char* names[] = {"A \"B\" & C", "100% Real %f", "$HOME `id` $(id) \\", "  it's; (v2) #1 ~ *?  ",
                           "G\xC3\xA9n\xC3\xA9raux \xE6\x97\xA5", "-leading dash", "tab\there, new\nline"};
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        const ShortcutTarget target = Target(name);
        ASSERT_TRUE(shortcuts.Create(target)) << shortcuts.LastError();
        const std::string entry = "'" + shortcuts.PathOf(target) + "'";
        EXPECT_EQ(std::system(("desktop-file-validate " + entry).c_str()), 0);
        fs::remove(seen);
        ASSERT_EQ(std::system(("gio launch " + entry + " >/dev/null 2>&1").c_str()), 0);
        for (int wait = 0; wait < 100 && !fs::exists(seen); ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        std::vector<std::string> started;
        const std::string text = test::ReadBytes(seen);
        for (std::size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
            started.push_back(text.substr(start, end - start));
        }
        EXPECT_EQ(started, (std::vector<std::string>{settings.environment[0].substr(11), "-SILENT", name}));
    }
}

TEST_F(DesktopShortcutsTest, QuotingFollowsTheRulesExamples) {
    const struct {
        const char* argument;
        const char* exec;  // the argument in Exec
        const char* value; // and as the file holds it
    } cases[] = {
        {"plain", "plain", "plain"},
        {"", "\"\"", "\"\""},
        {"a b", "\"a b\"", "\"a b\""},
        {"100%", "100%%", "100%%"},
        {"a\\b", "\"a\\\\b\"", "\"a\\\\\\\\b\""}, // four backslashes in the file for one
        {"$x", "\"\\$x\"", "\"\\\\$x\""},
        {"`x`", "\"\\`x\\`\"", "\"\\\\`x\\\\`\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\"", "\"say \\\\\"hi\\\\\"\""},
        {"it's", "\"it's\"", "\"it's\""},
        {"a=b", "a=b", "a=b"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DesktopExecArgument(c.argument), c.exec) << c.argument;
        EXPECT_EQ(DesktopStringValue(c.exec), c.value) << c.argument;
    }
    EXPECT_EQ(DesktopStringValue(" a b "), "\\sa b\\s");
    EXPECT_EQ(DesktopStringValue("a\tb\nc\rd"), "a\\tb\\nc\\rd");
}

TEST_F(DesktopShortcutsTest, EveryModAndMachineGetsAnEntryOfItsOwn) {
    std::vector<std::pair<DesktopShortcutSettings, ShortcutTarget>> made;
    for (const char* name : {"A B", "A_B", "A?B", "A-B", "a b", "AB", "A  B", "\xC3\x84 B", "\xC3\x85 B", ""}) {
        made.emplace_back(Settings(), Target(name));
    }
    made.emplace_back(Settings(), ShortcutTarget{"A B", "C:\\Other folder\\A B.vtl"});
    DesktopShortcutSettings otherMachine = Settings();
    otherMachine.machine = "/home/player/.wine-zh";
    made.emplace_back(otherMachine, Target("A B"));
    made.emplace_back(Settings(), Target(std::string(251, 'x')));
    for (const char* game : {"generals", "zerohour"}) {
        ShortcutTarget withGame = Target("A B");
        withGame.game = game;
        made.emplace_back(Settings(), withGame);
    }

    std::set<std::string> paths;
    for (const auto& [settings, target] : made) {
        DesktopShortcuts shortcuts(settings);
        ASSERT_TRUE(shortcuts.Create(target)) << shortcuts.LastError();
        const std::string path = shortcuts.PathOf(target);
        const std::string file = fs::path(path).filename().string();
        EXPECT_TRUE(file.starts_with("vantrel-") && file.ends_with(".desktop")) << file;
        EXPECT_LE(file.size(), 100u) << file;
        EXPECT_EQ(file.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-."),
                  std::string::npos)
            << file;
        paths.insert(path);
    }
    EXPECT_EQ(paths.size(), made.size());
    EXPECT_EQ(Entries().size(), made.size());
}

TEST_F(DesktopShortcutsTest, CreatingAgainReplacesAndRemovingDeletes) {
    DesktopShortcutSettings settings = Settings();
    const ShortcutTarget target = Target("Rise of the Reds");
    {
        DesktopShortcuts shortcuts(settings);
        ASSERT_TRUE(shortcuts.Create(target));
    }
    settings.program = "/usr/games/vantrel";
    DesktopShortcuts shortcuts(settings);
    ASSERT_TRUE(shortcuts.Create(target)) << shortcuts.LastError();
    EXPECT_EQ(Entries().size(), 1u) << "one entry, no temporary file left";
    const auto keys = ReadEntry(test::ReadBytes(shortcuts.PathOf(target)));
    ASSERT_TRUE(keys);
    EXPECT_EQ(keys->at("Exec"), "/usr/games/vantrel -SILENT \"Rise of the Reds\"");
    EXPECT_EQ(fs::status(shortcuts.PathOf(target)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);

    const ShortcutTarget other = Target("Contra");
    ASSERT_TRUE(shortcuts.Create(other));
    EXPECT_TRUE(shortcuts.Remove(target)) << shortcuts.LastError();
    EXPECT_FALSE(fs::exists(shortcuts.PathOf(target)));
    EXPECT_TRUE(fs::exists(shortcuts.PathOf(other)));
    EXPECT_TRUE(shortcuts.Remove(target)) << "none left to remove";
}

TEST_F(DesktopShortcutsTest, AFailureSaysWhereAndWhyAndChangesNothing) {
    const std::string entry = DesktopShortcuts(Settings()).PathOf(Target("Shockwave"));
    const struct {
        const char* what;
        const char* name;
        std::function<void(DesktopShortcutSettings&)> arrange;
        std::string reason;
    } cases[] = {
        {"the applications folder's place holds a file", "Shockwave",
         [&](DesktopShortcutSettings& settings) {
             test::WriteBytes(folder.Path() / "data/file", "x");
             settings.applicationsFolder = (folder.Path() / "data/file/applications").string();
         },
         (folder.Path() / "data/file/applications").string() + ": "},
        {"a folder stands where the entry goes", "Shockwave",
         [&](DesktopShortcutSettings&) { test::WriteBytes(entry + "/kept", "x"); }, entry + ": "},
        {"an entry cannot carry a control character", "bell\a", [](DesktopShortcutSettings&) {}, "cannot carry"},
        {"env would take a program path with '=' for an assignment", "Shockwave",
         [](DesktopShortcutSettings& settings) {
             settings.environment = {"WINEPREFIX=/p"};
             settings.program = "/opt/a=b/vantrel";
         },
         "cannot carry"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::RemoveTree(folder.Path() / "data");
        DesktopShortcutSettings settings = Settings();
        c.arrange(settings);
        const std::string before = test::DescribeTree(folder.Path());
        DesktopShortcuts shortcuts(settings);
        EXPECT_FALSE(shortcuts.Create(Target(c.name)));
        EXPECT_NE(shortcuts.LastError().find(c.reason), std::string::npos) << shortcuts.LastError();
        EXPECT_EQ(test::DescribeTree(folder.Path()), before);
    }
}

TEST_F(DesktopShortcutsTest, SettingsComeFromTheEnvironment) {
    const char* variables[] = {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "WINEPREFIX", "VANTREL_HOME", "WINE",
                               "VANTREL_PREFIX_WINE"};
    std::vector<std::optional<std::string>> kept;
    for (const char* name : variables) {
        const char* value = std::getenv(name);
        kept.push_back(value ? std::optional<std::string>(value) : std::nullopt);
    }
    const std::string cwd = fs::current_path().string();
    const struct {
        std::vector<const char*> values; // in the order of `variables`, nullptr for unset
        std::string applications;
        std::vector<std::string> environment;
        // The Wine build of a prefix the program chose, which the entries carry with the prefix.
        std::optional<std::string> chosenWine = std::nullopt;
    } cases[] = {
        {{"/home/p", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}, "/home/p/.local/share/applications", {}},
        {{"/home/p", "/data/", "/state", "/prefixes/zh", nullptr, nullptr, "/runners/ge/bin/wine"},
         "/data/applications",
         {"WINEPREFIX=/prefixes/zh", "VANTREL_PREFIX_WINE=/runners/ge/bin/wine", "XDG_DATA_HOME=/data/",
          "XDG_STATE_HOME=/state"}},
        {{"/home/p", "relative", "relative", nullptr, "mods", "wine-staging", nullptr},
         "/home/p/.local/share/applications",
         {"VANTREL_HOME=" + cwd + "/mods", "WINE=wine-staging"}},
        {{"/home/p", "", "", "", "", "bin/wine", ""}, "/home/p/.local/share/applications", {"WINE=" + cwd + "/bin/wine"}},
        {{"/home/p", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
         "/home/p/.local/share/applications",
         {"WINEPREFIX=/home/p/.wine", "VANTREL_PREFIX_WINE=/home/p/.local/share/lutris/runners/wine/ge/bin/wine"},
         "/home/p/.local/share/lutris/runners/wine/ge/bin/wine"},
        {{"/home/p", nullptr, nullptr, nullptr, nullptr, nullptr, "/runners/old/bin/wine"},
         "/home/p/.local/share/applications",
         {"WINEPREFIX=/home/p/.wine"},
         ""},
        {{"/home/p", nullptr, nullptr, "/prefixes/zh", nullptr, "/opt/wine/bin/wine", nullptr},
         "/home/p/.local/share/applications",
         {"WINEPREFIX=/home/p/.wine", "VANTREL_PREFIX_WINE=/home/p/.local/share/lutris/runners/wine/ge/bin/wine",
          "WINE=/opt/wine/bin/wine"},
         "/home/p/.local/share/lutris/runners/wine/ge/bin/wine"},
    };
    for (const auto& c : cases) {
        for (std::size_t i = 0; i < std::size(variables); ++i) {
            c.values[i] ? setenv(variables[i], c.values[i], 1) : unsetenv(variables[i]);
        }
        const auto settings = DesktopShortcuts::SettingsFromEnvironment(WinePrefix("/home/p/.wine"), c.chosenWine);
        EXPECT_EQ(settings.applicationsFolder, c.applications);
        EXPECT_EQ(settings.environment, c.environment);
        EXPECT_EQ(settings.machine, "/home/p/.wine");
        EXPECT_TRUE(settings.program.starts_with('/')) << settings.program;
    }
    for (std::size_t i = 0; i < std::size(variables); ++i) {
        kept[i] ? setenv(variables[i], kept[i]->c_str(), 1) : unsetenv(variables[i]);
    }
}

} // namespace
} // namespace vantrel
