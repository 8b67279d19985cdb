// Rebuilds the catalogue of mods from the definition files in the definition folder.
#pragma once

#include "mods/program_values.h"
#include "platform/directory_listing.h"
#include "platform/text_files.h"

namespace vantrel {

// The file pattern of mod definitions, and their extension.
inline constexpr std::string_view kDefinitionPattern = "*.vtl";
inline constexpr std::string_view kDefinitionExtension = ".vtl";

// Replaces Mods and nModCount with one record per readable definition file, in listing order.
void LoadModCatalogue(ProgramValues& values, DirectoryListing& listing, TextFiles& files);

} // namespace vantrel
