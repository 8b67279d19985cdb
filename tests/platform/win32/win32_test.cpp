// The parts of the Win32 layer that only Windows (here: Wine running the Windows build) has.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"
#include "startup/install_discovery.h"
#include "startup/startup_sequence.h"
#include "support/recording_messages.h"
#include "support/test_machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

void SetValue(const char* key, REGSAM view, const std::string& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(handle, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
}

void DeleteKey(const char* key) {
    for (const REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, view, 0);
    }
}

TEST(Win32Registry, ReadsTheThirtyTwoBitViewWithinTheBuffer) {
    const char* key = "SOFTWARE\\Vantrel Test\\Game";
    Win32Registry registry;
    DeleteKey(key);
    EXPECT_EQ(registry.ReadMachineString(key, "InstallPath"), std::nullopt);
    SetValue(key, KEY_WOW64_64KEY, "C:\\Only64\\");
    EXPECT_EQ(registry.ReadMachineString(key, "InstallPath"), std::nullopt) << "the 64-bit view is not the games'";
    SetValue(key, KEY_WOW64_32KEY, "C:\\Games\\G\xE9n\xE9raux\\");
    EXPECT_EQ(registry.ReadMachineString(key, "InstallPath"), "C:\\Games\\G\xC3\xA9n\xC3\xA9raux\\");
    EXPECT_EQ(registry.ReadMachineString(key, "Missing"), std::nullopt);
    SetValue(key, KEY_WOW64_32KEY, "C:\\" + std::string(252, 'a'));
    EXPECT_EQ(registry.ReadMachineString(key, "InstallPath")->size(), 255u);
    SetValue(key, KEY_WOW64_32KEY, "C:\\" + std::string(253, 'a'));
    EXPECT_EQ(registry.ReadMachineString(key, "InstallPath"), std::nullopt) << "256 characters do not fit";
    DeleteKey(key);
}

TEST(Win32InstanceGuard, FindsAWindowByItsWholeTitle) {
    Win32InstanceGuard guard;
    EXPECT_FALSE(guard.IsAnotherInstanceOpen());
    HWND similar = CreateWindowA("STATIC", "Vantrel 2", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(similar);
    EXPECT_FALSE(guard.IsAnotherInstanceOpen()) << "a title that merely holds the name does not count";
    HWND window = CreateWindowA("STATIC", "Vantrel", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(window);
    EXPECT_TRUE(guard.IsAnotherInstanceOpen());
    DestroyWindow(window);
    DestroyWindow(similar);
    EXPECT_FALSE(guard.IsAnotherInstanceOpen());
}

TEST(Win32ProcessEnvironment, TakesTheTextAfterTheProgramsPath) {
    struct Case {
        const wchar_t* line;
        const char* arguments;
    };
    const Case cases[] = {
        {L"vantrel.exe", ""},
        {L"vantrel.exe -SILENT MyMod", "-SILENT MyMod"},
        {L"\"C:\\Program Files\\Vantrel\\vantrel.exe\" -silent  My Mod", "-silent  My Mod"},
        {L"C:\\Vantrel\\vantrel.exe   -SILENT \"MyMod\"", "-SILENT \"MyMod\""},
        {L"vantrel.exe -SILENT \u00c9t\u00e9", "-SILENT \xC3\x89t\xC3\xA9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArgumentTextOf(c.line), c.arguments);
    }
}

// A machine with the stand-in game as generals.exe in both games' folders.
class Win32Launch : public ::testing::Test {
protected:
    Win32Launch() {
        for (const char* game : {"Games/Generals", "Games/Zero Hour"}) {
            fs::create_directories(machine.HostPath(game));
            fs::copy_file(VANTREL_FAKE_GAME, machine.HostPath(std::string(game) + "/generals.exe"));
        }
        log = machine.HostPath("game.log");
        SetEnvironmentVariableW(L"FAKE_GAME_LOG", log.wstring().c_str());
        SetEnvironmentVariableW(L"FAKE_GAME_EXIT", nullptr);
    }

    test::TestMachine machine;
    fs::path log;
};

TEST_F(Win32Launch, RunsTheProgramAndReturnsItsExitCode) {
    Win32ProcessRunner runner;
    SetEnvironmentVariableW(L"FAKE_GAME_EXIT", L"3");
    const std::string program = machine.WindowsPath("Games\\Zero Hour\\generals.exe");
    EXPECT_EQ(runner.RunAndWait(program + " -win -mod Example.big"), 3);
    // Windows hands the line over as it stands; Wine puts quotes around a program path with blanks.
    const std::string seen = test::ReadBytes(log);
    EXPECT_TRUE(seen.find("command: " + program + " -win -mod Example.big\n") != std::string::npos ||
                seen.find("command: \"" + program + "\" -win -mod Example.big\n") != std::string::npos)
        << "a path with a blank works when no shorter name exists\n"
        << seen;
    EXPECT_EQ(runner.RunAndWait(machine.WindowsPath("Games\\missing.exe -win")), -1);
}

TEST_F(Win32Launch, SilentModePlaysTheModAndLeavesTheGameAsItWas) {
    machine.Write("Games/Generals/Data/Maps/Alpine.map", "game map");
    machine.Write("Games/Generals/Data/INI/GameData.ini", "game data");
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    machine.Write("Mods/Example/Maps/Mod.map", "mod map");
    machine.Write("Mods/Example/GameData.ini", "mod data");
    const std::string generals = machine.WindowsPath("Games\\Generals") + "\\";
    machine.Write("Vantrel/Example.vtl",
                  "Location=" + machine.WindowsPath("Mods\\Example\\Example.big") + "\r\n[Folder]\r\nSource=" +
                      machine.WindowsPath("Mods\\Example\\Maps") +
                      "\r\nDestination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\r\n"
                      "[Folder]\r\nSource=" + machine.WindowsPath("Mods\\Example\\GameData.ini") +
                      "\r\nDestination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\\INI\r\n");
    machine.SetInstallFolders(generals, machine.WindowsPath("Games\\Zero Hour") + "\\");
    const std::string before = test::DescribeTree(machine.HostPath("Games/Generals"));

    // The command line itself is the test's own; everything else is the Win32 layer.
    class Environment final : public ProcessEnvironment {
    public:
        std::string ProgramFolder() override { return real.ProgramFolder(); }
        std::string ArgumentText() override { return "-Silent Example"; }
        Win32ProcessEnvironment real;
    } environment;
    SetEnvironmentVariableW(L"VANTREL_HOME", machine.HostPath("Vantrel").wstring().c_str());
    Win32InstanceGuard guard;
    Win32Registry registry;
    Win32DirectoryListing listing;
    Win32TextFiles textFiles;
    Win32SwapFileSystem swapFiles;
    Win32ProcessRunner runner;
    test::RecordingMessages messages;
    ProgramValues values;
    ASSERT_EQ(PrepareStart(values, {guard, environment, registry, listing, textFiles, messages}), StartMode::Silent);
    EXPECT_EQ(RunSilentMode(values, {swapFiles, runner, messages}), 0);
    SetEnvironmentVariableW(L"VANTREL_HOME", nullptr);

    EXPECT_TRUE(messages.shown.empty());
    const std::string seen = test::ReadBytes(log);
    EXPECT_NE(seen.find("command: " + generals + "generals.exe -nologo  -mod Example.big\n"), std::string::npos)
        << seen;
    EXPECT_NE(seen.find("file: Data\\Maps\\Mod.map mod map\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("file: Data\\Maps.original\\Alpine.map game map\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("file: Data\\INI\\GameData.ini mod data\n"), std::string::npos) << seen;
    // The read-only game file comes back writable: the launch clears its attributes.
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Games/Generals")), before);
}

} // namespace
} // namespace vantrel
