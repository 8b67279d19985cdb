// Feeds arbitrary text to the registry file reader, and checks its key search, which judges most
// headers by their raw bytes, against parsing every header in full.
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/case_fold.h"
#include "platform/utf8.h"
#include "platform/wine/registry_file.h"

namespace {

using namespace vantrel;

// Every header that parses, in file order, with the offset of the line after it.
std::vector<RegistryKey> AllHeaders(std::string_view text) {
    std::vector<RegistryKey> headers;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        pos = end < text.size() ? end + 1 : text.size();
        if (auto path = ParseKeyHeader(line)) {
            headers.push_back({std::move(*path), pos});
        }
    }
    return headers;
}

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)IsWineRegistryFile(text);
    (void)IsWin64Registry(text);
    const std::vector<RegistryKey> headers = AllHeaders(text);
    const std::string keys[] = {"Software\\EA\\Game", "SOFTWARE\\Electronic Arts\\EA Games\\Generals",
                                "Software\\Wow6432Node\\EA\\Game", "Software\\Caf\xC3\xA9\\Game", "Game", ""};
    for (const auto& key : keys) {
        const auto found = FindRegistryString(text, key, "InstallPath");
        // Whatever the file holds, the text handed on is valid UTF-8.
        for (std::size_t pos = 0; pos < found.text.size();) {
            Check(DecodeUtf8(found.text, pos).has_value());
        }
        // The same as the first header of that name read in full.
        RegistryString expected;
        for (const auto& header : headers) {
            if (EqualsIgnoringCase(header.path, key)) {
                expected = ReadKeyString(text, header.values, "InstallPath");
                break;
            }
        }
        Check(found.lookup == expected.lookup && found.text == expected.text);
    }
    // The siblings of two keys at once, as a prefix's registry asks for a game's key and its redirection.
    for (std::size_t i = 0; i + 1 < std::size(keys); ++i) {
        const std::span<const std::string> wanted(keys + i, 2);
        const auto siblings = FindSiblingKeys(text, wanted);
        std::size_t next = 0;
        for (const auto& header : headers) {
            const auto parent = RegistryKeyParent(header.path);
            if (EqualsIgnoringCase(parent, RegistryKeyParent(wanted[0])) ||
                EqualsIgnoringCase(parent, RegistryKeyParent(wanted[1]))) {
                Check(next < siblings.size() && siblings[next].path == header.path &&
                      siblings[next].values == header.values);
                ++next;
            }
        }
        Check(next == siblings.size());
    }
    return 0;
}
