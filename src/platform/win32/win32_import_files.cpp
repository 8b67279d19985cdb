#include "platform/win32/win32_import_files.h"

#include "platform/portable/std_import_files.h"

namespace vantrel {

std::unique_ptr<ImportFiles> MakeWin32ImportFiles() {
    const auto path = [](std::string_view utf8) {
        return std::optional<std::filesystem::path>(std::u8string(utf8.begin(), utf8.end()));
    };
    const auto machine = [](const std::filesystem::path& system) {
        const std::u8string text = system.u8string();
        return std::optional<std::string>(std::string(text.begin(), text.end()));
    };
    return std::make_unique<StdImportFiles>(MachinePaths{path, path, machine});
}

} // namespace vantrel
