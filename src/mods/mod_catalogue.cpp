#include "mods/mod_catalogue.h"

#include <algorithm>
#include <string>

#include "mods/definition_reader.h"

namespace vantrel {

void LoadModCatalogue(ProgramValues& values, DirectoryListing& listing, TextFiles& files) {
    const std::string folder = values.definitionFolder + "\\";
    const auto names = listing.ListFiles(folder + std::string(kDefinitionPattern));
    // Opened for this scan only: the folder and its files may change before the next one.
    const auto definitions = files.OpenFolder(values.definitionFolder);
    // Each definition is read over a record of the scan before, in its memory: a rescan allocates
    // next to nothing.
    auto& mods = values.Mods;
    mods.reserve(std::min<std::size_t>(names.size(), kMaxEntries));
    std::size_t count = 0;
    std::string path = folder;
    for (const auto& name : names) {
        if (count == static_cast<std::size_t>(kMaxEntries)) {
            break; // further definitions are ignored
        }
        TextFileReader* file = definitions->OpenForReading(name);
        if (!file) {
            continue;
        }
        if (count == mods.size()) {
            mods.emplace_back();
        }
        path.resize(folder.size());
        path += name;
        if (ReadModDefinition(*file, values, path, mods[count])) {
            ++count;
        }
    }
    // Records left from the scan before go; an empty catalogue keeps its one empty record.
    mods.resize(std::max<std::size_t>(count, 1));
    if (count == 0) {
        mods[0] = ModRecord{};
    }
    values.nModCount = static_cast<std::int16_t>(count);
}

} // namespace vantrel
