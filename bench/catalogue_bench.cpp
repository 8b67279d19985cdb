// How long a scan of the definition files takes beside merely opening and reading the same files.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mods/mod_catalogue.h"
#include "ratio_reporter.h"
#include "support/test_machine.h"

namespace {

using vantrel::test::TestMachine;

// One program folder per size, made once and shared by both benchmarks.
TestMachine& MachineWith(int definitions) {
    static std::map<int, std::unique_ptr<TestMachine>> machines;
    auto& machine = machines[definitions];
    if (!machine) {
        machine = std::make_unique<TestMachine>();
        for (int i = 0; i < definitions; ++i) {
            std::string text = "Location=D:\\Mods\\Mod" + std::to_string(i) + "\\Mod" + std::to_string(i) + ".big\r\n";
            for (int pair = 0; pair < 5; ++pair) {
                text += "[Folder]\r\nSource=D:\\Mods\\Mod" + std::to_string(i) + "\\Part" + std::to_string(pair) +
                        "\r\nDestination=C:\\Program Files\\EA Games\\Command and Conquer Generals\\Data\\Part" +
                        std::to_string(pair) + "\r\n";
            }
            machine->Write("Vantrel/Mod" + std::to_string(i) + ".vtl", text);
        }
    }
    return *machine;
}

void LoadModCatalogue(benchmark::State& state) {
    auto& machine = MachineWith(static_cast<int>(state.range(0)));
    vantrel::ProgramValues values;
    values.definitionFolder = machine.WindowsPath("Vantrel");
    values.szGeneralsPath = "E:\\Games\\Generals\\";
    for (auto _ : state) {
        vantrel::LoadModCatalogue(values, machine.directoryListing(), machine.textFiles());
        benchmark::DoNotOptimize(values.Mods.data());
    }
    if (values.nModCount != state.range(0)) {
        state.SkipWithError("not every definition was loaded");
    }
}

// The first scan, as at start-up: no catalogue before it whose memory it could reuse.
void LoadModCatalogueFresh(benchmark::State& state) {
    auto& machine = MachineWith(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        vantrel::ProgramValues values;
        values.definitionFolder = machine.WindowsPath("Vantrel");
        values.szGeneralsPath = "E:\\Games\\Generals\\";
        vantrel::LoadModCatalogue(values, machine.directoryListing(), machine.textFiles());
        benchmark::DoNotOptimize(values.Mods.data());
        if (values.nModCount != state.range(0)) {
            state.SkipWithError("not every definition was loaded");
            break;
        }
    }
}

void OpenAndReadBaseline(benchmark::State& state) {
    auto& machine = MachineWith(static_cast<int>(state.range(0)));
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(machine.HostPath("Vantrel"))) {
        paths.push_back(entry.path().string());
    }
    char buffer[4096];
    for (auto _ : state) {
        std::size_t total = 0;
        for (const auto& path : paths) {
            const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
                total += static_cast<std::size_t>(got);
            }
            close(fd);
        }
        benchmark::DoNotOptimize(total);
    }
}

BENCHMARK(LoadModCatalogue)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadModCatalogueFresh)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenAndReadBaseline)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vantrel::bench::RatioReporter reporter({{"LoadModCatalogue", "OpenAndReadBaseline"},
                                            {"LoadModCatalogueFresh", "OpenAndReadBaseline"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
