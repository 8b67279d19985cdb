// How long finding both games' install folders in a prefix's system.reg takes beside merely reading it.
// VANTREL_BENCH_PREFIX names a prefix made by `wineboot -i` whose system.reg (and user.reg) to use;
// without it a registry of about the same size and shape stands in. Argument 0 is the file as it is (no
// game installed: every key is missing), 1 the same file with both games' keys added where Wine sorts them.
// FindEverywhere is the whole lookup of a start (every registry place, then three Steam libraries of
// 500 installed apps): argument 0 finds no game, 1 finds both in the last library; its baseline is the
// disc keys' lookup alone in the same prefix, so the difference is what the other places add.
// FindWithOtherLaunchers is FindEverywhere (argument 1) and the choice of machine among 20 Lutris games,
// 10 bottles and 10 Heroic games, each with a prefix of its own holding no game: argument 0 with what
// the last start learnt of those prefixes at hand, 1 with nothing learnt (the first start after each of
// their registries changed); its baseline is FindEverywhere alone in the same home.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "app/machine_choice.h"
#include "platform/native_platform.h"
#include "platform/wine/wine_game_files.h"
#include "platform/wine/wine_prefix.h"
#include "platform/wine/wine_registry.h"
#include "ratio_reporter.h"
#include "discovery/install_discovery.h"
#include "support/temp_folder.h"

namespace {

// Shaped like what wineboot writes: mostly class registrations, then the 32-bit view, then System.
std::string SynthesizedRegistry() {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
    char line[256];
    const auto add = [&](const char* root, int i) {
        std::snprintf(line, sizeof line,
                      "[%s\\\\{%08X-0000-0000-C000-000000000046}\\\\InprocServer32] 1796653437\n"
                      "#time=1dd865698b99d9a\n@=\"C:\\\\windows\\\\system32\\\\combase.dll\"\n"
                      "\"ThreadingModel\"=\"Both\"\n\n",
                      root, i);
        text += line;
    };
    for (int i = 0; i < 7800; ++i) {
        add("Software\\\\Classes\\\\CLSID", i);
    }
    for (int i = 0; i < 900; ++i) {
        add("Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Shell Extensions", i);
    }
    text += "[Software\\\\Wow6432Node\\\\Microsoft\\\\Clients] 1796653431\n#time=1dd865698b99d9a\n\n";
    for (int i = 0; i < 180; ++i) {
        add("System\\\\CurrentControlSet\\\\Control\\\\Class", i);
    }
    return text;
}

std::string BaseRegistry() {
    if (const char* prefix = std::getenv("VANTREL_BENCH_PREFIX"); prefix && *prefix) {
        return vantrel::test::ReadBytes(std::string(prefix) + "/system.reg");
    }
    return SynthesizedRegistry();
}

// The file with both games' keys in the 32-bit view, placed where Wine's sorted output puts them.
std::string WithGames(std::string text) {
    const std::string keys =
        "[Software\\\\Wow6432Node\\\\Electronic Arts\\\\EA Games\\\\Command and Conquer Generals Zero Hour] "
        "1796653500\n#time=1dd865698b99d9a\n\"InstallPath\"=\"C:\\\\Program Files (x86)\\\\EA Games\\\\"
        "Command and Conquer Generals Zero Hour\\\\\"\n\"Version\"=dword:00010004\n\n"
        "[Software\\\\Wow6432Node\\\\Electronic Arts\\\\EA Games\\\\Generals] 1796653500\n"
        "#time=1dd865698b99d9a\n\"InstallPath\"=\"C:\\\\Program Files (x86)\\\\EA Games\\\\"
        "Command and Conquer Generals\\\\\"\n\"Version\"=dword:00010008\n\n";
    std::size_t at = text.find("\n[Software\\\\Wow6432Node\\\\Microsoft");
    at = at == std::string::npos ? text.size() : at + 1;
    return text.insert(at, keys);
}

// A user.reg of about the size wineboot makes (30 KB): the settings of a fresh prefix.
std::string UserRegistry() {
    if (const char* prefix = std::getenv("VANTREL_BENCH_PREFIX"); prefix && *prefix) {
        return vantrel::test::ReadBytes(std::string(prefix) + "/user.reg");
    }
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                       "#arch=win64\n\n";
    char line[256];
    for (int i = 0; i < 300; ++i) {
        std::snprintf(line, sizeof line,
                      "[Software\\\\Wine\\\\Setting%04d] 1796653437\n#time=1dd865698b99d9a\n\"Value\"=\"%d\"\n\n", i, i);
        text += line;
    }
    return text;
}

// What Steam writes for an installed app: its manifest of about 700 bytes.
std::string Manifest(int id, const std::string& name, const std::string& installDir) {
    return "\"AppState\"\n{\n\t\"appid\"\t\t\"" + std::to_string(id) + "\"\n\t\"universe\"\t\t\"1\"\n\t\"name\"\t\t\"" +
           name + "\"\n\t\"StateFlags\"\t\t\"4\"\n\t\"installdir\"\t\t\"" + installDir +
           "\"\n\t\"LastUpdated\"\t\t\"1700000000\"\n\t\"SizeOnDisk\"\t\t\"1234567890\"\n\t\"buildid\"\t\t\"123456\"\n"
           "\t\"LastOwner\"\t\t\"76561198000000000\"\n\t\"BytesToDownload\"\t\t\"0\"\n\t\"BytesDownloaded\"\t\t\"0\"\n"
           "\t\"AutoUpdateBehavior\"\t\t\"0\"\n\t\"AllowOtherDownloadsWhileRunning\"\t\t\"0\"\n"
           "\t\"ScheduledAutoUpdate\"\t\t\"0\"\n\t\"InstalledDepots\"\n\t{\n\t\t\"" + std::to_string(id + 1) +
           "\"\n\t\t{\n\t\t\t\"manifest\"\t\t\"1234567890123456789\"\n\t\t\t\"size\"\t\t\"1234567890\"\n\t\t}\n\t}\n"
           "\t\"UserConfig\"\n\t{\n\t\t\"language\"\t\t\"english\"\n\t}\n\t\"MountedConfig\"\n\t{\n"
           "\t\t\"language\"\t\t\"english\"\n\t}\n}\n";
}

// A home with Steam in ~/.local/share/Steam, whose libraryfolders.vdf lists it and two more libraries,
// 500 apps among the three; with `games`, both games are installed in the last.
void MakeSteam(const std::filesystem::path& home, bool games) {
    const std::filesystem::path libraries[] = {home / ".local/share/Steam", home / "Library2", home / "Library3"};
    std::string folders = "\"libraryfolders\"\n{\n";
    for (int i = 0; i < 3; ++i) {
        folders += "\t\"" + std::to_string(i) + "\"\n\t{\n\t\t\"path\"\t\t\"" + libraries[i].string() +
                   "\"\n\t\t\"label\"\t\t\"\"\n\t}\n";
    }
    vantrel::test::WriteBytes(libraries[0] / "steamapps/libraryfolders.vdf", folders + "}\n");
    for (int app = 0; app < 500; ++app) {
        const int id = 1000000 + app * 10;
        vantrel::test::WriteBytes(libraries[app % 3] / "steamapps" / ("appmanifest_" + std::to_string(id) + ".acf"),
                                  Manifest(id, "Some Game " + std::to_string(app), "Some Game " + std::to_string(app)));
    }
    if (games) {
        const auto& last = libraries[2];
        vantrel::test::WriteBytes(last / "steamapps/appmanifest_2229870.acf",
                                  Manifest(2229870, "Command & Conquer\xE2\x84\xA2 Generals", "Generals"));
        vantrel::test::WriteBytes(last / "steamapps/appmanifest_2732960.acf",
                                  Manifest(2732960, "Command & Conquer\xE2\x84\xA2 Generals Zero Hour", "Zero Hour"));
        vantrel::test::WriteBytes(last / "steamapps/common/Generals/generals.exe", "game");
        vantrel::test::WriteBytes(last / "steamapps/common/Zero Hour/generals.exe", "game");
    }
}

struct Prefixes {
    vantrel::test::TempFolder folder;
    std::string roots[2];
    std::string homes[2];
    Prefixes() {
        const std::string base = BaseRegistry();
        const std::string user = UserRegistry();
        roots[0] = (folder.Path() / "plain").string();
        roots[1] = (folder.Path() / "games").string();
        vantrel::test::WriteBytes(roots[0] + "/system.reg", base);
        vantrel::test::WriteBytes(roots[1] + "/system.reg", WithGames(base));
        for (int i = 0; i < 2; ++i) {
            vantrel::test::WriteBytes(roots[i] + "/user.reg", user);
            std::filesystem::create_directories(roots[i] + "/drive_c");
            std::filesystem::create_directories(roots[i] + "/dosdevices");
            std::filesystem::create_directory_symlink("../drive_c", roots[i] + "/dosdevices/c:");
            std::filesystem::create_directory_symlink("/", roots[i] + "/dosdevices/z:");
            homes[i] = (folder.Path() / ("home" + std::to_string(i))).string();
            MakeSteam(homes[i], i == 1);
        }
    }
};

Prefixes& ThePrefixes() {
    static Prefixes prefixes;
    return prefixes;
}

// What the start does: a fresh registry of the prefix asked for both games' folders.
void FindInstallFolders(benchmark::State& state) {
    const auto arg = static_cast<std::size_t>(state.range(0));
    const vantrel::WinePrefix prefix(ThePrefixes().roots[arg]);
    vantrel::ProgramValues values;
    for (auto _ : state) {
        vantrel::WineRegistry registry(prefix);
        vantrel::DiscoverInstallFolders(registry, values);
        benchmark::DoNotOptimize(values.szGeneralsPath.data());
        benchmark::DoNotOptimize(values.szZeroHourPath.data());
    }
    if (values.szGeneralsPath.empty() != (arg == 0) || values.szZeroHourPath.empty() != (arg == 0)) {
        state.SkipWithError("the install folders are not what the file holds");
    }
}

// What a start without WINEPREFIX does: every place, with no game in the registry (plain prefix).
void FindEverywhere(benchmark::State& state) {
    const auto arg = static_cast<std::size_t>(state.range(0));
    const vantrel::WinePrefix prefix(ThePrefixes().roots[0]);
    vantrel::WineGameFiles files(prefix, ThePrefixes().homes[arg]);
    vantrel::Installations found;
    for (auto _ : state) {
        vantrel::WineRegistry registry(prefix);
        found = vantrel::FindInstallations(registry, &files);
        benchmark::DoNotOptimize(found.generals.folder.data());
    }
    if (found.generals.folder.empty() != (arg == 0) || found.zeroHour.folder.empty() != (arg == 0) ||
        found.steamLibraries.size() != 3) {
        state.SkipWithError("the games found are not those installed");
    }
}

// Its baseline: the disc keys' lookup alone in the same prefix, which finds nothing there.
void FindDiscKeysOnly(benchmark::State& state) {
    const vantrel::WinePrefix prefix(ThePrefixes().roots[0]);
    for (auto _ : state) {
        vantrel::WineRegistry registry(prefix);
        auto found = vantrel::FindInstallations(registry, nullptr);
        benchmark::DoNotOptimize(found.generals.folder.data());
    }
}

// The floor: opening the file and reading its bytes into a buffer of its size.
void ReadFileBaseline(benchmark::State& state) {
    const std::string path = ThePrefixes().roots[static_cast<std::size_t>(state.range(0))] + "/system.reg";
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        fstat(fd, &info);
        const auto size = static_cast<std::size_t>(info.st_size);
        const std::unique_ptr<char[]> buffer(new char[size]);
        std::size_t total = 0;
        for (ssize_t got; total < size && (got = read(fd, buffer.get() + total, size - total)) > 0;) {
            total += static_cast<std::size_t>(got);
        }
        close(fd);
        benchmark::DoNotOptimize(buffer.get());
        benchmark::DoNotOptimize(total);
    }
}

// A home holding the plain prefix as ~/.wine, Steam with both games, and 40 prefixes of other launchers.
struct LauncherHome {
    vantrel::test::TempFolder folder;
    std::string home = (folder.Path() / "home").string();
    LauncherHome() {
        MakeSteam(home, true);
        std::filesystem::create_directory_symlink(ThePrefixes().roots[0], home + "/.wine");
        const auto prefix = [&](const std::string& root) {
            for (const char* file : {"/system.reg", "/user.reg"}) {
                std::filesystem::create_directories(root);
                std::filesystem::copy_file(ThePrefixes().roots[0] + file, root + file);
            }
            std::filesystem::create_directories(root + "/drive_c");
            std::filesystem::create_directories(root + "/dosdevices");
            std::filesystem::create_directory_symlink("../drive_c", root + "/dosdevices/c:");
        };
        for (int i = 0; i < 20; ++i) {
            const std::string root = home + "/Games/game-" + std::to_string(i);
            prefix(root);
            vantrel::test::WriteBytes(home + "/.local/share/lutris/games/game-" + std::to_string(i) + "-1700000000.yml",
                                      "game:\n  exe: " + root + "/drive_c/game.exe\n  prefix: " + root +
                                          "\ngame_slug: game-" + std::to_string(i) +
                                          "\nsystem: {}\nwine:\n  version: lutris-GE-Proton8-26-x86_64\n");
        }
        for (int i = 0; i < 10; ++i) {
            const std::string root = home + "/.local/share/bottles/bottles/Bottle-" + std::to_string(i);
            prefix(root);
            vantrel::test::WriteBytes(root + "/bottle.yml", "Name: Bottle " + std::to_string(i) +
                                                                "\nPath: Bottle-" + std::to_string(i) +
                                                                "\nCustom_Path: false\nRunner: soda-9.0-1\n");
        }
        for (int i = 0; i < 10; ++i) {
            const std::string root = home + "/Games/Heroic/Prefixes/default/Game " + std::to_string(i);
            prefix(root);
            const std::string app = "app" + std::to_string(i);
            vantrel::test::WriteBytes(home + "/.config/heroic/GamesConfig/" + app + ".json",
                                      "{\n  \"" + app + "\": {\n    \"winePrefix\": \"" + root +
                                          "\",\n    \"wineVersion\": {\n      \"bin\": \"/usr/bin/wine\",\n"
                                          "      \"name\": \"Wine Default\",\n      \"type\": \"wine\"\n    }\n  }\n}\n");
        }
        setenv("HOME", home.c_str(), 1);
        for (const char* name : {"WINEPREFIX", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "WINE"}) {
            unsetenv(name);
        }
    }
};

LauncherHome& TheLauncherHome() {
    static LauncherHome home;
    return home;
}

// What a start without WINEPREFIX does in that home, up to the machine it plays on.
void FindWithOtherLaunchers(benchmark::State& state) {
    std::size_t machines = 0;
    static int run = 0; // across repetitions too
    for (auto _ : state) {
        // Nothing learnt: a cache folder of its own for each run.
        const std::string cache = TheLauncherHome().home + "/cache" + std::to_string(state.range(0) == 1 ? ++run : 0);
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        vantrel::NativePlatform platform = vantrel::CreateNativePlatform({});
        vantrel::Installations found = vantrel::FindInstallations(*platform.registry, platform.gameFiles.get());
        const auto choice = vantrel::ChooseMachine(platform, found, {}, TheLauncherHome().home);
        machines = choice.machines.size();
        benchmark::DoNotOptimize(found.generals.folder.data());
    }
    unsetenv("XDG_CACHE_HOME");
    if (machines != 0 || vantrel::OtherMachines(vantrel::CreateNativePlatform({})).size() != 40) {
        state.SkipWithError("the machines found are not those made");
    }
}

// Its baseline: the lookup of FindEverywhere in the same home, without the other launchers.
void FindWithoutOtherLaunchers(benchmark::State& state) {
    TheLauncherHome();
    for (auto _ : state) {
        vantrel::NativePlatform platform = vantrel::CreateNativePlatform({});
        vantrel::Installations found = vantrel::FindInstallations(*platform.registry, platform.gameFiles.get());
        benchmark::DoNotOptimize(found.generals.folder.data());
    }
}

BENCHMARK(FindInstallFolders)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadFileBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(FindEverywhere)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(FindDiscKeysOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(FindWithOtherLaunchers)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(FindWithoutOtherLaunchers)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vantrel::bench::RatioReporter reporter(
        {std::pair<std::string, std::string>{"FindInstallFolders", "ReadFileBaseline"},
         std::pair<std::string, std::string>{"FindEverywhere", "FindDiscKeysOnly"},
         std::pair<std::string, std::string>{"FindWithOtherLaunchers", "FindWithoutOtherLaunchers"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
