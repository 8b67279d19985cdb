// Importing a realistic mod of about 1 GiB from a .7z and from a .zip, beside `bsdtar -xf` unpacking
// the same archive to the same disk. Run it with TMPDIR on a journaled file system (an ext4 image).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "mods/mod_import.h"
#include "ratio_reporter.h"
#include "support/recording_messages.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;
using vantrel::test::TestMachine;

constexpr std::size_t kMiB = 1024 * 1024;

// A mod as they come: BIG archives of already compressed art and sound, INI files, maps and a
// read-me in a wrapper folder; packed once by Debian's 7zz and zip.
TestMachine& Machine() {
    static std::unique_ptr<TestMachine> machine;
    if (machine) {
        return *machine;
    }
    machine = std::make_unique<TestMachine>();
    std::mt19937_64 random(7);
    const auto noise = [&](std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const std::uint64_t value = random();
            std::memcpy(&bytes[i], &value, 8);
        }
        return bytes;
    };
    const std::string mod = "Downloads/Real Mod 1.0/Real Mod/";
    for (int big = 0; big < 3; ++big) {
        machine->Write(mod + "!RealMod" + std::to_string(big) + ".big", noise(300 * kMiB));
    }
    std::string text;
    while (text.size() < 100 * kMiB) {
        text += "Object Unit" + std::to_string(text.size()) + "\r\n  Side = America\r\n  BuildCost = 800\r\nEnd\r\n";
    }
    machine->Write(mod + "!RealModIni.big", text);
    for (int ini = 0; ini < 2000; ++ini) {
        machine->Write(mod + "Data/INI/Object/Unit" + std::to_string(ini) + ".ini", text.substr(ini * 64, 8192));
    }
    for (int map = 0; map < 100; ++map) {
        const std::string name = "Map" + std::to_string(map);
        machine->Write(mod + "Maps/" + name + "/" + name + ".map", noise(200 * 1024));
    }
    machine->Write(mod + "Readme.txt", "Real Mod for Zero Hour 1.04");
    machine->Write("Games/ZH/Data/INI/GameData.ini", "zh");
    fs::create_directories(machine->HostPath("Vantrel"));
    const std::string folder = machine->HostPath("Downloads/Real Mod 1.0").string();
    const std::string pack = "cd '" + folder + "' && 7zz a -bso0 -bsp0 -mx1 ../RealMod.7z . >/dev/null && zip -qr -1 ../RealMod.zip .";
    if (std::system(pack.c_str()) != 0) {
        std::fprintf(stderr, "7zz or zip failed\n");
    }
    fs::remove_all(folder);
    return *machine;
}

void Import(benchmark::State& state, const char* archive) {
    auto& machine = Machine();
    vantrel::ProgramValues values;
    values.definitionFolder = machine.WindowsPath("Vantrel");
    values.szZeroHourPath = machine.WindowsPath("Games\\ZH") + "\\";
    vantrel::test::RecordingMessages messages;
    for (auto _ : state) {
        const auto result = vantrel::ImportMod(values, {machine.importFiles(), machine.textFiles(), messages},
                                               {machine.WindowsPath(std::string("Downloads\\") + archive), "Real",
                                                vantrel::GameId::ZeroHour});
        state.PauseTiming();
        if (!result.ok) {
            state.SkipWithError(result.error.c_str());
        }
        fs::remove_all(machine.HostPath("Vantrel"));
        fs::create_directories(machine.HostPath("Vantrel"));
        std::system("sync");
        state.ResumeTiming();
    }
}

void Bsdtar(benchmark::State& state, const char* archive) {
    auto& machine = Machine();
    const std::string target = machine.HostPath("Vantrel/Unpacked").string();
    const std::string command = "mkdir -p '" + target + "' && bsdtar -xf '" +
                                machine.HostPath(std::string("Downloads/") + archive).string() + "' -C '" + target + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("bsdtar failed");
        }
        state.PauseTiming();
        fs::remove_all(target);
        std::system("sync");
        state.ResumeTiming();
    }
}

void Import7z(benchmark::State& state) { Import(state, "RealMod.7z"); }
void ImportZip(benchmark::State& state) { Import(state, "RealMod.zip"); }
void Bsdtar7zBaseline(benchmark::State& state) { Bsdtar(state, "RealMod.7z"); }
void BsdtarZipBaseline(benchmark::State& state) { Bsdtar(state, "RealMod.zip"); }

// Each measured run beside its baseline, so that the disk is in the same state for both.
BENCHMARK(Bsdtar7zBaseline)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Import7z)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BsdtarZipBaseline)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ImportZip)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vantrel::bench::RatioReporter reporter({std::pair<std::string, std::string>{"Import7z", "Bsdtar7zBaseline"},
                                            std::pair<std::string, std::string>{"ImportZip", "BsdtarZipBaseline"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
