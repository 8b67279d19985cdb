// Registry, instance guard, process environment and process runner.
#include <algorithm>
#include <array>
#include <cwchar>
#include <functional>
#include <optional>
#include <vector>

#include "platform/case_fold.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"
#include "platform/windows_paths.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

namespace vantrel {

using namespace win32;

namespace {

std::optional<std::string> ReadRegistryString(const RegistryQuery& query) {
    HKEY key = nullptr;
    // Read access only: a standard user may not ask HKLM for more.
    const HKEY root = query.root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const REGSAM view = query.view == RegistryView::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    if (RegOpenKeyExA(root, Ansi(query.keyPath).c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    char buffer[256] = {};
    DWORD length = sizeof buffer;
    DWORD type = 0;
    const LONG result = RegQueryValueExA(key, Ansi(query.valueName).c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &length);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || length == 0) {
        return std::nullopt;
    }
    // The returned length counts the terminating NUL.
    return Utf8FromAnsi(std::string_view(buffer, length - 1));
}

} // namespace

std::optional<std::string> Win32Registry::ReadMachineString(std::string_view keyPath, std::string_view valueName) {
    // The 32-bit view is where the games' installers recorded their folders, also for a 64-bit build
    // of this program.
    return ReadRegistryString({RegistryRoot::LocalMachine, RegistryView::Bits32, std::string(keyPath),
                               std::string(valueName)});
}

std::vector<std::optional<std::string>> Win32Registry::ReadStrings(std::span<const RegistryQuery> queries) {
    std::vector<std::optional<std::string>> answers;
    answers.reserve(queries.size());
    for (const auto& query : queries) {
        answers.push_back(ReadRegistryString(query));
    }
    return answers;
}

bool Win32InstanceGuard::IsAnotherInstanceOpen() {
    return FindWindowA(nullptr, "Vantrel") != nullptr;
}

std::string Win32ProcessEnvironment::HomeFolder() {
    // From the process's own block, not the C runtime's copy, which misses later changes.
    std::wstring home(32767, L'\0'); // the longest value a variable can have
    home.resize(GetEnvironmentVariableW(L"VANTREL_HOME", home.data(), static_cast<DWORD>(home.size())));
    std::string folder = Utf8(home);
    while (folder.size() > 1 && (folder.back() == '\\' || folder.back() == '/')) {
        folder.pop_back();
    }
    return folder;
}

std::string Win32ProcessEnvironment::ProgramFolder() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return ".";
        }
        if (length < path.size()) {
            const std::string full = Utf8FromAnsi(std::string_view(path.data(), length));
            return full.substr(0, full.rfind('\\'));
        }
        path.resize(path.size() * 2);
    }
}

std::string Win32ProcessEnvironment::UserDataFolder() {
    wchar_t* local = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local) == S_OK && local && *local) {
        folder = Utf8(local);
        while (!folder.empty() && folder.back() == '\\') {
            folder.pop_back();
        }
        folder += "\\Vantrel";
    }
    CoTaskMemFree(local);
    return folder;
}

std::string Win32ProcessEnvironment::DocumentsFolder() {
    // The known folder, wherever the user or OneDrive moved it.
    wchar_t* documents = nullptr;
    std::string folder;
    if (SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &documents) == S_OK && documents) {
        folder = Utf8(documents);
        while (!folder.empty() && folder.back() == '\\') {
            folder.pop_back();
        }
    }
    CoTaskMemFree(documents);
    return folder;
}

bool Win32ProcessEnvironment::IsInstalledProgramFolder(std::string_view folder) {
    std::vector<std::string> system;
    // The 64-bit Program Files has no known folder a 32-bit process may ask for: the environment names it.
    for (const KNOWNFOLDERID& id :
         {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86, FOLDERID_ProgramFilesX64, FOLDERID_Windows}) {
        wchar_t* path = nullptr;
        if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK && path && *path) {
            system.push_back(Utf8(path));
        }
        CoTaskMemFree(path);
    }
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432", L"SystemRoot"}) {
        std::wstring value(MAX_PATH, L'\0');
        const DWORD length = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (length > 0 && length < value.size()) {
            value.resize(length);
            system.push_back(Utf8(value));
        }
    }
    const std::string key = WindowsPathKey(folder);
    return std::any_of(system.begin(), system.end(), [&](const std::string& path) {
        const std::string systemKey = WindowsPathKey(path);
        return key == systemKey || IsInsideKey(key, systemKey);
    });
}

bool Win32ProcessEnvironment::CanWriteIn(std::string_view folder) {
    const std::wstring probe =
        Wide(folder) + L"\\Vantrel write check " + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const DWORD flags = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE;
    const UniqueHandle file(
        CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, flags, nullptr));
    return file.Valid();
}

bool Win32ProcessEnvironment::CreateFolder(std::string_view folder) {
    const std::wstring path = Wide(folder);
    // A folder above that cannot be made may still be there: only the last one's presence counts.
    for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1)) {
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    }
    CreateDirectoryW(path.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ArgumentTextOf(std::wstring_view line) {
    std::size_t pos = 0;
    if (!line.empty() && line[0] == L'"') {
        const std::size_t close = line.find(L'"', 1);
        pos = close == std::wstring_view::npos ? line.size() : close + 1;
    } else {
        pos = std::min(line.find_first_of(L" \t"), line.size());
    }
    while (pos < line.size() && (line[pos] == L' ' || line[pos] == L'\t')) {
        ++pos;
    }
    return Utf8(line.substr(pos));
}

std::string Win32ProcessEnvironment::ArgumentText() {
    return ArgumentTextOf(GetCommandLineW());
}

std::vector<std::string> Win32ProcessEnvironment::Arguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** split = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!split) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(Utf8(split[i]));
    }
    LocalFree(split);
    return arguments;
}

namespace {

// How often the programs of the game's folder are looked for while a launch waits.
constexpr DWORD kPollMilliseconds = 500;

bool SameNameIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The full Windows path of a process's program; empty when it cannot be asked.
std::wstring ProgramPathOf(HANDLE process) {
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &length)) {
        return {};
    }
    path.resize(length);
    return path;
}

// The path with its long names; as it is when the system cannot tell them.
std::wstring LongPath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD length = path.empty() ? 0 : GetLongPathNameW(path.c_str(), full.data(), static_cast<DWORD>(full.size()));
    if (length == 0 || length >= full.size()) {
        return path;
    }
    full.resize(length);
    return full;
}

// The program of a process other than this one whose file lies inside `folder` (ending in a
// backslash), other than `stub`, whoever started it; empty when none runs: a store's stub hands the game to its
// client, which starts it; what else the client runs lies elsewhere and does not count.
std::wstring ProgramOf(const std::wstring& folder, const std::wstring& stub) {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (folder.empty() || !snapshot.Valid()) {
        return {};
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (entry.th32ProcessID == self || entry.th32ProcessID == 0) {
            continue;
        }
        const UniqueHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!process.Valid() || WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT) {
            continue;
        }
        const std::wstring path = ProgramPathOf(process.Get());
        // Directly in the folder: what lies in its subfolders (a store's installer or repair tools) is no game.
        if (path.size() > folder.size() && SameNameIgnoringCase(std::wstring_view(path).substr(0, folder.size()), folder) &&
            path.find(L'\\', folder.size()) == std::wstring::npos && (stub.empty() || !SameNameIgnoringCase(path, stub))) {
            return path;
        }
    }
    return {};
}

} // namespace

namespace {

// The command line that Windows' usual splitting (the C runtime's, CommandLineToArgvW) turns back
// into exactly `arguments`: an argument with a blank, a tab or a quote, or an empty one, is quoted,
// and the backslashes before a quote are doubled.
std::wstring QuotedCommandLine(const std::vector<std::string>& arguments) {
    std::wstring line;
    for (const auto& argument : arguments) {
        const std::wstring wide = Wide(argument);
        if (!line.empty()) {
            line += L' ';
        }
        if (!wide.empty() && wide.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
            line += wide;
            continue;
        }
        line += L'"';
        std::size_t backslashes = 0;
        for (const wchar_t c : wide) {
            if (c == L'\\') {
                ++backslashes;
                continue;
            }
            line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, L'\\');
        line += L'"';
    }
    return line;
}

// Starts a process through `create` and waits for it, and for the programs of the folder of
// `gameProgram`, else of the program Windows started; `program` names it in a failure.
template <typename Create>
RunResult RunWatching(const std::string& program, const std::wstring& gameProgram,
                      const std::function<void(RunStage)>& tell, Create create) {
    RunResult result;
    PROCESS_INFORMATION process{};
    // Handles are inherited: the game holds the launch lock for as long as it runs.
    if (!create(process)) {
        result.error = program + " could not be started: " + ReasonOf(GetLastError());
        return result;
    }
    const ULONGLONG begun = GetTickCount64();
    const UniqueHandle running(process.hProcess);
    const UniqueHandle thread(process.hThread);
    // The folder as the system names processes' programs: its long names, not 8.3 ones.
    const std::wstring game = LongPath(gameProgram.empty() ? ProgramPathOf(running.Get()) : gameProgram);
    const std::wstring folder = game.substr(0, game.rfind(L'\\') + 1);
    const std::wstring name = game.substr(folder.size());
    // The store's generals.exe only hands the game (game.dat) to its client; one of game.dat's own
    // size is the game itself (patched).
    WIN32_FILE_ATTRIBUTE_DATA gameData{};
    WIN32_FILE_ATTRIBUTE_DATA itself{};
    const bool isStub = SameNameIgnoringCase(name, L"generals.exe") &&
                        GetFileAttributesExW((folder + L"game.dat").c_str(), GetFileExInfoStandard, &gameData) &&
                        GetFileAttributesExW(game.c_str(), GetFileExInfoStandard, &itself) &&
                        (gameData.nFileSizeLow != itself.nFileSizeLow || gameData.nFileSizeHigh != itself.nFileSizeHigh);
    const std::wstring stub = isStub ? game : std::wstring();
    const auto startWait = static_cast<ULONGLONG>(GameStartWait().count());
    result.started = true;
    bool programRuns = true;
    bool sawGame = false;
    std::optional<RunStage> told;
    ULONGLONG handedOver = 0;
    bool handing = false; // the stub has ended and nothing of the folder runs
    const auto stage = [&](RunStage now) {
        if (told != now) {
            told = now;
            tell(now);
        }
    };
    for (;;) {
        if (programRuns && WaitForSingleObject(running.Get(), kPollMilliseconds) != WAIT_TIMEOUT) {
            programRuns = false;
            DWORD exitCode = 0;
            if (GetExitCodeProcess(running.Get(), &exitCode)) {
                result.exitCode = static_cast<int>(exitCode);
            }
        }
        const bool gameRuns = !ProgramOf(folder, stub).empty();
        sawGame = sawGame || gameRuns;
        if (programRuns || gameRuns) {
            stage(gameRuns ? RunStage::GameRunning : RunStage::WaitingForGame);
            handing = false;
        } else if (sawGame || stub.empty()) {
            break;
        } else {
            // A store's stub hands the game to its client, which may first start, update or sync.
            if (!handing) {
                handing = true;
                handedOver = GetTickCount64();
            }
            if (GetTickCount64() - handedOver >= startWait) {
                result.started = false;
                result.error = Utf8(game) + " handed the game to its store's client, but the game did not start within " +
                               std::to_string(startWait / 1000) + " seconds";
                break;
            }
            stage(RunStage::WaitingForGame);
        }
        if (!programRuns) {
            Sleep(kPollMilliseconds);
        }
    }
    result.seconds = static_cast<double>(GetTickCount64() - begun) / 1000.0;
    return result;
}

} // namespace

std::optional<std::string> Win32ProcessRunner::ProgramRunningFrom(std::string_view folder) {
    const std::wstring running = ProgramOf(LongPath(Wide(folder)), {});
    return running.empty() ? std::nullopt : std::optional(Utf8(running.substr(running.rfind(L'\\') + 1)));
}

RunResult Win32ProcessRunner::RunAndWait(std::string_view commandLine) {
    // The program by its full path, never a shorter beginning of the line that Windows' search for an
    // unquoted one would try first (C:\Program.exe); its arguments exactly as they are.
    const CommandLineParts parts = SplitCommandLine(commandLine);
    const auto program = AnsiExact(parts.program);
    auto line = AnsiExact("\"" + parts.program + "\"" + parts.rest); // CreateProcessA may write into it
    if (!program || !line) {
        RunResult result;
        result.error = parts.program + " could not be started: " + kLacksCharacter;
        return result;
    }
    return RunWatching(parts.program, {}, [this](RunStage stage) { Tell(stage); }, [&](PROCESS_INFORMATION& process) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        return CreateProcessA(program->c_str(), line->data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                              nullptr, &startup, &process) != FALSE;
    });
}

RunResult Win32ProcessRunner::RunArgumentsAndWait(const std::vector<std::string>& arguments,
                                                  std::string_view gameProgram) {
    if (arguments.empty() || arguments.front().empty()) {
        RunResult result;
        result.error = "no program was named";
        return result;
    }
    // Wide, so that no character is lost to the ANSI code page.
    std::wstring line = QuotedCommandLine(arguments);
    return RunWatching(arguments.front(), Wide(gameProgram), [this](RunStage stage) { Tell(stage); },
                       [&](PROCESS_INFORMATION& process) {
                           STARTUPINFOW startup{};
                           startup.cb = sizeof startup;
                           return CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS,
                                                 nullptr, nullptr, &startup, &process) != FALSE;
                       });
}

} // namespace vantrel
