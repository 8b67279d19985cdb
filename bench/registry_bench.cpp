// How long finding both games' install folders in a prefix's system.reg takes beside merely reading it.
// VANTREL_BENCH_PREFIX names a prefix made by `wineboot -i` whose system.reg to use; without it a
// registry of about the same size and shape stands in. Argument 0 is the file as it is (no game
// installed: every key is missing), 1 the same file with both games' keys added where Wine sorts them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/wine/wine_prefix.h"
#include "platform/wine/wine_registry.h"
#include "ratio_reporter.h"
#include "startup/install_discovery.h"
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

struct Prefixes {
    vantrel::test::TempFolder folder;
    std::string roots[2];
    Prefixes() {
        const std::string base = BaseRegistry();
        roots[0] = (folder.Path() / "plain").string();
        roots[1] = (folder.Path() / "games").string();
        vantrel::test::WriteBytes(roots[0] + "/system.reg", base);
        vantrel::test::WriteBytes(roots[1] + "/system.reg", WithGames(base));
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

BENCHMARK(FindInstallFolders)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadFileBaseline)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vantrel::bench::RatioReporter reporter(
        {std::pair<std::string, std::string>{"FindInstallFolders", "ReadFileBaseline"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
