// One swap-in and restore of a large mod beside copying and deleting the same tree with cp and rm.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "launch/launch_journal.h"
#include "launch/swap_cycle.h"
#include "ratio_reporter.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"

namespace {

namespace fs = std::filesystem;
using vantrel::test::TestMachine;

constexpr int kFolders = 50;
constexpr int kFilesPerFolder = 40;
constexpr std::size_t kFileSize = 200 * 1024 * 1024 / (kFolders * kFilesPerFolder);

// 2,000 files in 50 folders, 200 MiB in all, and a game folder holding a few of the same names.
TestMachine& Machine() {
    static std::unique_ptr<TestMachine> machine;
    if (!machine) {
        machine = std::make_unique<TestMachine>();
        std::string content(kFileSize, 'x');
        for (int folder = 0; folder < kFolders; ++folder) {
            for (int file = 0; file < kFilesPerFolder; ++file) {
                content[0] = static_cast<char>('a' + file % 26);
                machine->Write("Mods/Big/Folder" + std::to_string(folder) + "/File" + std::to_string(file) + ".dat",
                               content);
            }
            if (folder % 10 == 0) {
                machine->Write("Games/Generals/Data/Folder" + std::to_string(folder) + "/Game.dat", "game");
            }
        }
    }
    return *machine;
}

void Launch(benchmark::State& state, bool journaled) {
    auto& machine = Machine();
    vantrel::ProgramValues values;
    vantrel::ModRecord mod;
    mod.szModFile = "Big.big";
    for (int folder = 0; folder < kFolders; ++folder) {
        mod.szSrcPaths.push_back(machine.WindowsPath("Mods\\Big\\Folder" + std::to_string(folder)));
        mod.szDstFolders.push_back(machine.WindowsPath("Games\\Generals\\Data"));
    }
    mod.nPairCount = kFolders;
    values.Mods = {mod};
    values.nModCount = 1;
    vantrel::test::RecordingRunner runner;
    vantrel::test::RecordingMessages messages;
    fs::create_directories(machine.HostPath("Vantrel"));
    vantrel::LaunchJournal journal(machine.textFiles(), machine.singleFiles(), machine.WindowsPath("Vantrel"));
    for (auto _ : state) {
        std::string command = "C:\\Games\\Generals\\generals.exe";
        const vantrel::LaunchServices services{machine.swapFiles(), runner, messages, {},
                                               journaled ? &journal : nullptr, &machine.launchLock()};
        if (!vantrel::LaunchWithMod(values, services, command, 0)) {
            state.SkipWithError("the launch failed");
        }
    }
}

void SwapInAndRestore(benchmark::State& state) {
    Launch(state, false);
}

// The same with the launch journal, made durable before each pair.
void SwapInAndRestoreJournaled(benchmark::State& state) {
    Launch(state, true);
}

void CopyAndRemoveBaseline(benchmark::State& state) {
    auto& machine = Machine();
    const std::string source = machine.HostPath("Mods/Big").string();
    const std::string target = machine.HostPath("Games/Copy").string();
    const std::string command = "cp -r '" + source + "' '" + target + "' && rm -rf '" + target + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cp or rm failed");
        }
    }
}

BENCHMARK(SwapInAndRestore)->Arg(2000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SwapInAndRestoreJournaled)->Arg(2000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CopyAndRemoveBaseline)->Arg(2000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vantrel::bench::RatioReporter reporter(
        {std::pair<std::string, std::string>{"SwapInAndRestore", "CopyAndRemoveBaseline"},
         std::pair<std::string, std::string>{"SwapInAndRestoreJournaled", "CopyAndRemoveBaseline"},
         std::pair<std::string, std::string>{"SwapInAndRestoreJournaled", "SwapInAndRestore"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
