// The parts of the Win32 layer that only Windows (here: Wine running the Windows build) has.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"
#include "startup/install_discovery.h"
#include "startup/startup_sequence.h"
#include "launch/launch_journal.h"
#include "support/example_mods.h"
#include "support/killing_wrappers.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
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

// The launch that Win32KillTest starts in a child process of this same test program; it ends the
// process with TerminateProcess at the step %VANTREL_KILL_AT% names, in the folder %VANTREL_KILL_ROOT%.
TEST(Win32KillChild, Launch) {
    const char* killAt = std::getenv("VANTREL_KILL_AT");
    const char* root = std::getenv("VANTREL_KILL_ROOT");
    if (!killAt || !root) {
        GTEST_SKIP() << "run by Win32KillTest in a child process";
    }
    const std::string folder = root;
    ModRecord mod;
    mod.szModFile = "Example.big";
    for (const auto& [source, destination] : std::vector<std::pair<std::string, std::string>>{
             {"\\Mods\\Example\\Maps", "\\Games\\Generals\\Data"},
             {"\\Mods\\Example\\GameData.ini", "\\Games\\Generals\\Data\\INI"},
             {"\\Mods\\Example\\Readme.txt", "\\Games\\ZH\\Data\\INI"},
             {"\\Mods\\Example\\Readme.txt", "\\Games\\ZH\\Data\\INI"}}) {
        mod.szSrcPaths.push_back(folder + source);
        mod.szDstFolders.push_back(folder + destination);
    }
    mod.nPairCount = 4;
    ProgramValues values;
    test::SetOnlyMod(values, mod);
    test::KillSwitch kill(std::atoi(killAt), test::KillSwitch::Mode::Signal);
    Win32SwapFileSystem realFiles;
    Win32TextFiles realText;
    Win32SingleFiles single;
    Win32LaunchLock lock;
    test::KillingFileSystem files(realFiles, kill);
    test::KillingTextFiles text(realText, kill);
    LaunchJournal journal(text, single, folder + "\\Vantrel");
    test::RecordingRunner runner;
    test::RecordingMessages messages;
    std::string command = "generals.exe";
    LaunchWithMod(values, {files, runner, messages, {}, &journal, &lock}, command, 0);
}

// Real deaths under Wine: the launch in a child process is ended with TerminateProcess after each of
// its steps, and the next start, in this process, puts the game folders back.
TEST(Win32KillTest, NextStartPutsBackALaunchTerminatedAtAnyStep) {
    test::TestMachine machine;
    test::WriteExampleInstallation(machine);
    fs::create_directories(machine.HostPath("Vantrel"));
    test::TempFolder snapshot;
    fs::copy(machine.HostPath("Games"), snapshot.Path() / "Games", fs::copy_options::recursive);
    const std::string before = test::DescribeTree(machine.HostPath("Games"));
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("VANTREL_KILL_ROOT", machine.WindowsPath().c_str());
    int killPoints = 0;
    for (int killAt = 1; killAt < 200; ++killAt) {
        SetEnvironmentVariableA("VANTREL_KILL_AT", std::to_string(killAt).c_str());
        std::string line = std::string("\"") + self + "\" --gtest_filter=Win32KillChild.Launch";
        // The child's own test output would only clutter this test's.
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        win32::UniqueHandle quiet(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr));
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = quiet.Get();
        startup.hStdError = quiet.Get();
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (exitCode != 137) {
            EXPECT_EQ(exitCode, 0u);
            break; // the launch ran to its end before this step
        }
        ++killPoints;
        Win32TextFiles text;
        Win32SingleFiles single;
        Win32SwapFileSystem files;
        Win32LaunchLock lock;
        LaunchJournal journal(text, single, machine.WindowsPath("Vantrel"));
        const std::string report = RecoverInterruptedLaunch(journal, files, lock);
        const std::string after = test::DescribeTree(machine.HostPath("Games"));
        EXPECT_EQ(after, test::AsBeforeALaunch(before, after)) << "terminated at step " << killAt << ": " << report;
        EXPECT_EQ(test::DescribeTree(machine.HostPath("Vantrel")), "") << "terminated at step " << killAt;
        test::RemoveTree(machine.HostPath("Games"));
        fs::copy(snapshot.Path() / "Games", machine.HostPath("Games"), fs::copy_options::recursive);
    }
    SetEnvironmentVariableA("VANTREL_KILL_AT", nullptr);
    SetEnvironmentVariableA("VANTREL_KILL_ROOT", nullptr);
    EXPECT_GT(killPoints, 10);
}

} // namespace
} // namespace vantrel
