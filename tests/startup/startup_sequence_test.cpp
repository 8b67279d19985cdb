#include "startup/startup_sequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "startup/install_discovery.h"
#include "support/recording_messages.h"
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

class FakeEnvironment final : public ProcessEnvironment {
public:
    std::string folder;
    std::string arguments;
    std::string ProgramFolder() override { return folder; }
    std::string ArgumentText() override { return arguments; }
};

// Records the keys asked for, so that a test can tell what start-up looked up and in which order.
class FakeRegistry final : public Registry {
public:
    std::map<std::string, std::string, std::less<>> installPaths;
    std::vector<std::string> asked;
    std::optional<std::string> ReadMachineString(std::string_view key, std::string_view value) override {
        asked.emplace_back(key);
        const auto found = installPaths.find(key);
        if (value != "InstallPath" || found == installPaths.end()) {
            return std::nullopt;
        }
        return found->second;
    }
};

class StartupSequence : public ::testing::Test {
protected:
    StartupSequence() {
        std::filesystem::create_directories(machine.HostPath("Vantrel"));
        environment.folder = machine.WindowsPath("Vantrel");
        machine.Write("Vantrel/Alpha.vtl",
                      "Location=D:\\Alpha.big\r\nSource=D:\\Maps\r\n"
                      "Destination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n");
        machine.Write("Vantrel/Beta.vtl", "Location=D:\\Beta.big\r\n");
    }

    StartMode Start() {
        return PrepareStart(values, {guard, environment, registry, machine.directoryListing(), machine.textFiles(), messages});
    }

    test::TestMachine machine;
    FakeGuard guard;
    FakeEnvironment environment;
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

} // namespace
} // namespace vantrel
