// Stands in for generals.exe in tests under Wine: writes what it was started with and what its folder
// holds to %FAKE_GAME_LOG% (its line and each argument), then exits with %FAKE_GAME_EXIT%. With %FAKE_GAME_START% it is a store's
// stub instead: it starts that program (a name in its folder, or a full path: a store's client; with
// %FAKE_GAME_BREAKAWAY%, out of its job) and ends at once. %FAKE_GAME_LINGER% milliseconds pass before the folder is looked at.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void List(std::ofstream& log, const std::string& folder, const std::string& relative) {
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = relative.empty() ? name : relative + "\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            List(log, folder + "\\" + name, path);
        } else {
            std::ifstream file(folder + "\\" + name, std::ios::binary);
            const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            const bool program = name.size() > 4 && name.substr(name.size() - 4) == ".exe";
            log << "file: " << path << " " << (program ? std::string("(program)") : content.substr(0, 40)) << "\n";
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

} // namespace

// Starts `name` from the stub's folder as a store's stub starts the game: by its path as the
// application name, with a command line of the bare name, and without waiting for it.
int StartGame(std::ofstream& log, const std::string& folder, const std::string& name) {
    const char* breakaway = std::getenv("FAKE_GAME_BREAKAWAY");
    SetEnvironmentVariableA("FAKE_GAME_START", nullptr);
    SetEnvironmentVariableA("FAKE_GAME_BREAKAWAY", nullptr);
    const std::string program = name.find('\\') == std::string::npos ? folder + "\\" + name : name;
    std::string line = name;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const DWORD flags = breakaway ? CREATE_BREAKAWAY_FROM_JOB : 0;
    if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &process)) {
        log << "stub could not start " << name << ": " << GetLastError() << "\n";
        return 4;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    log << "stub started " << name << "\n";
    return 0;
}

// A store's client (a copy named client.exe), started by the stub from outside the game's folder: after %FAKE_CLIENT_DELAY%
// milliseconds it starts %FAKE_CLIENT_GAME% (when set), then goes on running for a minute, as a
// client does after its game has ended.
int RunClient(std::ofstream& log) {
    log << "client " << GetCurrentProcessId() << "\n";
    log.flush();
    Sleep(static_cast<DWORD>(std::atoi(std::getenv("FAKE_CLIENT_DELAY"))));
    if (const char* game = std::getenv("FAKE_CLIENT_GAME")) {
        const std::string path = game;
        StartGame(log, path.substr(0, path.rfind('\\')), path.substr(path.rfind('\\') + 1));
        log.flush();
    }
    Sleep(60000);
    return 0;
}

int main(int argc, char** argv) {
    const char* logPath = std::getenv("FAKE_GAME_LOG");
    if (!logPath) {
        return 2;
    }
    std::ofstream log(logPath, std::ios::app | std::ios::binary);
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (std::string(self).ends_with("client.exe")) {
        return RunClient(log);
    }
    log << "command: " << GetCommandLineA() << "\n";
    // As the C runtime split the line, which is how the game reads its switches.
    for (int i = 1; i < argc; ++i) {
        log << "arg: " << argv[i] << "\n";
    }
    if (const char* linger = std::getenv("FAKE_GAME_LINGER"); linger && !std::getenv("FAKE_GAME_START")) {
        Sleep(static_cast<DWORD>(std::atoi(linger)));
    }
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    log << "cwd: " << folder << "\n";
    std::string gameFolder = self;
    gameFolder = gameFolder.substr(0, gameFolder.rfind('\\'));
    if (const char* start = std::getenv("FAKE_GAME_START")) {
        log.flush();
        return StartGame(log, gameFolder, start);
    }
    List(log, gameFolder, "");
    log << "game ended\n";
    const char* exitCode = std::getenv("FAKE_GAME_EXIT");
    return exitCode ? std::atoi(exitCode) : 0;
}
