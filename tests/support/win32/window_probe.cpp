// Finds a running program's top-level window by its title as Windows programs do (FindWindowA), for
// scripts that check a program's windows under Wine.
//   window_probe <title> <seconds to wait> [close]
// Prints "window <title> <width>x<height>" and, with "close", asks the window to close as its close
// box would. Exit status: 0 when found, 2 when no such window appeared in time.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: window_probe <title> <seconds> [close]\n", stderr);
        return 64;
    }
    const std::string title = argv[1];
    const DWORD deadline = GetTickCount() + static_cast<DWORD>(std::atoi(argv[2])) * 1000;
    HWND window = nullptr;
    while (!(window = FindWindowA(nullptr, title.c_str())) && GetTickCount() < deadline) {
        Sleep(200);
    }
    if (!window) {
        std::printf("no window titled %s\n", title.c_str());
        return 2;
    }
    RECT area{};
    GetClientRect(window, &area);
    std::printf("window %s %ldx%ld\n", title.c_str(), area.right - area.left, area.bottom - area.top);
    std::fflush(stdout);
    if (argc > 3 && std::string(argv[3]) == "close") {
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    return 0;
}
