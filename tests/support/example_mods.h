// Mod records for tests, their paths given relative to the test machine's disk.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mods/program_values.h"
#include "support/test_machine.h"

namespace vantrel::test {

using RelativePairs = std::vector<std::pair<std::string, std::string>>;

// A record of the pairs (source, destination folder), each relative to the machine's disk.
inline ModRecord ModOfPairs(const TestMachine& machine, const RelativePairs& pairs,
                            std::string modFile = "Example.big") {
    ModRecord mod;
    mod.szName = "Example";
    mod.szModFile = std::move(modFile);
    for (const auto& [source, destination] : pairs) {
        mod.szSrcPaths.push_back(machine.WindowsPath(source));
        mod.szDstFolders.push_back(machine.WindowsPath(destination));
    }
    mod.nPairCount = static_cast<std::int16_t>(pairs.size());
    return mod;
}

// The catalogue holding that one mod as element 0.
inline void SetOnlyMod(ProgramValues& values, ModRecord mod) {
    values.Mods = {std::move(mod)};
    values.nModCount = 1;
}

} // namespace vantrel::test
