#include "mods/definition_writer.h"

#include <array>
#include <string>

#include "mods/definition_reader.h"
#include "mods/mod_catalogue.h"

namespace vantrel {
namespace {

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

bool IsWindowsDeviceName(std::string_view baseName) {
    while (!baseName.empty() && (baseName.back() == ' ' || baseName.back() == '.')) {
        baseName.remove_suffix(1);
    }
    std::string upper;
    for (char c : baseName) {
        upper.push_back(AsciiUpper(c));
    }
    static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (auto device : kDevices) {
        if (upper == device) {
            return true;
        }
    }
    if (upper.size() >= 4 && (upper.starts_with("COM") || upper.starts_with("LPT"))) {
        const std::string_view digit = std::string_view(upper).substr(3);
        // Windows also reserves the superscript digits 1 to 3 after COM and LPT.
        return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" ||
               digit == "\xC2\xB2" || digit == "\xC2\xB3";
    }
    return false;
}

bool IsValidModTitle(std::string_view title) {
    if (title.empty()) {
        return false;
    }
    for (char c : title) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos) {
            return false;
        }
    }
    // File systems hold names of at most 255 units; counted in UTF-8 bytes, the stricter of the two.
    const std::string fileName = std::string(title) + std::string(kDefinitionExtension);
    return fileName.size() <= 255 && !IsWindowsDeviceName(std::string_view(fileName).substr(0, fileName.find('.')));
}

bool WriteModDefinition(TextFiles& files, Messages& messages, std::string_view definitionFolder,
                        std::string_view title, std::string_view location,
                        std::span<const std::string> sources, std::span<const std::string> destinations,
                        bool ownUserData) {
    if (title.empty()) {
        messages.Show(kMissingNameMessage, MessageIcon::None);
        return false;
    }
    if (!IsValidModTitle(title) || destinations.size() < sources.size()) {
        return false;
    }
    const std::string path =
        std::string(definitionFolder) + "\\" + std::string(title) + std::string(kDefinitionExtension);
    // A writer killed before it finished leaves its temporary file; the next save clears it away
    // rather than every start, which would read the whole folder once more.
    files.RemoveLeftovers(definitionFolder);
    const auto file = files.StartReplacing(path);
    if (!file || !file->WriteLine("Location=" + std::string(location))) {
        return false;
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (!file->WriteLine("[Folder]") || !file->WriteLine("Source=" + sources[i]) ||
            !file->WriteLine("Destination=" + destinations[i])) {
            return false;
        }
    }
    if (ownUserData && !file->WriteLine(kOwnUserDataLine)) {
        return false;
    }
    return file->Commit(true);
}

} // namespace vantrel
