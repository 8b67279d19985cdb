// The import's file layer on Windows: its paths are the system's own.
#pragma once

#include "platform/import_files.h"

#include <memory>

namespace vantrel {

[[nodiscard]] std::unique_ptr<ImportFiles> MakeWin32ImportFiles();

} // namespace vantrel
