#include "platform/wine/wine_prefix.h"
#include "platform/wine/wine_game_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/temp_folder.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// A prefix with C: on drive_c, D: on a folder outside it, and a nested E: inside D:.
class WinePrefixTest : public ::testing::Test {
protected:
    WinePrefixTest() : root(fs::canonical(folder.Path()).string()), prefix(root + "/prefix") {
        fs::create_directories(root + "/prefix/dosdevices");
        fs::create_directories(root + "/prefix/drive_c/Program Files/EA Games");
        fs::create_directories(root + "/media/Mods/Example");
        fs::create_directories(root + "/media/Mods/Nested");
        fs::create_symlink("../drive_c", root + "/prefix/dosdevices/c:");
        fs::create_symlink(root + "/media", root + "/prefix/dosdevices/d:");
        fs::create_symlink(root + "/media/Mods/Nested", root + "/prefix/dosdevices/e:");
        test::WriteBytes(root + "/media/Mods/Example/Example.big", "big");
    }

    test::TempFolder folder;
    std::string root;
    WinePrefix prefix;
};

TEST_F(WinePrefixTest, MapsWindowsPathsThroughTheDrives) {
    const std::string driveC = root + "/prefix/dosdevices/c:";
    const std::string driveD = root + "/prefix/dosdevices/d:";
    struct Case {
        std::string windows;
        std::optional<std::string> host;
    };
    const Case cases[] = {
        {"C:\\Program Files\\EA Games", driveC + "/Program Files/EA Games"},
        {"c:\\program files\\ea games\\", driveC + "/Program Files/EA Games"}, // found without regard to case
        {"C:/Program Files/EA Games", driveC + "/Program Files/EA Games"},
        {"C:\\Program Files\\\\EA Games", driveC + "/Program Files/EA Games"},
        {"C:\\Program Files\\.\\x\\..\\EA Games", driveC + "/Program Files/EA Games"},
        {"C:\\..\\..\\Program Files", driveC + "/Program Files"},              // never above the root
        {"C:\\", driveC},
        {"C:", driveC},
        {"D:\\MODS\\example\\EXAMPLE.BIG", driveD + "/Mods/Example/Example.big"},
        {"D:\\Mods\\New Folder\\File.txt", driveD + "/Mods/New Folder/File.txt"}, // missing parts kept as given
        {"D:\\mods\\New\\example", driveD + "/Mods/New/example"},               // no lookup below a missing part
        {"\\\\?\\C:\\Program Files", driveC + "/Program Files"},
        {"Z:\\tmp", std::string("/tmp")},                                 // no z: link: Z: is "/"
        {"Z:\\", std::string("/")},
        {"Q:\\x", std::nullopt},
        {"\\\\server\\share\\x", std::nullopt},
        {"\\\\?\\UNC\\server\\share\\x", std::nullopt},
        {"\\\\.\\pipe\\x", std::nullopt},
        {std::string("C:\\Program Files\0\\x", 20), std::nullopt},
        {"C:\\Program\tFiles", std::nullopt},
        {"generals.exe", std::string("generals.exe")},
        {"Data\\INI", std::string("Data/INI")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(prefix.ToHostPath(c.windows), c.host) << c.windows;
    }
}

TEST_F(WinePrefixTest, KeepsTheLastNameAsSpelledWhenAsked) {
    const std::string driveC = root + "/prefix/dosdevices/c:";
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"c:\\program files\\ea games", driveC + "/Program Files/ea games"},
        {"C:\\Program Files\\EA Games\\", driveC + "/Program Files/EA Games"},
        {"C:\\", driveC + "/"},
        {"Z:\\", std::string("/")},
        {"Z:\\tmp\\X", std::string("/tmp/X")},
        {"data\\ini", std::string("data/ini")},
        {"Q:\\x", std::nullopt},
    };
    for (const auto& [windows, host] : cases) {
        EXPECT_EQ(prefix.ToHostPathExactLeaf(windows), host) << windows;
    }
}

TEST_F(WinePrefixTest, KnowsWhatMakesItsDrives) {
    fs::create_directory_symlink(root + "/prefix/drive_c", root + "/media/LinkToC");
    const std::pair<std::string, bool> cases[] = {
        {"/", true},
        {root + "/prefix/drive_c", true},
        {root + "/prefix/dosdevices/c:", true},
        {root + "/prefix/dosdevices/c:/", true},
        {root + "/prefix/dosdevices/q:", true},
        {root + "/prefix/dosdevices", true},
        {root + "/media/Mods/Nested", true},
        {root + "/prefix/dosdevices/c:/Program Files", false},
        {root + "/media/LinkToC", false},
        {root + "/media/Mods", false},
    };
    for (const auto& [host, drive] : cases) {
        EXPECT_EQ(prefix.IsDriveEntry(host), drive) << host;
    }
}

TEST_F(WinePrefixTest, MapsHostPathsToTheClosestDrive) {
    struct Case {
        std::string host;
        std::optional<std::string> windows;
    };
    const Case cases[] = {
        {root + "/prefix/drive_c/Program Files", "C:\\Program Files"},
        {root + "/prefix/dosdevices/c:/Program Files/", "C:\\Program Files"},
        {root + "/prefix/drive_c", "C:\\"},
        {root + "/media/Mods/Example/Example.big", "D:\\Mods\\Example\\Example.big"},
        {root + "/media/Mods/Nested", "E:\\"},
        {root + "/media/Mods/Nested/Deeper/x", "E:\\Deeper\\x"},
        {"/usr/share", "Z:\\usr\\share"},
        {"/", "Z:\\"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(prefix.ToWindowsPath(c.host), c.windows) << c.host;
    }
}

TEST_F(WinePrefixTest, ListsItsDrivesWithZ) {
    EXPECT_EQ(prefix.Drives(), (std::vector<char>{'C', 'D', 'E', 'Z'}));
    fs::create_symlink("/", root + "/prefix/dosdevices/z:");
    fs::create_symlink("/nonexistent-drive-target", root + "/prefix/dosdevices/f:");
    EXPECT_EQ(prefix.Drives(), (std::vector<char>{'C', 'D', 'E', 'Z'}));
}

} // namespace
} // namespace vantrel

namespace vantrel {
namespace {

TEST_F(WinePrefixTest, GivesSteamsHostFoldersThroughTheDrives) {
    const std::string home = root + "/home";
    fs::create_directories(home + "/.local/share/Steam");
    fs::create_directories(home + "/.steam");
    fs::create_directory_symlink(home + "/.local/share/Steam", home + "/.steam/steam");
    fs::create_directories(home + "/.var/app/com.valvesoftware.Steam/.local/share/Steam");
    fs::create_directories(home + "/snap/steam/common/.local/share/Steam");
    fs::create_directories(root + "/media/SteamLibrary");
    const auto onZ = [](std::string path) {
        std::replace(path.begin(), path.end(), '/', '\\');
        return "Z:" + path;
    };
    WineGameFiles files(prefix, home);
    EXPECT_EQ(files.SteamFolders(),
              (std::vector<std::string>{onZ(home + "/.local/share/Steam"),
                                        onZ(home + "/.var/app/com.valvesoftware.Steam/.local/share/Steam"),
                                        onZ(home + "/snap/steam/common/.local/share/Steam")}))
        << "the link and the folder it names count once";
    EXPECT_EQ(WineGameFiles(prefix, root + "/nobody").SteamFolders(), std::vector<std::string>{});

    struct Case {
        std::string steamPath;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {root + "/media/SteamLibrary", "D:\\SteamLibrary"},      // the drive that holds it most closely
        {root + "/media/SteamLibrary/", "D:\\SteamLibrary"},
        {home + "/.steam/steam", onZ(home + "/.local/share/Steam")},
        {root + "/media/Unplugged", std::nullopt},               // a card that is not in
        {root + "/media/Mods/Example/Example.big", std::nullopt}, // no folder
        {"SteamLibrary", std::nullopt},                           // relative: not a path Steam writes
        {"D:\\SteamLibrary", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(files.MachinePath(c.steamPath), c.expected) << c.steamPath;
    }

    // The files of a folder by the start and end of their names, and small files whole.
    test::WriteBytes(root + "/media/SteamLibrary/steamapps/appmanifest_1.acf", "one");
    test::WriteBytes(root + "/media/SteamLibrary/steamapps/appmanifest_2.acf.tmp", "two");
    test::WriteBytes(root + "/media/SteamLibrary/steamapps/libraryfolders.vdf", "vdf");
    fs::create_directories(root + "/media/SteamLibrary/steamapps/appmanifest_3.acf");
    EXPECT_EQ(files.FileNames("d:\\steamlibrary\\STEAMAPPS", "appmanifest_", ".acf"),
              std::vector<std::string>{"appmanifest_1.acf"});
    EXPECT_EQ(files.ReadSmallFile("D:\\SteamLibrary\\steamapps\\appmanifest_1.acf", 3), "one");
    EXPECT_EQ(files.ReadSmallFile("D:\\SteamLibrary\\steamapps\\appmanifest_1.acf", 2), std::nullopt);
    EXPECT_EQ(files.ReadSmallFile("D:\\SteamLibrary\\steamapps\\appmanifest_3.acf", 100), std::nullopt);
    EXPECT_TRUE(files.FileExists("d:\\steamlibrary\\steamapps\\APPMANIFEST_1.acf"));
    EXPECT_FALSE(files.FileExists("D:\\SteamLibrary\\steamapps\\appmanifest_3.acf"));
}

} // namespace
} // namespace vantrel

#include <cstdlib>

#include "platform/native_platform.h"

namespace vantrel {
namespace {

// Sets an environment variable for one test and puts it back as it was.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedVariable() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(WinePrefixTest, TakesAProtonPrefixOnlyWhenNoPrefixWasNamed) {
    const std::string proton = root + "/home/.local/share/Steam/steamapps/compatdata/2732960/pfx";
    fs::create_directories(proton + "/dosdevices");
    test::WriteBytes(proton + "/system.reg", "WINE REGISTRY Version 2\n");
    ScopedVariable home("HOME", (root + "/home").c_str());
    std::string protonOnZ = "Z:" + proton;
    std::replace(protonOnZ.begin(), protonOnZ.end(), '/', '\\');
    {
        ScopedVariable unnamed("WINEPREFIX", nullptr);
        const NativePlatform platform = CreateNativePlatform({});
        EXPECT_FALSE(platform.machineFixed);
        const auto taken = PlatformOfPrefix(platform, protonOnZ);
        ASSERT_TRUE(taken);
        EXPECT_TRUE(taken->machineFixed) << "one machine per run";
        EXPECT_EQ(std::static_pointer_cast<WinePrefix>(taken->machine)->Root(), proton);
        EXPECT_FALSE(PlatformOfPrefix(platform, protonOnZ + "\\..\\missing"));
        EXPECT_FALSE(PlatformOfPrefix(platform, "Q:\\pfx"));
    }
    ScopedVariable named("WINEPREFIX", (root + "/prefix").c_str());
    const NativePlatform platform = CreateNativePlatform({});
    EXPECT_TRUE(platform.machineFixed);
    EXPECT_FALSE(PlatformOfPrefix(platform, protonOnZ)) << "a prefix the user named always wins";
}

} // namespace
} // namespace vantrel
