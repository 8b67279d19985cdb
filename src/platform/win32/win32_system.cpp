// Registry, instance guard, process environment and process runner.
#include <array>
#include <cwchar>
#include <vector>

#include "platform/case_fold.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/windows_api.h"

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

// The program a command line names, for a message: the quoted part, else up to the first ".exe" that
// ends a word (a path with blanks, as the games' folders have), else the first word.
std::string ProgramOf(std::string_view line) {
    if (line.starts_with('"')) {
        return std::string(line.substr(1, line.find('"', 1) - 1));
    }
    for (std::size_t exe = line.find('.'); exe != std::string_view::npos; exe = line.find('.', exe + 1)) {
        const std::size_t end = exe + 4;
        if (end <= line.size() && EqualsIgnoringCase(line.substr(exe, 4), ".exe") &&
            (end == line.size() || line[end] == ' ' || line[end] == '\t')) {
            return std::string(line.substr(0, end));
        }
    }
    return std::string(line.substr(0, line.find_first_of(" \t")));
}

// How often the games' programs are looked for once the launch's own processes have ended.
constexpr DWORD kPollMilliseconds = 500;
// How long a store's client may take to start the game that its stub handed over.
constexpr ULONGLONG kHandOverMilliseconds = 10000;

// The programs of the games whose running keeps a launch going, as they lie in the install folder.
constexpr std::array<const wchar_t*, 3> kGamePrograms = {L"game.dat", L"generals.exe", L"worldbuilder.exe"};

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

// The games' programs in the folder of `program`.
std::vector<std::wstring> GameProgramsBeside(const std::wstring& program) {
    std::vector<std::wstring> paths;
    const std::size_t slash = program.rfind(L'\\');
    if (slash != std::wstring::npos) {
        for (const wchar_t* name : kGamePrograms) {
            paths.push_back(program.substr(0, slash + 1) + name);
        }
    }
    return paths;
}

// True while another process runs one of `programs`, whoever started it: a store's stub may hand
// the game to the store's client, which starts it outside the launch's job.
bool AnyRunning(const std::vector<std::wstring>& programs) {
    if (programs.empty()) {
        return false;
    }
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) {
        return false;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        bool named = false;
        for (const wchar_t* name : kGamePrograms) {
            named = named || SameNameIgnoringCase(entry.szExeFile, name);
        }
        if (!named || entry.th32ProcessID == self) {
            continue;
        }
        const UniqueHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!process.Valid() || WaitForSingleObject(process.Get(), 0) != WAIT_TIMEOUT) {
            continue;
        }
        const std::wstring path = ProgramPathOf(process.Get());
        for (const auto& program : programs) {
            if (SameNameIgnoringCase(path, program)) {
                return true;
            }
        }
    }
    return false;
}

// A job that holds the started program and all it starts, and tells through a completion port when
// the last of them has ended. Breakaway is allowed, so that a stub that asks for it still starts the
// game (AnyRunning then finds it); silent breakaway is not, so that nothing else escapes. The job
// does not end its processes when closed: a launcher that dies leaves its game running.
class LaunchJob {
public:
    LaunchJob() {
        if (!job_.Valid() || !port_.Valid()) {
            return;
        }
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{};
        association.CompletionKey = job_.Get();
        association.CompletionPort = port_.Get();
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
        ready_ = SetInformationJobObject(job_.Get(), JobObjectAssociateCompletionPortInformation, &association,
                                         sizeof association) &&
                 SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }

    // Puts the suspended process in the job; false when it cannot be (a job that holds this launcher
    // may forbid one inside it), and then only the process itself is waited for.
    bool Hold(HANDLE process) { return held_ = ready_ && AssignProcessToJobObject(job_.Get(), process); }

    // Whether the program started another process in the job.
    [[nodiscard]] bool StartedOthers() const {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        return held_ &&
               QueryInformationJobObject(job_.Get(), JobObjectBasicAccountingInformation, &accounting,
                                         sizeof accounting, nullptr) &&
               accounting.TotalProcesses > 1;
    }

    // Blocks until no process of the job runs.
    void WaitUntilEmpty() {
        while (held_) {
            DWORD message = 0;
            ULONG_PTR key = 0;
            LPOVERLAPPED detail = nullptr;
            if (GetQueuedCompletionStatus(port_.Get(), &message, &key, &detail, kPollMilliseconds) &&
                key == reinterpret_cast<ULONG_PTR>(job_.Get()) && message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
                return;
            }
            // The port's messages are not guaranteed: the job's count has the last word.
            JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
            if (!QueryInformationJobObject(job_.Get(), JobObjectBasicAccountingInformation, &accounting,
                                           sizeof accounting, nullptr) ||
                accounting.ActiveProcesses == 0) {
                return;
            }
        }
    }

private:
    UniqueHandle job_{CreateJobObjectW(nullptr, nullptr)};
    UniqueHandle port_{CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1)};
    bool ready_ = false;
    bool held_ = false;
};

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

// Starts a process suspended through `create`, holds it and all it starts in a job, and waits for
// them and for the games' programs beside `gameProgram`, else beside the program Windows chose;
// `program` names it in a failure.
template <typename Create>
RunResult RunInJob(const std::string& program, const std::wstring& gameProgram, Create create) {
    RunResult result;
    PROCESS_INFORMATION process{};
    LaunchJob job;
    // Handles are inherited: the game holds the launch lock for as long as it runs. Suspended until it
    // is in the job, so that nothing it starts escapes.
    if (!create(process)) {
        result.error = program + " could not be started: " + ReasonOf(GetLastError());
        return result;
    }
    const UniqueHandle running(process.hProcess);
    const UniqueHandle thread(process.hThread);
    job.Hold(running.Get());
    // The folder of the program Windows chose by its rule for an unquoted line.
    const std::vector<std::wstring> games =
        GameProgramsBeside(gameProgram.empty() ? ProgramPathOf(running.Get()) : gameProgram);
    if (ResumeThread(thread.Get()) == static_cast<DWORD>(-1)) {
        const DWORD error = GetLastError();
        TerminateProcess(running.Get(), 1);
        result.error = program + " could not be started: " + ReasonOf(error);
        return result;
    }
    result.started = true;
    job.WaitUntilEmpty();
    DWORD exitCode = 0;
    if (WaitForSingleObject(running.Get(), INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(running.Get(), &exitCode)) {
        result.exitCode = static_cast<int>(exitCode);
    }
    // A store's stub that started nothing has handed the game to its client, already running, which
    // starts it a moment later: where the folder holds the store's game.dat, look for it a while.
    const ULONGLONG handedOver = GetTickCount64();
    bool mayFollow = !job.StartedOthers() && !games.empty() &&
                     GetFileAttributesW(games.front().c_str()) != INVALID_FILE_ATTRIBUTES;
    for (;;) {
        if (AnyRunning(games)) {
            mayFollow = false; // seen: the wait now lasts as long as the game
        } else if (!mayFollow || GetTickCount64() - handedOver >= kHandOverMilliseconds) {
            break;
        }
        Sleep(kPollMilliseconds);
    }
    return result;
}

} // namespace

RunResult Win32ProcessRunner::RunAndWait(std::string_view commandLine) {
    auto line = AnsiExact(commandLine); // CreateProcessA may write into it
    if (!line) {
        RunResult result;
        result.error = ProgramOf(commandLine) + " could not be started: " + kLacksCharacter;
        return result;
    }
    return RunInJob(ProgramOf(commandLine), {}, [&](PROCESS_INFORMATION& process) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        return CreateProcessA(nullptr, line->data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                              nullptr, nullptr, &startup, &process) != FALSE;
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
    return RunInJob(arguments.front(), Wide(gameProgram), [&](PROCESS_INFORMATION& process) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        return CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED,
                              nullptr, nullptr, &startup, &process) != FALSE;
    });
}

} // namespace vantrel
