// The import's file layer on a Wine prefix: Windows paths through its drives.
#pragma once

#include "platform/import_files.h"
#include "platform/wine/wine_prefix.h"

#include <memory>

namespace vantrel {

// Reads and writes through `prefix`, which must outlive it.
[[nodiscard]] std::unique_ptr<ImportFiles> MakeWineImportFiles(const WinePrefix& prefix);

} // namespace vantrel
