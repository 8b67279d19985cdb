// Launches of large mods beside copying and deleting the same files with cp and rm: one of a 200 MiB
// tree of 2,000 files in 50 folder pairs, and mods of 2,000 and 8,000 single-file pairs, whose time
// must grow in step with the pairs; and a launch of one file with and without the mod's own user data.
#include <benchmark/benchmark.h>

#include <cstdio>
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
constexpr int kMostSmallFiles = 8000;

// 2,000 files in 50 folders, 200 MiB in all, with a game folder holding a few of the same names; and
// 8,000 files of 1 KiB.
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
        const std::string small(1024, 's');
        for (int file = 0; file < kMostSmallFiles; ++file) {
            machine->Write("Mods/Small/File" + std::to_string(file) + ".dat", small);
        }
        fs::create_directories(machine->HostPath("Games/Generals/Data/Small"));
        fs::create_directories(machine->HostPath("Vantrel"));
    }
    return *machine;
}

constexpr int kReplays = 10000;

// The player's user data folder of 2 GiB in 10,000 replays (sparse: only their names and sizes are
// ever looked at), and the mod's own beside it.
std::string UserData() {
    static std::string folder;
    if (folder.empty()) {
        auto& machine = Machine();
        for (const char* own : {"Documents/Command and Conquer Generals Data", "Documents/Command and Conquer Generals Data (One)"}) {
            machine.Write(std::string(own) + "/Options.ini", "options");
            for (int replay = 0; replay < kReplays; ++replay) {
                const fs::path file = machine.HostPath(std::string(own) + "/Replays/Replay" + std::to_string(replay) + ".rep");
                vantrel::test::WriteBytes(file, "");
                fs::resize_file(file, 2ULL * 1024 * 1024 * 1024 / kReplays);
            }
        }
        folder = machine.WindowsPath("Documents\\Command and Conquer Generals Data");
    }
    return folder;
}

void Launch(benchmark::State& state, const vantrel::ModRecord& mod, bool journaled) {
    auto& machine = Machine();
    vantrel::ProgramValues values;
    values.Mods = {mod};
    values.nModCount = 1;
    vantrel::test::RecordingRunner runner;
    vantrel::test::RecordingMessages messages;
    vantrel::LaunchJournal journal(machine.textFiles(), machine.singleFiles(), machine.WindowsPath("Vantrel"),
                                   machine.swapFiles().MachineName());
    for (auto _ : state) {
        std::string command = "C:\\Games\\Generals\\generals.exe";
        const vantrel::LaunchServices services{machine.swapFiles(),
                                               runner,
                                               messages,
                                               {},
                                               journaled ? &journal : nullptr,
                                               &machine.launchLock(),
                                               {},
                                               [](std::string_view) { return UserData(); }};
        if (!vantrel::LaunchWithMod(values, services, command, 0)) {
            state.SkipWithError(messages.shown.empty() ? "the launch failed" : messages.shown.back().text.c_str());
        }
    }
}

vantrel::ModRecord FolderPairs() {
    vantrel::ModRecord mod;
    mod.szModFile = "Big.big";
    for (int folder = 0; folder < kFolders; ++folder) {
        mod.szSrcPaths.push_back(Machine().WindowsPath("Mods\\Big\\Folder" + std::to_string(folder)));
        mod.szDstFolders.push_back(Machine().WindowsPath("Games\\Generals\\Data"));
    }
    mod.nPairCount = kFolders;
    return mod;
}

void SwapInAndRestore(benchmark::State& state) {
    Launch(state, FolderPairs(), false);
}

// The same with the launch journal, as every launch of the program keeps it.
void SwapInAndRestoreJournaled(benchmark::State& state) {
    Launch(state, FolderPairs(), true);
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

// A journaled launch of as many pairs as the argument, each one 1 KiB file into one game folder.
void SingleFilePairs(benchmark::State& state) {
    vantrel::ModRecord mod;
    for (int file = 0; file < state.range(0); ++file) {
        mod.szSrcPaths.push_back(Machine().WindowsPath("Mods\\Small\\File" + std::to_string(file) + ".dat"));
        mod.szDstFolders.push_back(Machine().WindowsPath("Games\\Generals\\Data\\Small"));
    }
    mod.nPairCount = static_cast<std::int16_t>(state.range(0));
    Launch(state, mod, true);
}

// One small file pair, and the same mod keeping its own user data: what moving 2 GiB of the player's
// replays aside and the mod's in adds to a launch.
vantrel::ModRecord OneFile(bool ownUserData) {
    vantrel::ModRecord mod;
    mod.szName = "One";
    mod.szSrcPaths = {Machine().WindowsPath("Mods\\Small\\File0.dat")};
    mod.szDstFolders = {Machine().WindowsPath("Games\\Generals\\Data\\Small")};
    mod.nPairCount = 1;
    mod.ownUserData = ownUserData;
    (void)UserData();
    return mod;
}

void OneFilePair(benchmark::State& state) {
    Launch(state, OneFile(false), true);
}

void OneFilePairWithOwnUserData(benchmark::State& state) {
    Launch(state, OneFile(true), true);
}

void CopyAndRemoveFilesBaseline(benchmark::State& state) {
    auto& machine = Machine();
    const std::string source = machine.HostPath("Mods/Small").string();
    const std::string target = machine.HostPath("Games/Copy").string();
    const std::string command = "mkdir '" + target + "' && cd '" + source + "' && seq 0 " +
                                std::to_string(state.range(0) - 1) +
                                " | sed 's/.*/File&.dat/' | xargs cp -t '" + target + "' && rm -rf '" + target + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cp or rm failed");
        }
    }
}

BENCHMARK(SwapInAndRestore)->Arg(2000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SwapInAndRestoreJournaled)->Arg(2000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CopyAndRemoveBaseline)->Arg(2000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SingleFilePairs)->Arg(2000)->Arg(8000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OneFilePair)->Iterations(50)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OneFilePairWithOwnUserData)->Iterations(50)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CopyAndRemoveFilesBaseline)->Arg(2000)->Arg(8000)->Iterations(5)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    vantrel::bench::RatioReporter reporter(
        {std::pair<std::string, std::string>{"SwapInAndRestore", "CopyAndRemoveBaseline"},
         std::pair<std::string, std::string>{"SwapInAndRestoreJournaled", "CopyAndRemoveBaseline"},
         std::pair<std::string, std::string>{"SwapInAndRestoreJournaled", "SwapInAndRestore"},
         std::pair<std::string, std::string>{"SingleFilePairs", "CopyAndRemoveFilesBaseline"},
         std::pair<std::string, std::string>{"OneFilePairWithOwnUserData", "OneFilePair"}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double small = reporter.Seconds("SingleFilePairs/2000/iterations:5/real_time");
    const double large = reporter.Seconds("SingleFilePairs/8000/iterations:5/real_time");
    if (small > 0 && large > 0) {
        std::printf("%-40s %14.3f %14.3f %8.2f\n", "SingleFilePairs 8000 / 2000", large * 1e3, small * 1e3,
                    large / small);
    }
    benchmark::Shutdown();
    return 0;
}
