// The parts of the Win32 layer that only Windows (here: Wine running the Windows build) has.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"
#include "discovery/install_discovery.h"
#include "startup/startup_sequence.h"
#include "launch/launch_journal.h"
#include "mods/mod_import.h"
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

TEST(Win32Registry, ReadsBothHivesAndViewsAsAsked) {
    const char* key = "SOFTWARE\\Vantrel Test\\Views";
    DeleteKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
    SetValue(key, KEY_WOW64_32KEY, "C:\\Wow\\");
    SetValue(key, KEY_WOW64_64KEY, "C:\\Plain\\");
    HKEY user = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user, nullptr),
              ERROR_SUCCESS);
    const std::string text = "C:\\User\\";
    RegSetValueExA(user, "InstallPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(user);

    Win32Registry registry;
    using Root = RegistryRoot;
    using View = RegistryView;
    const RegistryQuery queries[] = {{Root::LocalMachine, View::Bits32, key, "InstallPath"},
                                     {Root::LocalMachine, View::Bits64, key, "InstallPath"},
                                     {Root::CurrentUser, View::Bits32, key, "InstallPath"},
                                     {Root::CurrentUser, View::Bits64, key, "InstallPath"},
                                     {Root::CurrentUser, View::Bits32, key, "Missing"}};
    EXPECT_EQ(registry.ReadStrings(queries),
              (std::vector<std::optional<std::string>>{"C:\\Wow\\", "C:\\Plain\\", "C:\\User\\",
                                                       "C:\\User\\", std::nullopt}));
    DeleteKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
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

// The Win32 environment with the test's own command line, and optionally a program folder of the
// test's own that counts as read-only, as an installed program's is for its user.
class TestEnvironment final : public ProcessEnvironment {
public:
    std::string arguments;
    std::string readOnlyProgram;
    std::string HomeFolder() override { return real.HomeFolder(); }
    std::string ProgramFolder() override { return readOnlyProgram.empty() ? real.ProgramFolder() : readOnlyProgram; }
    std::string UserDataFolder() override { return real.UserDataFolder(); }
    std::string UserStateFolder() override { return real.UserStateFolder(); }
    std::string DocumentsFolder() override { return real.DocumentsFolder(); }
    bool IsInstalledProgramFolder(std::string_view folder) override {
        return real.IsInstalledProgramFolder(folder);
    }
    bool CanWriteIn(std::string_view folder) override { return folder != readOnlyProgram && real.CanWriteIn(folder); }
    bool CreateFolder(std::string_view folder) override { return real.CreateFolder(folder); }
    std::string ArgumentText() override { return arguments; }
    std::vector<std::string> Arguments() override { return {}; }
    Win32ProcessEnvironment real;
};

TEST(Win32ProcessEnvironment, KeepsTheUsersFilesInLocalAppData) {
    Win32ProcessEnvironment environment;
    wchar_t local[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
    EXPECT_EQ(environment.UserDataFolder(), win32::Utf8(local) + "\\Vantrel");
    EXPECT_EQ(environment.UserStateFolder(), environment.UserDataFolder());

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string program = environment.ProgramFolder();
    EXPECT_EQ(program, std::string(self).substr(0, std::string(self).rfind('\\')));
    SetEnvironmentVariableW(L"VANTREL_HOME", nullptr);
    EXPECT_EQ(environment.HomeFolder(), "");
    SetEnvironmentVariableW(L"VANTREL_HOME", L"D:\\Mod Definitions\\");
    EXPECT_EQ(environment.HomeFolder(), "D:\\Mod Definitions");
    EXPECT_EQ(environment.ProgramFolder(), program) << "VANTREL_HOME names the definitions' folder only";
    SetEnvironmentVariableW(L"VANTREL_HOME", nullptr);
}

// The system's folders are found in any letter case; a copy elsewhere, or beside them, is not installed.
TEST(Win32ProcessEnvironment, TellsTheSystemsProgramFoldersFromUnpackedCopies) {
    test::TestMachine machine;
    wchar_t programFiles[MAX_PATH] = {};
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), 0u);
    ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", windows, MAX_PATH), 0u);
    const std::string files = win32::Utf8(programFiles);
    std::string shouted = files;
    std::transform(shouted.begin(), shouted.end(), shouted.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    struct Case {
        std::string folder;
        bool installed;
    };
    const Case cases[] = {
        {files + "\\Vantrel", true},
        {shouted + "\\VANTREL\\", true},
        {win32::Utf8(windows), true},
        {files + " Extra\\Vantrel", false},
        {machine.WindowsPath("Vantrel"), false},
    };
    Win32ProcessEnvironment environment;
    for (const auto& c : cases) {
        EXPECT_EQ(environment.IsInstalledProgramFolder(c.folder), c.installed) << c.folder;
    }
}

TEST(Win32ProcessEnvironment, CreatesFoldersAndTellsWhereItCanWrite) {
    test::TestMachine machine;
    machine.Write("file", "a file");
    Win32ProcessEnvironment environment;
    EXPECT_TRUE(environment.CreateFolder(machine.WindowsPath("New\\Deeper\\Vantrel")));
    EXPECT_TRUE(fs::is_directory(machine.HostPath("New/Deeper/Vantrel")));
    EXPECT_TRUE(environment.CreateFolder(machine.WindowsPath("New")));
    EXPECT_FALSE(environment.CreateFolder(machine.WindowsPath("file\\below")));
    struct Case {
        std::string folder;
        bool writable;
    };
    const Case cases[] = {
        {machine.WindowsPath("New\\Deeper\\Vantrel"), true},
        {machine.WindowsPath("new\\DEEPER"), true},
        {machine.WindowsPath("Missing"), false},
        {machine.WindowsPath("file"), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(environment.CanWriteIn(c.folder), c.writable) << c.folder;
    }
    EXPECT_EQ(test::DescribeTree(machine.HostPath("New")), "Deeper/\nDeeper/Vantrel/\n") << "no trial file is left";
}

// An installed copy, whose folder its user cannot write: the definitions and the journal go to
// %LOCALAPPDATA%\Vantrel, which is made, unless the program's folder already holds definitions.
TEST(Win32Startup, AnInstalledCopyKeepsItsFilesInLocalAppData) {
    struct Case {
        std::string name;
        bool programHolds;
        bool definitionsInLocalAppData;
    };
    const Case cases[] = {
        {"without definitions beside it", false, true},
        {"with definitions beside it", true, false},
    };
    test::TestMachine machine;
    TestEnvironment environment;
    environment.readOnlyProgram = machine.WindowsPath("Program Files\\Vantrel");
    const std::string local = environment.real.UserDataFolder();
    const fs::path localFolder(win32::Wide(local));
    // Under Wine the test's prefix is new; on a Windows machine in use, a folder of Vantrel's is kept.
    const bool existed = fs::exists(localFolder);
    SetEnvironmentVariableW(L"VANTREL_HOME", nullptr);
    for (const auto& c : cases) {
        if (!existed) {
            RemoveDirectoryW(localFolder.c_str());
        }
        machine.Write("Program Files/Vantrel/vantrel.exe", "program");
        if (c.programHolds) {
            machine.Write("Program Files/Vantrel/Example.vtl", "Location=D:\\Example.big\r\n");
        }
        Win32DirectoryListing listing;
        ProgramValues values;
        ChooseFolders(values, environment, listing);
        EXPECT_EQ(values.definitionFolder, c.definitionsInLocalAppData ? local : environment.readOnlyProgram) << c.name;
        EXPECT_EQ(values.stateFolder, local) << c.name;
        EXPECT_EQ(values.earlierStateFolder, c.definitionsInLocalAppData ? "" : environment.readOnlyProgram) << c.name;
        EXPECT_TRUE(fs::is_directory(localFolder)) << c.name << ": made when it was missing";
    }
    if (!existed) {
        RemoveDirectoryW(localFolder.c_str());
    }
}

// Where a Windows path lies on the host under Wine; nullopt on Windows itself.
std::optional<std::string> HostPathUnderWine(const std::string& path) {
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    char* name = unixName ? unixName(win32::Wide(path).c_str()) : nullptr;
    const std::optional<std::string> host = name ? std::optional<std::string>(name) : std::nullopt;
    HeapFree(GetProcessHeap(), 0, name);
    return host;
}

// Starts a program in /bin of the host, as Wine starts Unix programs; returns at once, since Wine
// cannot wait for a Unix process: the caller watches for what the program does.
void StartOnHost(std::string line) {
    line = "Z:\\bin\\" + line;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

bool WaitUntil(const std::function<bool()>& done) {
    for (int wait = 0; wait < 100 && !done(); ++wait) {
        Sleep(50);
    }
    return done();
}

// A free drive letter that shows `folder` until the object goes: DefineDosDevice on Windows; under
// Wine, whose file layer ignores that, a link in the prefix's dosdevices folder.
class MappedDrive {
public:
    explicit MappedDrive(const std::string& folder) : folder_(folder) {
        const DWORD used = GetLogicalDrives();
        for (char letter = 'W'; letter >= 'D' && !letter_; --letter) {
            letter_ = (used & (1u << (letter - 'A'))) || Shown(letter) ? 0 : letter;
        }
        const auto driveC = HostPathUnderWine("C:\\"); // .../dosdevices/c:/
        if (letter_ && driveC) {
            link_ = driveC->substr(0, driveC->size() - 3) + static_cast<char>(letter_ - 'A' + 'a') + ":";
            StartOnHost("ln -sn \"" + *HostPathUnderWine(folder) + "\" \"" + link_ + "\"");
        } else if (letter_) {
            DefineDosDeviceA(0, Name().c_str(), folder.c_str());
        }
        mapped_ = letter_ && WaitUntil([this] { return Shown(letter_); });
    }
    ~MappedDrive() {
        if (mapped_ && !link_.empty()) {
            StartOnHost("rm \"" + link_ + "\"");
            WaitUntil([this] { return !Shown(letter_); });
        } else if (mapped_) {
            DefineDosDeviceA(DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE, Name().c_str(),
                             folder_.c_str());
        }
    }

    [[nodiscard]] std::string Name() const { return std::string(1, letter_) + ":"; }

private:
    static bool Shown(char letter) {
        return GetFileAttributesA((std::string(1, letter) + ":\\").c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::string folder_;
    std::string link_;
    char letter_ = 0;
    bool mapped_ = false;
};

class Win32SwapFiles : public ::testing::Test {
protected:
    Win32SwapFiles() {
        machine.Write("Mod/File.txt", "mod file");
        machine.Write("Mod/Folder/a.txt", "mod a");
        machine.Write("Mod/Folder/Sub/b.txt", "mod b");
        machine.Write("Game/Mixed.TXT", "game file");
        machine.Write("Game/ReadOnly.txt", "game read-only");
        SetFileAttributesW(machine.HostPath("Game/ReadOnly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        machine.Write("Drive/Sub/marker.txt", "on the drive");
    }
    std::string Win(const std::string& relative) const { return machine.WindowsPath(relative); }

    test::TestMachine machine;
    Win32SwapFileSystem files;
    TreeSize placed;
};

TEST_F(Win32SwapFiles, FindsTheNameAsTheDiskSpellsIt) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"Game\\mixed.txt", "Mixed.TXT"},
        {"GAME\\MIXED.TXT", "Mixed.TXT"},
        {"game", "Game"},
        {"Game\\Missing.txt", std::nullopt},
        {"Game\\Mixed.*", std::nullopt},
        {"Game\\M?xed.TXT", std::nullopt},
    };
    for (const auto& [path, name] : cases) {
        EXPECT_EQ(files.EntryName(Win(path)), name) << path;
    }
}

TEST_F(Win32SwapFiles, TellsAFolderItCanChange) {
    const std::string before = test::DescribeTree(machine.HostPath("Game"));
    EXPECT_TRUE(files.CanChangeFolder(Win("Game")));
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Game")), before) << "the probe is gone";
    EXPECT_FALSE(files.CanChangeFolder(Win("Missing")));
    EXPECT_EQ(files.LastError(), "no such file or folder");
    EXPECT_FALSE(files.CanChangeFolder(Win("Game\\Mixed.TXT")));
    EXPECT_EQ(files.LastError(), "not a folder");
}

TEST_F(Win32SwapFiles, TellsTheNewEntryBeforeFillingItAndMeasuresWhatItPlaced) {
    for (const bool folder : {false, true}) {
        const std::string to = Win(folder ? "Game\\NewFolder" : "Game\\New.txt");
        int createdCalls = 0;
        int writtenCalls = 0;
        std::optional<EntryIdentity> told;
        CopyEvents events;
        events.created = [&](const EntryIdentity& identity) {
            ++createdCalls;
            told = identity;
            return files.MeasureTree(to).bytes == 0; // nothing is in it yet
        };
        events.written = [&](std::uint64_t) { ++writtenCalls; };
        ASSERT_TRUE(folder ? files.CopyFolder(Win("Mod\\Folder"), to, events, placed)
                           : files.CopyFile(Win("Mod\\File.txt"), to, events, placed));
        EXPECT_EQ(createdCalls, 1);
        EXPECT_EQ(told, files.IdentityOf(to));
        EXPECT_EQ(writtenCalls, folder ? 4 : 1);
        EXPECT_EQ(placed, files.MeasureTree(to));
        EXPECT_EQ(placed.entries, folder ? 4u : 1u);
    }
}

TEST_F(Win32SwapFiles, RefusalsSayWhy) {
    const MappedDrive mapped(Win("Drive"));
    const std::string drive = mapped.Name();
    ASSERT_EQ(files.KindOf(drive + "\\Sub\\marker.txt"), EntryKind::File) << "the test drive is mapped";
    const std::string isDrive = "is a drive of the machine";
    CopyEvents stop;
    stop.created = [](const EntryIdentity&) { return false; };
    struct Case {
        std::string name;
        bool result;
        std::string reason;
        std::string expected;
    };
    // Each result is taken before the reason, which the next case replaces.
    const Case cases[] = {
        {"deleting a drive", files.DeleteFolder(drive + "\\"), files.LastError(), isDrive},
        {"deleting a bare drive", files.DeleteFolder(drive), files.LastError(), isDrive},
        {"deleting a device path", files.DeleteFolder("\\\\?\\" + drive + "\\"), files.LastError(), isDrive},
        {"deleting a drive spelled with /", files.DeleteFolder(drive + "/"), files.LastError(), isDrive},
        {"deleting a drive through ..", files.DeleteFolder(drive + "\\Sub\\.."), files.LastError(), isDrive},
        {"deleting a drive as a file", files.DeleteFile(drive, true), files.LastError(), isDrive},
        {"renaming a drive", files.Rename(drive + "\\", drive + "\\Other"), files.LastError(), isDrive},
        {"clearing a drive's attributes", files.SetAttributesNormal(drive + "\\"), files.LastError(),
         isDrive},
        {"copying into a drive", files.CopyFolder(Win("Mod\\Folder"), drive, {}, placed), files.LastError(),
         isDrive},
        {"copying onto a drive", files.CopyFile(Win("Mod\\File.txt"), drive, {}, placed), files.LastError(),
         isDrive},
        {"deleting a read-only file", files.DeleteFile(Win("Game\\ReadOnly.txt"), false), files.LastError(),
         "the file is read-only"},
        {"renaming a missing entry", files.Rename(Win("Game\\Missing"), Win("Game\\New")), files.LastError(),
         "no such file or folder"},
        {"renaming onto an entry", files.Rename(Win("Game\\Mixed.TXT"), Win("Game\\ReadOnly.txt")),
         files.LastError(), "an entry of that name exists already"},
        {"copying a folder as a file", files.CopyFile(Win("Mod\\Folder"), Win("Game\\New"), {}, placed),
         files.LastError(), "not a file"},
        {"copying a folder into itself", files.CopyFolder(Win("Mod"), Win("Mod\\Folder\\Mod"), {}, placed),
         files.LastError(), "the folder cannot be copied into itself"},
        {"a stopped file copy", files.CopyFile(Win("Mod\\File.txt"), Win("Game\\Stopped.txt"), stop, placed),
         files.LastError(), "the copy was stopped"},
        {"a stopped folder copy", files.CopyFolder(Win("Mod\\Folder"), Win("Game\\Stopped"), stop, placed),
         files.LastError(), "the copy was stopped"},
        {"deleting a file as a folder", files.DeleteFolder(Win("Game\\Mixed.TXT")), files.LastError(),
         "not a folder"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.result) << c.name;
        EXPECT_EQ(c.reason, c.expected) << c.name;
    }
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Drive")), "Sub/\nSub/marker.txt on the drive\n");
    // A stopped copy leaves its empty entry.
    EXPECT_EQ(files.MeasureTree(Win("Game\\Stopped.txt")).bytes, 0u);
    EXPECT_EQ(files.MeasureTree(Win("Game\\Stopped")), (TreeSize{1, 0, 0}));
}

// Wine 8 acts on what a Unix link leads to whatever the flags: such a link is refused, and what it
// leads to stays as it was.
TEST_F(Win32SwapFiles, NeverActsThroughALinkItCannotReachItself) {
    const auto game = HostPathUnderWine(Win("Game"));
    if (!game) {
        GTEST_SKIP() << "Windows reaches a link itself";
    }
    StartOnHost("ln -s \"" + *HostPathUnderWine(Win("Mod\\Folder")) + "\" \"" + *game + "/Link\"");
    ASSERT_TRUE(WaitUntil([&] { return files.KindOf(Win("Game\\Link")) == EntryKind::Folder; }));
    const std::string mod = test::DescribeTree(machine.HostPath("Mod"));
    EXPECT_EQ(files.MeasureTree(Win("Game\\Link")), (TreeSize{1, 0, 0})) << "a link is not entered";
    const bool refused[] = {files.SetAttributesNormal(Win("Game\\Link")),
                            files.Rename(Win("Game\\Link"), Win("Game\\Moved")),
                            files.DeleteFolder(Win("Game\\Link")), files.DeleteFolder(Win("Game"))};
    EXPECT_THAT(refused, ::testing::Each(false));
    EXPECT_EQ(files.LastError(), "the system reaches only what the link leads to");
    EXPECT_EQ(test::DescribeTree(machine.HostPath("Mod")), mod);
    EXPECT_EQ(files.KindOf(Win("Game\\Link")), EntryKind::Folder);
    // Removed on the host: Wine would remove the link's folder through it.
    StartOnHost("rm \"" + *game + "/Link\"");
    EXPECT_TRUE(WaitUntil([&] { return files.KindOf(Win("Game\\Link")) == EntryKind::None; }));
}

TEST(Win32TextFiles, ReadsLinesInBoundedPieces) {
    test::TestMachine machine;
    // A CR LF split between two pieces of 64 KiB, then lines at and past the longest allowed.
    const std::string head = "G\xE9n\xE9raux\r\nb\rc\nd\r\r";
    const std::string split(65535 - head.size(), 'x');
    const std::string longest(kMaxLineBytes, 'y');
    machine.Write("lines.txt", head + split + "\r\nafter\r\n" + longest + "\r" + longest + "z\rnever");
    Win32TextFiles text;
    const auto reader = text.OpenForReading(machine.WindowsPath("lines.txt"));
    ASSERT_TRUE(reader);
    std::vector<std::string> lines;
    for (std::string line; reader->ReadLine(line);) {
        lines.push_back(line.size() > 20 ? std::to_string(line.size()) + " bytes" : line);
    }
    const std::vector<std::string> expected = {"G\xC3\xA9n\xC3\xA9raux",
                                               "b",
                                               "c\nd",
                                               "",
                                               "65518 bytes",
                                               "after",
                                               std::to_string(kMaxLineBytes) + " bytes"};
    EXPECT_EQ(lines, expected) << "the longer line ends the reading";
    std::string line;
    EXPECT_FALSE(reader->ReadLine(line)) << "and it stays ended";
    for (const std::string& path :
         {machine.WindowsPath(), std::string("NUL"), machine.WindowsPath("missing.txt")}) {
        EXPECT_EQ(text.OpenForReading(path), nullptr) << path;
    }
}

TEST(Win32TextFiles, AppendsLinesToANewOrAnExistingFile) {
    test::TestMachine machine;
    Win32TextFiles text;
    const std::string path = machine.WindowsPath("journal.txt");
    std::string error;
    EXPECT_EQ(text.StartAppending(path, false, error), nullptr);
    EXPECT_EQ(error, "no such file or folder");
    auto appender = text.StartAppending(path, true, error);
    ASSERT_TRUE(appender);
    EXPECT_TRUE(appender->Append({"one", "G\xC3\xA9n\xC3\xA9raux"}));
    EXPECT_FALSE(appender->Append({"two", "\xD0\x96"}));
    EXPECT_EQ(appender->LastError(), "a character the code page lacks");
    EXPECT_TRUE(appender->Sync());
    appender.reset();
    EXPECT_EQ(text.StartAppending(path, true, error), nullptr);
    EXPECT_EQ(error, "an entry of that name exists already");
    appender = text.StartAppending(path, false, error);
    ASSERT_TRUE(appender);
    EXPECT_TRUE(appender->Append({"three"}));
    EXPECT_EQ(machine.Read("journal.txt"), "one\r\nG\xE9n\xE9raux\r\nthree\r\n");
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
    fs::copy_file(VANTREL_FAKE_GAME, machine.HostPath("Games/Zero.exe"));
    const std::string program = machine.WindowsPath("Games\\Zero Hour\\generals.exe");
    const RunResult result = runner.RunAndWait(program + " -win -mod Example.big");
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    // The program by its full path, quoted, even where a shorter beginning of the line names one.
    const std::string seen = test::ReadBytes(log);
    EXPECT_NE(seen.find("command: \"" + program + "\" -win -mod Example.big\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("file: Zero Hour\\generals.exe"), std::string::npos) << "the planted Zero.exe ran\n" << seen;
}

// Steam's command for the game, given as arguments: each reaches the game exactly as given, blanks,
// quotes and backslashes included, and the wait covers the game.
TEST_F(Win32Launch, RunsACommandGivenAsItsArgumentsExactly) {
    Win32ProcessRunner runner;
    SetEnvironmentVariableW(L"FAKE_GAME_EXIT", L"4");
    const std::string program = machine.WindowsPath("Games\\Zero Hour\\generals.exe");
    const std::vector<std::string> arguments = {program, "-win", "two words", "", "say \"hi\"", "ends\\",
                                                "a\\\\\"b", "-mod", "Example.big"};
    const RunResult result = runner.RunArgumentsAndWait(arguments, program);
    EXPECT_TRUE(result.started) << result.error;
    EXPECT_EQ(result.exitCode, 4);
    std::string expected;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        expected += "arg: " + arguments[i] + "\n";
    }
    const std::string seen = test::ReadBytes(log);
    EXPECT_NE(seen.find(expected + "cwd: "), std::string::npos) << seen;
}

TEST_F(Win32Launch, NamesTheProgramThatCouldNotStart) {
    Win32ProcessRunner runner;
    const std::string games = machine.WindowsPath("Games");
    const std::pair<std::string, std::string> cases[] = {
        {games + "\\missing.exe -win", games + "\\missing.exe"},
        {games + "\\Zero Hour\\missing.EXE -win -mod a.exe", games + "\\Zero Hour\\missing.EXE"},
        {games + "\\Zero Hour\\missing -win", games + "\\Zero.exe"},
    };
    for (const auto& [line, program] : cases) {
        const RunResult result = runner.RunAndWait(line);
        EXPECT_FALSE(result.started) << line;
        EXPECT_EQ(result.error, program + " could not be started: no such file or folder");
    }
    EXPECT_EQ(test::ReadBytes(log), "") << "nothing ran";
}

// The game itself, and a store's stub that starts game.dat and ends at once, in the launch's job or
// broken away from it as through a store's client, or that starts its client from elsewhere, which
// starts game.dat after 15 s and runs on, or never starts it: the game finds the mod in place, the
// restore waits until the game has ended but not for the client, and a game that never came is a
// failure, with the folder put back.
TEST_F(Win32Launch, SilentModePlaysTheModAndLeavesTheGameAsItWas) {
    struct Case {
        const char* name;
        const wchar_t* start;       // FAKE_GAME_START: the stub's game, or nullptr for the game itself
        const wchar_t* breakaway;   // FAKE_GAME_BREAKAWAY
        const wchar_t* clientDelay; // the stub starts its client, which starts the game after this long
        bool gameStarts;
    };
    const Case cases[] = {
        {"the game itself", nullptr, nullptr, nullptr, true},
        {"a stub that starts game.dat", L"game.dat", nullptr, nullptr, true},
        {"a stub whose game.dat breaks away from the job", L"game.dat", L"1", nullptr, true},
        {"a client that starts game.dat after 15 s and runs on", nullptr, nullptr, L"15000", true},
        {"a client that never starts the game", nullptr, nullptr, L"0", false},
    };
    machine.Write("Games/Generals/Data/Maps/Alpine.map", "game map");
    machine.Write("Games/Generals/Data/INI/GameData.ini", "game data");
    fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                    fs::perm_options::remove);
    fs::create_directories(machine.HostPath("Client"));
    fs::copy_file(VANTREL_FAKE_GAME, machine.HostPath("Client/client.exe"));
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
    // The game looks at its folder only after a stub would have ended.
    SetEnvironmentVariableW(L"FAKE_GAME_LINGER", L"1000");
    for (const auto& c : cases) {
        fs::remove(log);
        // Only a store's folder holds game.dat, and there generals.exe is its stub.
        const bool store = c.start || c.clientDelay;
        if (store) {
            fs::copy_file(VANTREL_FAKE_GAME, machine.HostPath("Games/Generals/game.dat"));
            // The store's game.dat is larger than its stub: what tells the stub from a patched game.
            std::ofstream(machine.HostPath("Games/Generals/game.dat"), std::ios::app | std::ios::binary) << "overlay";
        }
        const std::string before = test::DescribeTree(machine.HostPath("Games/Generals"));
        const std::wstring client = machine.HostPath("Client/client.exe").wstring();
        SetEnvironmentVariableW(L"FAKE_GAME_START", c.clientDelay ? client.c_str() : c.start);
        SetEnvironmentVariableW(L"FAKE_GAME_BREAKAWAY", c.breakaway);
        SetEnvironmentVariableW(L"FAKE_CLIENT_DELAY", c.clientDelay);
        SetEnvironmentVariableW(L"FAKE_CLIENT_GAME", c.gameStarts ? win32::Wide(generals + "game.dat").c_str() : nullptr);
        // Read through the C runtime, whose copy of the environment SetEnvironmentVariable leaves alone.
        _putenv(c.gameStarts ? "VANTREL_GAME_START_WAIT=" : "VANTREL_GAME_START_WAIT=2");

        // The command line itself is the test's own; everything else is the Win32 layer.
        TestEnvironment environment;
        environment.arguments = "-Silent Example";
        SetEnvironmentVariableW(L"VANTREL_HOME", machine.HostPath("Vantrel").wstring().c_str());
        Win32InstanceGuard guard;
        Win32Registry registry;
        Win32DirectoryListing listing;
        Win32TextFiles textFiles;
        Win32SwapFileSystem swapFiles;
        Win32ProcessRunner runner;
        test::RecordingMessages messages;
        ProgramValues values;
        ASSERT_EQ(PrepareStart(values, {guard, environment, registry, listing, textFiles, messages}),
                  StartMode::Silent);
        EXPECT_EQ(RunSilentMode(values, {swapFiles, runner, messages}), c.gameStarts ? 0 : 1) << c.name;
        SetEnvironmentVariableW(L"VANTREL_HOME", nullptr);

        const std::string seen = test::ReadBytes(log);
        if (const std::size_t at = seen.find("client "); at != std::string::npos) {
            // The client runs on after the launch, as a store's does.
            const win32::UniqueHandle running(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                                   static_cast<DWORD>(std::stoul(seen.substr(at + 7)))));
            EXPECT_TRUE(running.Valid() && WaitForSingleObject(running.Get(), 0) == WAIT_TIMEOUT) << c.name;
            TerminateProcess(running.Get(), 0);
        }
        const std::string big = machine.WindowsPath("Mods\\Example\\Example.big");
        const std::string modArgument = big.find(' ') == std::string::npos ? big : '"' + big + '"';
        EXPECT_NE(seen.find("command: \"" + generals + "generals.exe\" -nologo  -mod " + modArgument + "\n"),
                  std::string::npos)
            << c.name << "\n" << seen;
        if (c.gameStarts) {
            EXPECT_TRUE(messages.shown.empty()) << c.name;
            EXPECT_NE(seen.find("file: Data\\Maps\\Mod.map mod map\n"), std::string::npos) << c.name << "\n" << seen;
            EXPECT_NE(seen.find("file: Data\\Maps.original\\Alpine.map game map\n"), std::string::npos) << c.name;
            EXPECT_NE(seen.find("file: Data\\INI\\GameData.ini mod data\n"), std::string::npos) << c.name;
            EXPECT_TRUE(seen.ends_with("game ended\n")) << c.name << ": the launch returned before the game ended\n"
                                                        << seen;
        } else {
            ASSERT_EQ(messages.shown.size(), 1u) << c.name;
            EXPECT_NE(messages.shown[0].text.find("did not start within 2 seconds"), std::string::npos)
                << messages.shown[0].text;
        }
        // The read-only game file comes back writable: the launch clears its attributes.
        fs::permissions(machine.HostPath("Games/Generals/Data/INI/GameData.ini"), fs::perms::owner_write,
                        fs::perm_options::remove);
        EXPECT_EQ(test::DescribeTree(machine.HostPath("Games/Generals")), before) << c.name;
        if (store) {
            fs::remove(machine.HostPath("Games/Generals/game.dat"));
        }
    }
    for (const wchar_t* variable : {L"FAKE_GAME_LINGER", L"FAKE_GAME_START", L"FAKE_GAME_BREAKAWAY",
                                    L"FAKE_CLIENT_DELAY", L"FAKE_CLIENT_GAME"}) {
        SetEnvironmentVariableW(variable, nullptr);
    }
    _putenv("VANTREL_GAME_START_WAIT=");
}

// Names no single code page holds (read as the archive stores them, wide), a DOS code page name, and
// a link that is never made.
TEST(Win32Import, UnpacksEveryNameAsStoredAndNoLink) {
    test::TestMachine machine;
    fs::create_directories(machine.HostPath("Vantrel"));
    machine.Write("Games/ZH/Data/INI/GameData.ini", "zh");
    ProgramValues values;
    values.definitionFolder = machine.WindowsPath("Vantrel");
    values.szZeroHourPath = machine.WindowsPath("Games\\ZH") + "\\";
    struct Case {
        const char* archive;
        std::vector<std::pair<std::u8string, std::string>> files; // below the mod's folder, content
        std::string said;
    };
    const Case cases[] = {
        {"wide.7z",
         {{u8"Maps/Карта/Карта.map", "map"}, {u8"Data/INI/名前.ini", "ini"}, {u8"!Wide.big", "big"}},
         "a character outside its code page"},
        {"oem.zip", {{u8"Data/INI/Café.ini", "caf"}}, "Caf\xC3\xA9.ini"},
        {"links.tar", {{u8"Data/INI/Safe.ini", "safe"}}, "Link.ini: a link"},
    };
    for (const auto& c : cases) {
        fs::create_directories(machine.HostPath("Downloads"));
        fs::copy_file(fs::path(VANTREL_TEST_ARCHIVES) / c.archive, machine.HostPath("Downloads") / c.archive);
        test::RecordingMessages messages;
        const ImportResult result =
            ImportMod(values, {machine.importFiles(), machine.textFiles(), messages},
                      {machine.WindowsPath(std::string("Downloads\\") + c.archive), "", GameId::ZeroHour});
        std::string leftOut;
        for (const auto& line : result.leftOut) {
            leftOut += "\n" + line;
        }
        ASSERT_TRUE(result.ok) << c.archive << ": " << result.error << leftOut;
        EXPECT_NE(ImportSummary(result).find(c.said), std::string::npos) << ImportSummary(result);
        const fs::path mod = machine.HostPath("Vantrel/Mods") / fs::path(std::u8string(result.name.begin(), result.name.end()));
        std::size_t entries = 0;
        for (const auto& entry : fs::recursive_directory_iterator(mod)) {
            EXPECT_FALSE(entry.is_symlink()) << entry.path();
            entries += entry.is_regular_file() ? 1 : 0;
        }
        EXPECT_EQ(entries, c.files.size()) << c.archive;
        for (const auto& [file, content] : c.files) {
            EXPECT_EQ(test::ReadBytes(mod / fs::path(file)), content) << c.archive;
        }
    }
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
             {"\\Mods\\Example\\Readme.txt", "\\Games\\ZH\\Data\\INI"},
             {"\\Mods\\Example\\Maps\\Desert", "\\Games\\Documents\\Command and Conquer Generals Data\\Maps"}}) {
        mod.szSrcPaths.push_back(folder + source);
        mod.szDstFolders.push_back(folder + destination);
    }
    mod.nPairCount = 5;
    // The mod keeps its own user data, moved into the player's place for the run.
    mod.szName = "Example";
    mod.ownUserData = true;
    ProgramValues values;
    test::SetOnlyMod(values, mod);
    test::KillSwitch kill(std::atoi(killAt), test::KillSwitch::Mode::Signal);
    Win32SwapFileSystem realFiles;
    Win32TextFiles realText;
    Win32SingleFiles single;
    Win32LaunchLock lock;
    test::KillingFileSystem files(realFiles, kill);
    test::KillingTextFiles text(realText, kill);
    LaunchJournal journal(text, single, folder + "\\Vantrel", realFiles.MachineName());
    test::RecordingRunner runner;
    test::RecordingMessages messages;
    std::string command = "generals.exe";
    LaunchWithMod(values,
                  {files, runner, messages, {}, &journal, &lock, {},
                   [&](std::string_view) { return folder + "\\Games\\Documents\\Command and Conquer Generals Data"; }},
                  command, 0);
}

// Real deaths under Wine: the launch in a child process is ended with TerminateProcess after each of
// its steps, and the next start, in this process, puts the game folders back.
TEST(Win32KillTest, NextStartPutsBackALaunchTerminatedAtAnyStep) {
    test::TestMachine machine;
    test::WriteExampleInstallation(machine);
    test::WriteExampleUserData(machine);
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
        LaunchJournal journal(text, single, machine.WindowsPath("Vantrel"), files.MachineName());
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
