// Feeds arbitrary text to the YAML and JSON readers and to each launcher's reader: they must end, keep
// within their depths, and name only absolute host paths.
#include "discovery/json_values.h"
#include "discovery/launcher_prefixes.h"
#include "discovery/yaml_scalars.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using namespace vantrel;

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

void Walk(const JsonValue& value, int depth) {
    Check(depth <= 64);
    Check(value.kind != JsonValue::Kind::Object || value.keys.size() == value.items.size());
    Check(value.kind == JsonValue::Kind::Object || value.kind == JsonValue::Kind::Array ||
          value.items.empty());
    for (const JsonValue& item : value.items) {
        Walk(item, depth + 1);
    }
}

void CheckPrefix(const LauncherPrefix& found) {
    Check(found.prefix.starts_with('/'));
    Check(found.prefix.size() == 1 || !found.prefix.ends_with('/'));
    Check(found.wine.empty() || found.wine.starts_with('/'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const YamlScalar& scalar : ReadYamlScalars(text)) {
        Check(!scalar.keys.empty() && scalar.keys.size() <= 33);
        (void)YamlTruth(&scalar);
    }
    if (const std::optional<JsonValue> value = ParseJson(text)) {
        Walk(*value, 0);
    }
    if (const auto found = LutrisGamePrefix(text, "game-1.yml", "/runners", "default", "/home/u")) {
        CheckPrefix(*found);
    }
    if (const auto found = BottlePrefix(text, "/bottles/b", "/runners")) {
        CheckPrefix(*found);
    }
    for (const LauncherPrefix& found : HeroicPrefixes(text, "Quail.json", "/home/u")) {
        CheckPrefix(found);
    }
    (void)BottlePlaceholderFolder(text);
    return 0;
}
