#include "mods/mod_catalogue.h"

#include <string>

#include "mods/definition_reader.h"

namespace vantrel {

void LoadModCatalogue(ProgramValues& values, DirectoryListing& listing, TextFiles& files) {
    const std::string folder = values.programFolder + "\\";
    const auto names = listing.ListFiles(folder + std::string(kDefinitionPattern));
    ResetCatalogue(values);
    for (const auto& name : names) {
        ModRecord record;
        if (ReadModDefinition(files, values, folder + name, record) &&
            !AddToCatalogue(values, std::move(record))) {
            break;
        }
    }
}

} // namespace vantrel
