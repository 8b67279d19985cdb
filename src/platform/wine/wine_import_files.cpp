#include "platform/wine/wine_import_files.h"

#include "platform/portable/std_import_files.h"

namespace vantrel {

std::unique_ptr<ImportFiles> MakeWineImportFiles(const WinePrefix& prefix) {
    const auto mapped = [](std::optional<std::string> host) {
        return host ? std::optional<std::filesystem::path>(std::move(*host)) : std::nullopt;
    };
    return std::make_unique<StdImportFiles>(MachinePaths{
        [&prefix, mapped](std::string_view path) { return mapped(prefix.ToHostPath(path)); },
        [&prefix, mapped](std::string_view path) { return mapped(prefix.ToHostPathExactLeaf(path)); },
        [&prefix](const std::filesystem::path& host) { return prefix.ToWindowsPath(host.string()); }});
}

} // namespace vantrel
