#include "platform/win32/win32_import_files.h"

#include "platform/portable/std_import_files.h"

// After the class: its CreateFile is no macro of windows.h there.
#include <windows.h>

namespace vantrel {

std::unique_ptr<ImportFiles> MakeWin32ImportFiles() {
    const auto path = [](std::string_view utf8) {
        return std::optional<std::filesystem::path>(std::u8string(utf8.begin(), utf8.end()));
    };
    const auto machine = [](const std::filesystem::path& system) {
        const std::u8string text = system.u8string();
        return std::optional<std::string>(std::string(text.begin(), text.end()));
    };
    // The C++ library of mingw cannot tell links and junctions from what they lead to.
    const auto isLink = [](const std::filesystem::path& entry) {
        const DWORD attributes = GetFileAttributesW(entry.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    };
    return std::make_unique<StdImportFiles>(MachinePaths{path, path, machine, isLink});
}

} // namespace vantrel
