// Stands in for generals.exe in tests under Wine: writes what it was started with and what its folder
// holds to %FAKE_GAME_LOG%, then exits with %FAKE_GAME_EXIT%.
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

int main() {
    const char* logPath = std::getenv("FAKE_GAME_LOG");
    if (!logPath) {
        return 2;
    }
    std::ofstream log(logPath, std::ios::app | std::ios::binary);
    log << "command: " << GetCommandLineA() << "\n";
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    log << "cwd: " << folder << "\n";
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string gameFolder = self;
    gameFolder = gameFolder.substr(0, gameFolder.rfind('\\'));
    List(log, gameFolder, "");
    const char* exitCode = std::getenv("FAKE_GAME_EXIT");
    return exitCode ? std::atoi(exitCode) : 0;
}
