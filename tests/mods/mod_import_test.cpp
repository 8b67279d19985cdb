#include "launch/swap_cycle.h"
#include "mods/definition_reader.h"
#include "mods/import_names.h"
#include "mods/mod_import.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>; // relative path, content

// Runs a shell command in `folder`; the archive tools are Debian's own.
void Shell(const fs::path& folder, const std::string& command) {
    const std::string line = "cd '" + folder.string() + "' && (" + command + ") >/dev/null 2>&1";
    ASSERT_EQ(std::system(line.c_str()), 0) << command;
}

// The import's file layer with less room on the disk than there is.
class SmallDisk final : public ImportFiles {
public:
    SmallDisk(ImportFiles& files, std::uint64_t free) : files_(files), free_(free) {}
    std::string LastError() override { return files_.LastError(); }
    std::optional<std::string> MachinePathOfArgument(std::string_view a) override {
        return files_.MachinePathOfArgument(a);
    }
    std::unique_ptr<ModSource> OpenArchive(std::string_view p) override { return files_.OpenArchive(p); }
    std::unique_ptr<ModSource> OpenFolder(std::string_view p) override { return files_.OpenFolder(p); }
    EntryKind KindOf(std::string_view p) override { return files_.KindOf(p); }
    std::optional<std::uint64_t> FreeSpace(std::string_view) override { return free_; }
    bool CreateFolder(std::string_view p) override { return files_.CreateFolder(p); }
    std::unique_ptr<NewFile> CreateFile(std::string_view p) override { return files_.CreateFile(p); }
    bool Rename(std::string_view f, std::string_view t) override { return files_.Rename(f, t); }
    bool RemoveTree(std::string_view p) override { return files_.RemoveTree(p); }
    bool RemoveEmptyFolder(std::string_view p) override { return files_.RemoveEmptyFolder(p); }

private:
    ImportFiles& files_;
    std::uint64_t free_;
};

// Both games under C:\Games, with loose INI files as some installs have, the player's user data with
// a Maps folder for Zero Hour only, and Vantrel's definitions in C:\Vantrel.
class ModImport : public ::testing::Test {
protected:
    ModImport() {
        machine.Write("Games/Generals/generals.exe", "generals");
        machine.Write("Games/Generals/Data/INI/GameData.ini", "generals data");
        machine.Write("Games/ZH/generals.exe", "zero hour");
        machine.Write("Games/ZH/Data/INI/GameData.ini", "zh data");
        machine.Write("Games/ZH/Data/INI/Weapon.ini", "zh weapon");
        machine.Write("Users/Me/Documents/Command and Conquer Generals Zero Hour Data/Maps/Mine/Mine.map",
                      "mine");
        machine.Write("Users/Me/Documents/Command and Conquer Generals Data/Options.ini", "options");
        fs::create_directories(machine.HostPath("Vantrel"));
        fs::create_directories(machine.HostPath("Downloads"));
        values.definitionFolder = machine.WindowsPath("Vantrel");
        values.szGeneralsPath = machine.WindowsPath("Games\\Generals") + "\\";
        values.szZeroHourPath = machine.WindowsPath("Games\\ZH") + "\\";
    }

    std::string UserData(GameId game) const {
        return machine.WindowsPath(game == GameId::Generals
                                       ? "Users\\Me\\Documents\\Command and Conquer Generals Data"
                                       : "Users\\Me\\Documents\\Command and Conquer Generals Zero Hour Data");
    }

    // The mod's files in Downloads\<name>, as a folder or packed by `pack` into Downloads\<name><ext>.
    std::string Download(const std::string& name, const Files& files, const std::string& pack = "",
                         const std::string& extension = "") {
        const fs::path folder = machine.HostPath("Downloads/" + name);
        for (const auto& [path, content] : files) {
            machine.Write("Downloads/" + name + "/" + path, content);
        }
        if (pack.empty()) {
            return machine.WindowsPath("Downloads\\" + name);
        }
        const std::string archive = machine.HostPath("Downloads/" + name + extension).string();
        Shell(folder, pack + " '" + archive + "' .");
        fs::remove_all(folder);
        return machine.WindowsPath("Downloads\\" + name + extension);
    }

    ImportResult Import(const std::string& source, std::optional<GameId> game = std::nullopt,
                        ImportFiles* files = nullptr) {
        return ImportMod(values,
                         {files ? *files : machine.importFiles(),
                          machine.textFiles(),
                          messages,
                          {},
                          [this](GameId g) { return UserData(g); }},
                         {source, "", game});
    }

    // Everything on the machine but the Downloads folder.
    std::string Machine() const {
        std::string tree;
        for (const char* top : {"Games", "Users", "Vantrel"}) {
            tree += test::DescribeTree(machine.HostPath(top));
        }
        return tree;
    }

    test::TestMachine machine;
    ProgramValues values;
    test::RecordingMessages messages;
};

TEST_F(ModImport, PlacesEveryLayoutWhereTheGameReadsIt) {
    struct Case {
        std::string name;
        Files files;
        std::optional<GameId> game;
        GameId expectedGame;
        // Files of the machine while the game runs, "path content", each expected.
        std::vector<std::string> during;
        std::vector<std::string> leftOut;
    };
    const std::string zh = "Games/ZH/";
    const std::string zhMaps = "Users/Me/Documents/Command and Conquer Generals Zero Hour Data/Maps/";
    const Case cases[] = {
        {"Several GIB files",
         {{"!ModA.gib", "a"}, {"!ModB.gib", "b"}, {"Readme.txt", "Needs Zero Hour 1.04"}},
         std::nullopt,
         GameId::ZeroHour,
         {zh + "!ModA.big a", zh + "!ModB.big b", zh + "generals.exe zero hour"},
         {"Readme.txt: a read-me"}},
        {"One BIG file in a wrapper folder",
         {{"Cold War 2.1/!ColdWar.big", "big"},
          {"Cold War 2.1/Screenshots/1.jpg", "pic"},
          {"Install.txt", "x"}},
         GameId::ZeroHour,
         GameId::ZeroHour,
         {zh + "!ColdWar.big big"},
         {"Install.txt: a read-me", "Cold War 2.1\\Screenshots: a folder the game does not read"}},
        {"Loose Data merged with the game's",
         {{"Data/INI/Weapon.ini", "mod weapon"},
          {"Data/INI/Object/Tank.ini", "tank"},
          {"Art/Textures/t.dds", "t"}},
         GameId::ZeroHour,
         GameId::ZeroHour,
         {zh + "Data/INI/Weapon.ini mod weapon", zh + "Data/INI/GameData.ini zh data",
          zh + "Data/INI/Object/Tank.ini tank", zh + "Data/INI/Weapon.ini.original zh weapon",
          zh + "Art/Textures/t.dds t"},
         {}},
        {"Maps into the user data folder",
         {{"Maps/Desert/Desert.map", "desert"}, {"Lake.map", "lake"}, {"ZH maps.txt", "x"}},
         std::nullopt,
         GameId::ZeroHour,
         {zhMaps + "Desert/Desert.map desert", zhMaps + "Lake/Lake.map lake", zhMaps + "Mine/Mine.map mine"},
         {}},
        {"Files of the mod's top level under the game's folders",
         {{"Weapon.ini", "mod weapon"}, {"INI/Object/Tank.ini", "tank"}, {"Tank.w3d", "model"}},
         GameId::ZeroHour,
         GameId::ZeroHour,
         {zh + "Data/INI/Weapon.ini mod weapon", zh + "Data/INI/Object/Tank.ini tank",
          zh + "Art/W3D/Tank.w3d model"},
         {}},
        {"A mod for Generals",
         {{"!Gen.big", "gen"}, {"Data/INI/GameData.ini", "mod data"}},
         std::nullopt,
         GameId::Generals,
         {"Games/Generals/!Gen.big gen", "Games/Generals/Data/INI/GameData.ini mod data"},
         {}},
    };
    const std::vector<std::pair<std::string, std::string>> packings = {
        {"", ""}, {"zip -qry", ".zip"}, {"7zz a -bso0 -bsp0", ".7z"}, {"bsdtar -czf", ".tar.gz"}};
    int number = 0;
    for (const auto& c : cases) {
        for (const auto& [pack, extension] : packings) {
            const std::string what = c.name + " " + (extension.empty() ? "folder" : extension);
            const std::string before = Machine();
            // Letters only: a number would be taken for a version and dropped from the name.
            const std::string name = std::string("Mod ") + static_cast<char>('A' + number / 26) +
                                     static_cast<char>('A' + number % 26);
            ++number;
            const ImportResult result = Import(Download(name, c.files, pack, extension), c.game);
            ASSERT_TRUE(result.ok) << what << ": " << result.error;
            EXPECT_EQ(result.name, name) << what;
            EXPECT_EQ(result.game, c.expectedGame) << what;
            for (const std::string& line : c.leftOut) {
                EXPECT_NE(ImportSummary(result).find(line), std::string::npos) << what << "\n"
                                                                               << ImportSummary(result);
            }

            ProgramValues played = values;
            ModRecord mod;
            ASSERT_TRUE(ReadModDefinition(machine.textFiles(), played, result.definition, mod)) << what;
            played.Mods = {mod};
            played.nModCount = 1;
            test::RecordingRunner runner;
            std::string during;
            runner.whileRunning = [&] {
                during = test::DescribeTree(machine.HostPath("Games")) +
                         test::DescribeTree(machine.HostPath("Users"));
            };
            std::string command =
                (c.expectedGame == GameId::Generals ? values.szGeneralsPath : values.szZeroHourPath) +
                "generals.exe";
            const auto userData = [&](std::string_view folder) {
                return UserData(folder == values.szGeneralsPath ? GameId::Generals : GameId::ZeroHour);
            };
            const std::string installed =
                test::DescribeTree(machine.HostPath("Games")) + test::DescribeTree(machine.HostPath("Users"));
            ASSERT_TRUE(LaunchWithMod(
                played, {machine.swapFiles(), runner, messages, {}, nullptr, nullptr, {}, userData}, command,
                0))
                << what << ": " << (messages.shown.empty() ? "" : messages.shown.back().text);
            for (const std::string& line : c.during) {
                // Paths in the trees are relative to Games or Users.
                const std::string relative = line.substr(line.find('/') + 1);
                EXPECT_NE(during.find(relative + "\n"), std::string::npos) << what << ": " << line << "\n"
                                                                           << during;
            }
            EXPECT_EQ(test::DescribeTree(machine.HostPath("Games")) +
                          test::DescribeTree(machine.HostPath("Users")),
                      installed)
                << what;
            EXPECT_NE(Machine(), before) << what;
        }
    }
}

TEST_F(ModImport, HostileArchivesFailCleanlyOrKeepOnlyWhatIsSafe) {
    struct Case {
        std::string name;
        std::string make; // shell lines run in Downloads\<name>, which holds Data/INI/Safe.ini
        std::string archive;
        bool imports;
        std::string said; // in the error, or in the summary of what was not unpacked
    };
    const Case cases[] = {
        {"Leading out",
         "echo x >Evil.ini && bsdtar -P -s ',^Evil,../../Evil,' -cf x.zip --format zip Evil.ini Data",
         "x.zip", true, "../../Evil.ini: a path leading out of the mod's folder"},
        {"Absolute",
         "echo x >Abs.ini && bsdtar -P -s ',^Abs,/tmp/vantrel-import-absolute,' -cf x.tar Abs.ini Data",
         "x.tar", true, "an absolute path"},
        {"Links",
         "ln -s /tmp Outside && ln -s ../../../../.. Data/Up && ln Data/INI/Safe.ini Hard.ini && "
         "bsdtar -cf x.tar Outside Data Hard.ini",
         "x.tar", true, "Outside: a link"},
        {"Pipe", "mkfifo Pipe && bsdtar -cf x.tar Pipe Data", "x.tar", true, "Pipe: a device or pipe"},
        {"Windows names", "echo x >CON.ini && echo x >'a:b.ini' && echo x >'Trail.' && zip -qr x.zip .",
         "x.zip", true, "CON.ini: the name of a Windows device"},
        {"Case only", "mkdir -p data/ini && echo y >data/ini/safe.ini && zip -qr x.zip .", "x.zip", false,
         "which Windows takes for one name"},
        {"Encrypted zip", "zip -qr -P secret x.zip .", "x.zip", false, "holds encrypted files"},
        {"Encrypted 7z", "7zz a -bso0 -psecret x.7z .", "x.7z", false, "holds encrypted files"},
        {"Encrypted 7z headers", "7zz a -bso0 -psecret -mhe=on x.7z .", "x.7z", false, "it is encrypted"},
        {"Cut short",
         "head -c 2000000 /dev/urandom >Data/Big.bin && bsdtar -czf ../y.tgz . && head -c 1000000 ../y.tgz "
         ">x.tgz",
         "x.tgz", false, "cut short"},
        {"7z cut short",
         "head -c 2000000 /dev/urandom >Data/Big.bin && 7zz a -bso0 ../y.7z . && head -c 1000000 ../y.7z "
         ">x.7z",
         "x.7z", false, "cannot be"},
        {"Not an archive", "echo hello >x.zip", "x.zip", false, "not an archive Vantrel can unpack"},
        {"An installer", "echo MZ >Setup.exe", "Setup.exe", false, "is an installer"},
        {"More than the disk holds", "head -c 50000000 /dev/zero >Data/Zeros.bin && zip -qr x.zip .", "x.zip",
         false, "has only 1.0 MB free"},
        {"100,000 entries",
         "mkdir -p Data/Many && cd Data/Many && seq 100000 | xargs touch && cd ../.. && bsdtar -cf x.tar "
         "Data",
         "x.tar", true, "Data\\Many \xE2\x86\x92 Zero Hour's folder, Data"},
        {"Old code pages", "printf x >\"$(printf 'Data/INI/Caf\\202.ini')\" && zip -qr x.zip .", "x.zip",
         true, ""},
    };
    for (const auto& c : cases) {
        const std::string downloads = "Downloads/" + c.name;
        machine.Write(downloads + "/Data/INI/Safe.ini", "safe");
        Shell(machine.HostPath(downloads), c.make);
        const std::string before = Machine();
        SmallDisk small(machine.importFiles(), 1000 * 1000);
        const ImportResult result = Import(machine.WindowsPath(downloads + "/" + c.archive), GameId::ZeroHour,
                                           c.name == "More than the disk holds" ? &small : nullptr);
        EXPECT_EQ(result.ok, c.imports) << c.name << ": " << result.error;
        const std::string said = result.ok ? ImportSummary(result) : result.error;
        EXPECT_NE(said.find(c.said), std::string::npos) << c.name << ": " << said;
        if (!result.ok) {
            EXPECT_EQ(Machine(), before) << c.name;
            continue;
        }
        // Only the safe file and the mod's definition were added.
        const std::string mod = "Vantrel/Mods/" + result.name;
        EXPECT_EQ(machine.Read(mod + "/Data/INI/Safe.ini"), "safe") << c.name;
        for (const auto& entry : fs::recursive_directory_iterator(machine.HostPath(mod))) {
            EXPECT_FALSE(entry.is_symlink()) << c.name << ": " << entry.path();
            EXPECT_TRUE(entry.is_directory() || entry.is_regular_file()) << c.name << ": " << entry.path();
        }
        EXPECT_FALSE(fs::exists(machine.HostPath("Evil.ini"))) << c.name;
        EXPECT_FALSE(fs::exists(machine.HostPath("Vantrel/Evil.ini"))) << c.name;
        EXPECT_FALSE(fs::exists("/tmp/vantrel-import-absolute.ini")) << c.name;
        if (c.name == "Old code pages") {
            EXPECT_EQ(machine.Read(mod + "/Data/INI/Caf\xC3\xA9.ini"), "x");
        }
        fs::remove_all(machine.HostPath(mod));
        fs::remove(machine.HostPath(result.definition.substr(machine.WindowsPath("").size())));
    }
}

TEST_F(ModImport, ACancelledImportLeavesNothing) {
    const std::string source = Download("Big Mod", {{"Data/INI/A.ini", "a"}, {"Data/INI/B.ini", "b"}}, "zip -qr", ".zip");
    const std::string before = Machine();
    int told = 0;
    const ImportResult result = ImportMod(
        values, {machine.importFiles(), machine.textFiles(), messages, [&](const ImportProgress&) { return ++told < 2; }},
        {source, "", GameId::ZeroHour});
    EXPECT_TRUE(result.cancelled);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(Machine(), before);
}

TEST_F(ModImport, NeverTakesWhatIsInTheModsFolderItself) {
    // What an import killed on its way left is not a download: importing it would unpack it onto itself.
    machine.Write("Vantrel/Mods/Foo.importing/!Foo.big", "big");
    const std::string before = Machine();
    const ImportResult result = Import(machine.WindowsPath("Vantrel\\Mods\\Foo.importing"), GameId::ZeroHour);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("Vantrel's own mods folder"), std::string::npos) << result.error;
    EXPECT_EQ(Machine(), before);
}

} // namespace
} // namespace vantrel

namespace vantrel {
namespace {

TEST(ModNameFromDownload, DropsExtensionsAndVersionNoise) {
    const std::pair<std::string, std::string> cases[] = {
        {"Shockwave_v1.2.zip", "Shockwave"},
        {"Rise of the Reds 1.87 (Patch).7z", "Rise of the Reds"},
        {"Contra-009-Final.tar.gz", "Contra"},
        {"C&C.Mod [beta 2].rar", "C&C Mod"},
        {"1944.zip", "1944"},
        {"Mod RA.zip", "Mod RA"},
        {"Cold War", "Cold War"},
    };
    for (const auto& [file, name] : cases) {
        EXPECT_EQ(ModNameFromDownload(file), name) << file;
    }
}

} // namespace
} // namespace vantrel
