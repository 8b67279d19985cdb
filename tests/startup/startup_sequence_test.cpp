#include "startup/startup_sequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "launch/launch_journal.h"
#include "discovery/install_discovery.h"
#include "support/example_mods.h"
#include "support/killing_wrappers.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

class FakeGuard final : public InstanceGuard {
public:
    bool otherOpen = false;
    bool IsAnotherInstanceOpen() override { return otherOpen; }
    bool Acquire() override { return true; }
    void Release() override {}
};

// Folders on the test machine, whose writability the test decides: a root test process could write
// into any folder the mode bits forbid.
class FakeEnvironment final : public ProcessEnvironment {
public:
    explicit FakeEnvironment(test::TestMachine& machine) : machine_(machine) {}

    std::string home;
    std::string folder;
    std::string data;
    std::string state;
    std::string documents;
    std::set<std::string> installed;
    std::set<std::string> readOnly;
    std::set<std::string> uncreatable;
    std::vector<std::string> created;
    std::string arguments;
    std::string HomeFolder() override { return home; }
    std::string ProgramFolder() override { return folder; }
    std::string UserDataFolder() override { return data; }
    std::string UserStateFolder() override { return state; }
    std::string DocumentsFolder() override { return documents; }
    bool IsInstalledProgramFolder(std::string_view path) override {
        return installed.contains(std::string(path));
    }
    bool CanWriteIn(std::string_view path) override {
        const auto host = machine_.diskBrowser().HostPath(path);
        return host && std::filesystem::is_directory(*host) && !readOnly.contains(std::string(path));
    }
    bool CreateFolder(std::string_view path) override {
        created.emplace_back(path);
        const auto host = machine_.diskBrowser().HostPath(path);
        if (!host || uncreatable.contains(std::string(path))) {
            return false;
        }
        std::filesystem::create_directories(*host);
        return true;
    }
    std::string ArgumentText() override { return arguments; }
    // The arguments a shell would give for `arguments` without quotes, unless set apart.
    std::vector<std::string> Arguments() override {
        if (!argumentList.empty()) {
            return argumentList;
        }
        std::vector<std::string> list;
        for (std::size_t start = 0; start < arguments.size();) {
            const std::size_t end = std::min(arguments.find(' ', start), arguments.size());
            if (end > start) {
                list.push_back(arguments.substr(start, end - start));
            }
            start = end + 1;
        }
        return list;
    }
    std::vector<std::string> argumentList;

private:
    test::TestMachine& machine_;
};

// The machine's files and lock, but in `folder`, where this run may not write, no file is deleted and
// (as on Windows, where the lock is a file there) with `lockable` false no lock is taken.
class ReadOnlyFolder final : public SingleFiles, public LaunchLock {
public:
    explicit ReadOnlyFolder(test::TestMachine& machine) : machine_(machine) {}

    std::string folder;
    bool lockable = true;
    bool FileExists(std::string_view path) override { return machine_.singleFiles().FileExists(path); }
    bool DeleteFile(std::string_view path) override {
        return (folder.empty() || !path.starts_with(folder + "\\")) &&
               machine_.singleFiles().DeleteFile(path);
    }
    bool TryAcquire(std::string_view lockFolder) override {
        return (lockable || lockFolder != folder) && machine_.launchLock().TryAcquire(lockFolder);
    }
    void Release() override { machine_.launchLock().Release(); }

private:
    test::TestMachine& machine_;
};

// Records the keys asked for, so that a test can tell what start-up looked up and in which order.
class FakeRegistry final : public Registry {
public:
    std::map<std::string, std::string, std::less<>> installPaths;
    std::map<std::string, std::string, std::less<>> leafNames; // UserDataLeafName by key
    std::vector<std::string> asked;
    std::optional<std::string> ReadMachineString(std::string_view key, std::string_view value) override {
        asked.emplace_back(key);
        const auto& values = value == "UserDataLeafName" ? leafNames : installPaths;
        const auto found = values.find(key);
        if ((value != "InstallPath" && value != "UserDataLeafName") || found == values.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    std::vector<std::optional<std::string>> ReadStrings(std::span<const RegistryQuery> queries) override {
        for (const auto& query : queries) {
            asked.push_back(query.keyPath);
        }
        return std::vector<std::optional<std::string>>(queries.size());
    }
};

class StartupSequence : public ::testing::Test {
protected:
    StartupSequence() {
        std::filesystem::create_directories(machine.HostPath("Vantrel"));
        environment.folder = machine.WindowsPath("Vantrel");
        environment.data = machine.WindowsPath("User/Data/vantrel");
        environment.state = machine.WindowsPath("User/State/vantrel");
        machine.Write("Vantrel/Alpha.vtl",
                      "Location=D:\\Alpha.big\r\nSource=D:\\Maps\r\n"
                      "Destination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n");
        machine.Write("Vantrel/Beta.vtl", "Location=D:\\Beta.big\r\n");
    }

    StartMode Start() {
        return PrepareStart(values, {guard, environment, registry, machine.directoryListing(), machine.textFiles(), messages});
    }

    // The same with what it needs to put back a launch that did not finish.
    StartMode StartRecovering() {
        return PrepareStart(values, {guard, environment, registry, machine.directoryListing(), machine.textFiles(),
                                     messages, &readOnlyFolder, &machine.swapFiles(), &readOnlyFolder});
    }

    // The Windows path of a folder on the machine; empty for none.
    std::string Folder(const std::string& relative) const {
        return relative.empty() ? std::string() : machine.WindowsPath(relative);
    }

    // A launch of a one-pair mod whose launcher dies while the game runs, journaled in `folder`.
    void LaunchKilledWhileTheGameRuns(const std::string& folder) {
        std::filesystem::create_directories(machine.HostPath(folder));
        ProgramValues launched;
        test::SetOnlyMod(launched, test::ModOfPairs(machine, {{"Mods/Example/Maps", "Games/Generals/Data"}}));
        LaunchJournal journal(machine.textFiles(), machine.singleFiles(), machine.WindowsPath(folder),
                              machine.swapFiles().MachineName());
        test::RecordingRunner runner;
        runner.whileRunning = [] { throw test::Killed(); };
        std::string command = "generals.exe";
        EXPECT_THROW(LaunchWithMod(launched, {machine.swapFiles(), runner, messages, {}, &journal,
                                              &machine.launchLock()}, command, 0),
                     test::Killed);
        EXPECT_TRUE(machine.singleFiles().FileExists(journal.Path()));
    }

    test::TestMachine machine;
    FakeGuard guard;
    FakeEnvironment environment{machine};
    ReadOnlyFolder readOnlyFolder{machine};
    FakeRegistry registry;
    test::RecordingMessages messages;
    ProgramValues values;
};

TEST_F(StartupSequence, RefusesBesideAnOpenInstanceBeforeReadingAnything) {
    guard.otherOpen = true;
    environment.arguments = "-SILENT Alpha";
    EXPECT_EQ(Start(), StartMode::Refused);
    EXPECT_EQ(messages.shown, (std::vector<test::RecordingMessages::Shown>{
                                  {"Another instance of the Vantrel is already running!", MessageIcon::Information}}));
    EXPECT_TRUE(registry.asked.empty());
    EXPECT_EQ(values.nModCount, 0);
}

TEST_F(StartupSequence, InteractiveStartReadsInstallFoldersThenEveryDefinition) {
    registry.installPaths[std::string(kGeneralsKey)] = "E:\\Generals\\";
    registry.installPaths[std::string(kZeroHourKey)] = "E:\\ZH\\";
    EXPECT_EQ(Start(), StartMode::Interactive);
    EXPECT_EQ(registry.asked, (std::vector<std::string>{std::string(kGeneralsKey), std::string(kZeroHourKey)}));
    EXPECT_EQ(values.szSilentModFile, "");
    EXPECT_EQ(values.szGeneralsPath, "E:\\Generals\\");
    EXPECT_EQ(values.szZeroHourPath, "E:\\ZH\\");
    ASSERT_EQ(values.nModCount, 2);
    EXPECT_EQ(values.Mods[0].szName, "Alpha");
    EXPECT_EQ(values.Mods[0].szDstFolders, std::vector<std::string>{"E:\\Generals\\Data"})
        << "install folders are known before the first definition is read";
    EXPECT_EQ(values.Mods[1].szName, "Beta");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(StartupSequence, OnlyZeroHourInstalledLeavesGeneralsEmpty) {
    registry.installPaths[std::string(kZeroHourKey)] = "E:\\ZH\\";
    EXPECT_EQ(Start(), StartMode::Interactive);
    EXPECT_EQ(values.szGeneralsPath, "");
    EXPECT_EQ(values.szZeroHourPath, "E:\\ZH\\");
}

TEST_F(StartupSequence, SilentStartLoadsOnlyTheNamedMod) {
    registry.installPaths[std::string(kGeneralsKey)] = "E:\\Generals\\";
    environment.arguments = "-silent Alpha";
    EXPECT_EQ(Start(), StartMode::Silent);
    EXPECT_EQ(values.szSilentModFile, machine.WindowsPath("Vantrel\\Alpha.vtl"));
    ASSERT_EQ(values.nModCount, 1);
    ASSERT_EQ(values.Mods.size(), 1u);
    EXPECT_EQ(values.Mods[0].szModFile, "Alpha.big");
    EXPECT_EQ(values.Mods[0].szDstFolders, std::vector<std::string>{"E:\\Generals\\Data"});
}

// A start from Steam's launch options reads only the named mod, and only from the definition folder.
TEST_F(StartupSequence, SteamStartLoadsOnlyTheNamedModOfTheDefinitionFolder) {
    registry.installPaths[std::string(kGeneralsKey)] = "E:\\Generals\\";
    const std::pair<std::string, bool> cases[] = {
        {"Alpha", true}, {"Missing", false}, {"..\\Vantrel\\Alpha", false}, {"", false}};
    for (const auto& [name, read] : cases) {
        values = ProgramValues{};
        environment.argumentList = {"--play", name, "--", "/games/Generals/generals.exe"};
        EXPECT_EQ(Start(), StartMode::SteamLaunch) << name;
        EXPECT_EQ(values.szSilentModFile, "") << name;
        ASSERT_EQ(values.nModCount, read ? 1 : 0) << name;
        EXPECT_EQ(values.Mods[0].szModFile, read ? "Alpha.big" : "") << name;
    }
}

TEST_F(StartupSequence, SilentStartWithAnUnreadableModKeepsOneEmptyRecord) {
    for (const char* arguments : {"-SILENT Missing", "-SILENT", "-SILENT \"Alpha\"", "-SILENT  Alpha"}) {
        values = ProgramValues{};
        environment.arguments = arguments;
        EXPECT_EQ(Start(), StartMode::Silent) << arguments;
        EXPECT_EQ(values.nModCount, 0) << arguments;
        ASSERT_EQ(values.Mods.size(), 1u);
        EXPECT_EQ(values.Mods[0], ModRecord{}) << arguments;
        EXPECT_TRUE(messages.shown.empty());
    }
}

// Folders are named relative to the machine's disk; empty for none.
TEST_F(StartupSequence, ChoosesWhereTheDefinitionsAndTheJournalLive) {
    struct Case {
        std::string name;
        bool home;             // VANTREL_HOME names Home
        bool programWritable;  // the program folder can be written
        bool programHolds;     // the program folder holds a definition
        std::string data;
        std::string state;
        std::set<std::string> readOnly;
        std::set<std::string> uncreatable;
        std::string definitions;
        std::string stateFolder;
        std::string earlier;
        std::vector<std::string> created;
        bool installed = false; // the program folder is an installed program's
        std::string notice = {};
    };
    const std::string data = "User/Data/vantrel";
    const std::string state = "User/State/vantrel";
    const std::string both = "User/AppData/Vantrel";
    const std::string notUsed = "The mod definitions in \"" + Folder("Program") +
                                "\" are not used, as that is an installed program's folder; move them to \"" +
                                Folder(data) + "\" to use them.";
    const Case cases[] = {
        {"an unpacked copy", false, true, false, data, state, {}, {}, "Program", "Program", state, {}},
        {"an unpacked copy with definitions", false, true, true, data, state, {}, {}, "Program", "Program", state, {}},
        {"an installed copy with definitions", false, false, true, data, state, {}, {}, "Program", state, "Program",
         {state}},
        {"an installed copy", false, false, false, data, state, {}, {}, data, data, state, {data}},
        {"VANTREL_HOME", true, false, false, data, state, {}, {}, "Home", "Home", state, {}},
        {"a read-only VANTREL_HOME", true, true, true, data, state, {"Home"}, {}, "Home", state, "Home", {state}},
        {"a data folder that cannot be made", false, false, false, data, state, {}, {data}, data, state, data,
         {data, state}},
        {"one user folder for both, as on Windows", false, false, false, both, both, {}, {}, both, both, "", {both}},
        {"one user folder, definitions in the program folder", false, false, true, both, both, {}, {}, "Program",
         both, "Program", {both}},
        {"no user folders", false, false, false, "", "", {}, {}, "Program", "Program", "", {}},
        {"an installed copy, run as root", false, true, false, data, state, {}, {}, data, data, state, {data}, true},
        {"an installed copy with definitions written as root", false, false, true, data, state, {}, {}, data, data,
         state, {data}, true, notUsed},
        {"an installed copy with definitions, run as root", false, true, true, data, state, {}, {}, data, data,
         state, {data}, true, notUsed},
    };
    const auto folders = [&](const std::vector<std::string>& relative) {
        std::vector<std::string> windows;
        for (const auto& name : relative) {
            windows.push_back(Folder(name));
        }
        return windows;
    };
    for (const auto& c : cases) {
        test::RemoveTree(machine.HostPath("User"));
        test::RemoveTree(machine.HostPath("Program"));
        machine.Write("Program/vantrel.exe", "program");
        if (c.programHolds) {
            machine.Write("Program/Alpha.vtl", "Location=D:\\Alpha.big\r\n");
        }
        std::filesystem::create_directories(machine.HostPath("Home"));
        environment.home = c.home ? Folder("Home") : "";
        environment.folder = Folder("Program");
        environment.data = Folder(c.data);
        environment.state = Folder(c.state);
        environment.readOnly.clear();
        for (const auto& name : c.readOnly) {
            environment.readOnly.insert(Folder(name));
        }
        if (!c.programWritable) {
            environment.readOnly.insert(Folder("Program"));
        }
        environment.uncreatable.clear();
        for (const auto& name : c.uncreatable) {
            environment.uncreatable.insert(Folder(name));
        }
        environment.created.clear();
        environment.installed = c.installed ? std::set{Folder("Program")} : std::set<std::string>{};
        values = ProgramValues{};
        ChooseFolders(values, environment, machine.directoryListing());
        EXPECT_EQ(values.programFolder, Folder("Program")) << c.name;
        EXPECT_EQ(values.definitionFolder, Folder(c.definitions)) << c.name;
        EXPECT_EQ(values.stateFolder, Folder(c.stateFolder)) << c.name;
        EXPECT_EQ(values.earlierStateFolder, Folder(c.earlier)) << c.name;
        EXPECT_EQ(environment.created, folders(c.created)) << c.name;
        EXPECT_EQ(values.startupNotice, c.notice) << c.name;
    }
}

TEST_F(StartupSequence, StartsReadDefinitionsFromTheChosenFolder) {
    struct Case {
        std::string name;
        bool home;
        bool programWritable;
        std::string folder; // where Gamma.vtl is
    };
    const Case cases[] = {
        {"VANTREL_HOME", true, false, "Home"},
        {"a writable program folder", false, true, "Program"},
        {"a read-only program folder", false, false, "User/Data/vantrel"},
    };
    for (const auto& c : cases) {
        test::RemoveTree(machine.HostPath("User"));
        test::RemoveTree(machine.HostPath("Program"));
        test::RemoveTree(machine.HostPath("Home"));
        machine.Write("Program/vantrel.exe", "program");
        std::filesystem::create_directories(machine.HostPath("Home"));
        machine.Write(c.folder + "/Gamma.vtl", "Location=D:\\Gamma.big\r\n");
        environment.home = c.home ? Folder("Home") : "";
        environment.folder = Folder("Program");
        environment.readOnly = c.programWritable ? std::set<std::string>{} : std::set{Folder("Program")};

        values = ProgramValues{};
        environment.arguments = "";
        EXPECT_EQ(Start(), StartMode::Interactive) << c.name;
        ASSERT_EQ(values.nModCount, 1) << c.name;
        EXPECT_EQ(values.Mods[0].definitionFile, Folder(c.folder + "/Gamma.vtl")) << c.name;

        values = ProgramValues{};
        environment.arguments = "-SILENT Gamma";
        EXPECT_EQ(Start(), StartMode::Silent) << c.name;
        EXPECT_EQ(values.szSilentModFile, Folder(c.folder + "/Gamma.vtl")) << c.name;
        ASSERT_EQ(values.nModCount, 1) << c.name;
        EXPECT_EQ(values.Mods[0].szModFile, "Gamma.big") << c.name;
    }
}

// A journal is put back from the folder it was written in, also when launches now journal elsewhere
// because the definitions folder became read-only, or writable again, or because the program folder
// it was written in is an installed program's, which a run as root or as administrator could write.
TEST_F(StartupSequence, PutsBackALaunchFromTheFolderItsJournalIsIn) {
    struct Case {
        std::string name;
        std::string writtenIn;
        bool definitionsWritable;
        std::string stateFolder;
        std::string notice;
        bool installed = false; // the program folder, Vantrel, is an installed program's
        bool removable = true;  // this run can delete the journal
        bool lockable = true;   // this run can take the lock where the journal is
    };
    const std::string putBack = "A launch did not finish; the game folders were put back as they were.";
    const std::string journal = "\"" + JournalPathFor(Folder("Vantrel"), machine.swapFiles().MachineName()) + "\"";
    const std::string notUsed = "The mod definitions in \"" + Folder("Vantrel") +
                                "\" are not used, as that is an installed program's folder; move them to \"" +
                                Folder("User/Data/vantrel") + "\" to use them. ";
    const std::string wayOut =
        "start Vantrel once more the way it was started then (as root or as administrator), "
        "or delete the journal after checking the game folders.";
    const Case cases[] = {
        {"in the folder launches use", "Vantrel", true, "Vantrel", putBack},
        {"beside the definitions, now read-only", "Vantrel", false, "User/State/vantrel", putBack},
        {"in the state folder, the definitions now writable", "User/State/vantrel", true, "Vantrel", putBack},
        {"in an installed program folder, run as root again", "Vantrel", true, "User/Data/vantrel",
         notUsed + putBack, true},
        {"in an installed program folder", "Vantrel", false, "User/Data/vantrel",
         notUsed + "A launch did not finish; the game folders were put back, but its journal " + journal +
             " could not be removed. It lies where this run cannot write: " + wayOut,
         true, false},
        {"in an installed program folder that cannot be locked", "Vantrel", false, "User/Data/vantrel",
         notUsed + "A launch did not finish, but its journal " + journal +
             " lies where this run can neither lock nor remove it: unless that launch still runs, " + wayOut,
         true, false, false},
    };
    for (const auto& c : cases) {
        test::RemoveTree(machine.HostPath("Games"));
        test::RemoveTree(machine.HostPath("Mods"));
        test::WriteExampleInstallation(machine);
        const std::string before = test::DescribeTree(machine.HostPath("Games"));
        environment.readOnly.clear();
        LaunchKilledWhileTheGameRuns(c.writtenIn);
        ASSERT_TRUE(std::filesystem::exists(machine.HostPath("Games/Generals/Data/Maps.original"))) << c.name;
        if (!c.definitionsWritable) {
            environment.readOnly.insert(Folder("Vantrel"));
        }
        environment.installed = c.installed ? std::set{Folder("Vantrel")} : std::set<std::string>{};
        readOnlyFolder.folder = c.removable ? "" : Folder("Vantrel");
        readOnlyFolder.lockable = c.lockable;
        values = ProgramValues{};
        EXPECT_EQ(StartRecovering(), StartMode::Interactive) << c.name;
        EXPECT_EQ(values.stateFolder, Folder(c.stateFolder)) << c.name;
        EXPECT_EQ(values.startupNotice, c.notice) << c.name;
        const std::string after = test::DescribeTree(machine.HostPath("Games"));
        if (c.lockable) {
            EXPECT_EQ(after, test::AsBeforeALaunch(before, after)) << c.name;
        } else {
            EXPECT_TRUE(std::filesystem::exists(machine.HostPath("Games/Generals/Data/Maps.original"))) << c.name;
        }
        const std::string left = JournalPathFor(Folder(c.writtenIn), machine.swapFiles().MachineName());
        EXPECT_EQ(machine.singleFiles().FileExists(left), !c.removable) << c.name;
        (void)machine.singleFiles().DeleteFile(left);
    }
}

TEST_F(StartupSequence, SetsAsideAJournalLeftBesideDefinitionsNowReadOnly) {
    const std::string journal = JournalPathFor(Folder("Vantrel"), machine.swapFiles().MachineName());
    machine.Write("Vantrel/" + journal.substr(journal.rfind('\\') + 1), "not a journal\r\n");
    environment.readOnly.insert(Folder("Vantrel"));
    environment.arguments = "--set-aside-journal";
    ASSERT_EQ(Start(), StartMode::SetAsideJournal);
    EXPECT_EQ(values.stateFolder, Folder("User/State/vantrel"));
    EXPECT_EQ(SetAsideJournalMode(values, machine.textFiles(), machine.singleFiles(), machine.swapFiles(), messages),
              0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("It was set aside as " + Folder("Vantrel")), std::string::npos)
        << messages.shown[0].text;
    EXPECT_FALSE(machine.singleFiles().FileExists(journal));
}

// The game's user data folder: Documents and the leaf the registry names, else the game's own; none
// for a folder of neither game or without Documents, and never a leaf that leaves Documents.
TEST(GameUserData, IsTheDocumentsFolderAndTheGamesLeaf) {
    test::TestMachine machine;
    FakeEnvironment environment(machine);
    FakeRegistry registry;
    ProgramValues values;
    values.szGeneralsPath = "C:\\Games\\Generals\\";
    values.szZeroHourPath = "C:\\Games\\ZH\\";
    struct Case {
        std::string folder;
        std::string documents;
        std::optional<std::string> leaf; // Zero Hour's UserDataLeafName
        std::string expected;
    };
    const std::string docs = "C:\\users\\me\\Documents";
    const Case cases[] = {
        {"C:\\Games\\ZH\\", docs, std::nullopt, docs + "\\Command and Conquer Generals Zero Hour Data"},
        {"c:\\games\\zh\\", docs, "Zero Hour Saves", docs + "\\Zero Hour Saves"},
        {"C:\\Games\\Generals\\", docs, "Zero Hour Saves", docs + "\\Command and Conquer Generals Data"},
        {"C:\\Games\\ZH\\", docs, "..\\..\\Windows", docs + "\\Command and Conquer Generals Zero Hour Data"},
        {"C:\\Games\\Other\\", docs, std::nullopt, ""},
        {"C:\\Games\\ZH\\", "", std::nullopt, ""},
    };
    for (const auto& c : cases) {
        environment.documents = c.documents;
        registry.leafNames.clear();
        if (c.leaf) {
            registry.leafNames[std::string(kZeroHourKey)] = *c.leaf;
        }
        EXPECT_EQ(GameUserDataFolder(values, registry, environment, c.folder), c.expected) << c.folder;
    }
    // A mod's own beside it bears its definition's whole name: A.B.vtl and A.C.vtl are both listed as A.
    ModRecord mod;
    mod.szName = "A";
    mod.definitionFile = "C:\\Vantrel\\A.B.VTL";
    EXPECT_EQ(OwnUserDataFolder(docs + "\\Data", mod), docs + "\\Data (A.B)");
}

} // namespace
} // namespace vantrel
