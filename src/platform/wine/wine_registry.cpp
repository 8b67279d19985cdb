#include "platform/wine/wine_registry.h"

#include <fstream>
#include <sstream>

#include "platform/case_fold.h"
#include "platform/codepage_1252.h"
#include "platform/utf8.h"
#include "platform/wine/registry_file.h"

namespace vantrel {
namespace {

// The largest value that fits the 256-byte buffer of the games' lookup, its NUL included.
constexpr std::size_t kMaxAnsiLength = 255;

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return {};
    }
    std::ostringstream text;
    text << file.rdbuf();
    return file.bad() ? std::string() : std::move(text).str();
}

// The key a 32-bit program reaches in a 64-bit prefix: Software\X is redirected to
// Software\Wow6432Node\X.
std::optional<std::string> Wow64Key(std::string_view keyPath) {
    const std::size_t slash = keyPath.find('\\');
    if (slash == std::string_view::npos || !EqualsIgnoringCase(keyPath.substr(0, slash), "Software")) {
        return std::nullopt;
    }
    return std::string(keyPath.substr(0, slash)) + "\\Wow6432Node" + std::string(keyPath.substr(slash));
}

} // namespace

std::optional<std::string> WineRegistry::ReadMachineString(std::string_view keyPath, std::string_view valueName) {
    if (!fileText_) {
        fileText_ = ReadWholeFile(prefix_.Root() + "/system.reg");
    }
    if (!IsWineRegistryFile(*fileText_)) {
        return std::nullopt;
    }
    RegistryString found;
    if (IsWin64Registry(*fileText_)) {
        if (const auto redirected = Wow64Key(keyPath)) {
            found = FindRegistryString(*fileText_, *redirected, valueName);
        }
    }
    if (found.lookup == RegistryLookup::KeyMissing) {
        found = FindRegistryString(*fileText_, keyPath, valueName);
    }
    if (found.lookup != RegistryLookup::Found) {
        return std::nullopt;
    }
    // What the games' ANSI lookup would hand over: unmappable characters become '?'.
    const std::string ansi = Windows1252FromUtf8Lossy(found.text);
    if (ansi.size() > kMaxAnsiLength) {
        return std::nullopt;
    }
    std::string text;
    AppendUtf8FromWindows1252(ansi, text);
    return text;
}

} // namespace vantrel
