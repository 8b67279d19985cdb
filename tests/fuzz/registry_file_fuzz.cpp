// Feeds arbitrary text to the registry file reader.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/utf8.h"
#include "platform/wine/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantrel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)IsWineRegistryFile(text);
    (void)IsWin64Registry(text);
    for (const auto* key : {"Software\\EA\\Game", "SOFTWARE\\Electronic Arts\\EA Games\\Generals", ""}) {
        const auto found = FindRegistryString(text, key, "InstallPath");
        // Whatever the file holds, the text handed on is valid UTF-8.
        for (std::size_t pos = 0; pos < found.text.size();) {
            if (!DecodeUtf8(found.text, pos)) {
                std::abort();
            }
        }
    }
    return 0;
}
