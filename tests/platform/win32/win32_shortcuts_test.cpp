// Shell links that play one mod, read back through IShellLinkW and started the way the shell starts them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/case_fold.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_shortcuts.h"
#include "platform/win32/windows_api.h"
#include "startup/command_line.h"
#include "support/temp_folder.h"

#include <shlobj.h>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string ThisProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return win32::Utf8(std::wstring_view(path, length));
}

std::string SystemProgram(const char* name) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    return win32::Utf8(std::wstring_view(folder, length)) + "\\" + name;
}

ShortcutTarget Target(const std::string& name) {
    return {name, "C:\\Vantrel\\" + name + ".vtl"};
}

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(win32::Utf8(entry.path().filename().wstring()));
    }
    return names;
}

TEST(Win32Shortcuts, TheLinkStartsThisProgramWithTheModsDefinition) {
    test::TempFolder folder;
    const std::string links = win32::Utf8(folder.Path().wstring());
    const std::string program = ThisProgram();
    Win32Shortcuts shortcuts(links);
    const char* names[] = {
        "Plain",
        "My  Mod",
        "  leading blanks",
        "it's (v2) & more; 100% [x] {y} ^z",
        "G\xC3\xA9n\xC3\xA9raux \xD0\x93\xD0\xB5\xD0\xBD \xE6\x97\xA5\xE6\x9C\xAC",
        "-leading dash",
        "--set-aside-journal",
        "a=b,c",
    };
    for (const std::string name : names) {
        SCOPED_TRACE(name);
        const ShortcutTarget target = Target(name);
        ASSERT_TRUE(shortcuts.Create(target)) << shortcuts.LastError();
        EXPECT_EQ(shortcuts.PathOf(target), links + "\\" + name + ".lnk");
        const auto link = ReadShellLink(shortcuts.PathOf(target));
        ASSERT_TRUE(link);
        EXPECT_TRUE(EqualsIgnoringCase(link->path, program)) << link->path;
        EXPECT_EQ(link->arguments, "-SILENT " + name);
        EXPECT_TRUE(EqualsIgnoringCase(link->workingFolder, program.substr(0, program.rfind('\\'))))
            << link->workingFolder;
        EXPECT_TRUE(EqualsIgnoringCase(link->iconPath, program)) << link->iconPath;
        EXPECT_EQ(link->iconIndex, 0);
        // The shell starts "<path>" <arguments>; the program reads the text after its own path.
        for (const std::string& line : {"\"" + link->path + "\" " + link->arguments, link->path + " " + link->arguments}) {
            EXPECT_EQ(SilentModFileFromCommandLine("C:\\Vantrel", ArgumentTextOf(win32::Wide(line))),
                      target.definitionFile)
                << line;
        }

        // One that names its game: a link of its own, the play form, the name in quotes where it holds
        // blanks; removing the mod's shortcut of that game takes it away, whatever its switches.
        ShortcutTarget withGame = target;
        withGame.game = "zerohour";
        withGame.switches = "-win -nologo";
        ASSERT_TRUE(shortcuts.Create(withGame)) << shortcuts.LastError();
        EXPECT_EQ(shortcuts.PathOf(withGame), links + "\\" + name + " (Zero Hour).lnk");
        const auto gameLink = ReadShellLink(shortcuts.PathOf(withGame));
        ASSERT_TRUE(gameLink);
        const std::string quoted = name.find(' ') == std::string::npos ? name : "\"" + name + "\"";
        EXPECT_EQ(gameLink->arguments, "--play " + quoted + " --game zerohour --switches \"-win -nologo\"");
        EXPECT_TRUE(shortcuts.Remove({name, target.definitionFile, "zerohour"})) << shortcuts.LastError();
        EXPECT_FALSE(fs::exists(fs::path(win32::Wide(shortcuts.PathOf(withGame)))));
    }
    EXPECT_EQ(Entries(folder.Path()).size(), std::size(names)) << "no temporary file left";
}

TEST(Win32Shortcuts, ReplacesAndRemovesOnlyItsOwnLinks) {
    test::TempFolder folder;
    const std::string links = win32::Utf8(folder.Path().wstring());
    Win32Shortcuts shortcuts(links);
    const ShortcutTarget mine = Target("Rise of the Reds");
    ASSERT_TRUE(shortcuts.Create(mine)) << shortcuts.LastError();
    ASSERT_TRUE(shortcuts.Create(mine)) << shortcuts.LastError();
    EXPECT_EQ(Entries(folder.Path()), std::vector<std::string>{"Rise of the Reds.lnk"});

    // A link of the mod's name that starts another program is the player's: kept as it is.
    const ShortcutTarget theirs = Target("Zero Hour");
    Win32Shortcuts other(links, SystemProgram("cmd.exe"));
    ASSERT_TRUE(other.Create(theirs)) << other.LastError();
    EXPECT_FALSE(shortcuts.Create(theirs));
    EXPECT_NE(shortcuts.LastError().find(links + "\\Zero Hour.lnk: "), std::string::npos) << shortcuts.LastError();
    EXPECT_TRUE(shortcuts.Remove(theirs));
    const auto kept = ReadShellLink(other.PathOf(theirs));
    ASSERT_TRUE(kept);
    EXPECT_TRUE(EqualsIgnoringCase(kept->path, SystemProgram("cmd.exe"))) << kept->path;

    EXPECT_TRUE(shortcuts.Remove(mine)) << shortcuts.LastError();
    EXPECT_EQ(Entries(folder.Path()), std::vector<std::string>{"Zero Hour.lnk"});
    EXPECT_TRUE(shortcuts.Remove(mine)) << "none left to remove";
}

TEST(Win32Shortcuts, AFailureSaysWhereAndWhy) {
    test::TempFolder folder;
    const std::string links = win32::Utf8(folder.Path().wstring()) + "\\missing";
    Win32Shortcuts shortcuts(links);
    const ShortcutTarget target = Target("Shockwave");
    EXPECT_FALSE(shortcuts.Create(target));
    EXPECT_NE(shortcuts.LastError().find(links + "\\Shockwave.lnk: "), std::string::npos) << shortcuts.LastError();
    EXPECT_TRUE(Entries(folder.Path()).empty());
}

TEST(Win32Shortcuts, GoToTheDesktopByDefault) {
    wchar_t* desktop = nullptr;
    ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop)));
    const std::string expected = win32::Utf8(desktop) + "\\Shockwave.lnk";
    CoTaskMemFree(desktop);
    Win32Shortcuts shortcuts;
    EXPECT_EQ(shortcuts.PathOf(Target("Shockwave")), expected);
}

} // namespace
} // namespace vantrel
