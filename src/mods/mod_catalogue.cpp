#include "mods/mod_catalogue.h"

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mods/definition_reader.h"

namespace vantrel {

namespace {

// Below this many definitions per reader, another thread costs more than it saves.
constexpr std::size_t kDefinitionsPerThread = 256;
constexpr std::size_t kMostReaders = 4;

// Reads the definitions `names[begin, end)` of the folder into `records` from its start, over what
// they held before; returns how many were accepted, at most `limit`.
std::size_t ReadDefinitions(TextFolder& folder, const std::string& folderPath, const std::vector<std::string>& names,
                            std::size_t begin, std::size_t end, std::size_t limit, const ProgramValues& values,
                            std::vector<ModRecord>& records) {
    std::size_t count = 0;
    std::string path = folderPath;
    PairLists lists;
    for (std::size_t i = begin; i < end && count < limit; ++i) {
        TextFileReader* file = folder.OpenForReading(names[i]);
        if (!file) {
            continue;
        }
        if (count == records.size()) {
            records.emplace_back();
        }
        path.resize(folderPath.size());
        path += names[i];
        if (ReadModDefinition(*file, values, path, records[count], lists)) {
            ++count;
        }
    }
    return count;
}

} // namespace

void LoadModCatalogue(ProgramValues& values, DirectoryListing& listing, TextFiles& files) {
    const std::string folder = values.definitionFolder + "\\";
    const auto names = listing.ListFiles(folder + std::string(kDefinitionPattern));
    const auto limit = static_cast<std::size_t>(kMaxEntries); // further definitions are ignored
    // Each definition is read over a record of the scan before, in its memory: a rescan allocates
    // next to nothing.
    auto& mods = values.Mods;
    mods.reserve(std::min(names.size(), limit));

    // Many definitions are read in slices side by side: opening files is most of the time, and the
    // system opens them in parallel. A slice's records follow the one before, in listing order.
    std::size_t readers = 1;
    if (files.ReadsInParallel()) {
        const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
        readers = std::clamp(names.size() / kDefinitionsPerThread, std::size_t{1}, std::min(cores, kMostReaders));
    }
    const std::size_t slice = (names.size() + readers - 1) / readers;
    std::vector<std::vector<ModRecord>> later(readers - 1);
    std::vector<std::size_t> counts(readers, 0);
    {
        std::vector<std::jthread> threads;
        for (std::size_t r = 1; r < readers; ++r) {
            // Opened here, one for each reader: the folder and its files may change before the next scan.
            threads.emplace_back([&, r, opened = std::shared_ptr<TextFolder>(files.OpenFolder(values.definitionFolder))] {
                counts[r] = ReadDefinitions(*opened, folder, names, r * slice, std::min(names.size(), (r + 1) * slice),
                                            limit, values, later[r - 1]);
            });
        }
        const auto definitions = files.OpenFolder(values.definitionFolder);
        counts[0] = ReadDefinitions(*definitions, folder, names, 0, std::min(names.size(), slice), limit, values, mods);
    }
    std::size_t count = counts[0];
    for (std::size_t r = 1; r < readers && count < limit; ++r) {
        const std::size_t taken = std::min(counts[r], limit - count);
        if (mods.size() < count + taken) {
            mods.resize(count + taken);
        }
        std::move(later[r - 1].begin(), later[r - 1].begin() + static_cast<std::ptrdiff_t>(taken),
                  mods.begin() + static_cast<std::ptrdiff_t>(count));
        count += taken;
    }
    // Records left from the scan before go; an empty catalogue keeps its one empty record.
    mods.resize(std::max<std::size_t>(count, 1));
    if (count == 0) {
        mods[0] = ModRecord{};
    }
    values.nModCount = static_cast<std::int16_t>(count);
}

} // namespace vantrel
