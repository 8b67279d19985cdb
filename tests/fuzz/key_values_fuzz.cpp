// Feeds arbitrary text to the KeyValues reader: it must end, keep within its depth, and hand on
// every entry either as a value or as a block, never both.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "discovery/key_values.h"

namespace {

void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

void Walk(const std::vector<vantrel::KeyValue>& entries, int depth) {
    Check(depth <= 33);
    for (const auto& entry : entries) {
        Check(entry.isBlock || entry.children.empty());
        Check(!entry.isBlock || entry.value.empty());
        (void)entry.Text("path");
        (void)entry.Find("AppState");
        Walk(entry.children, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Walk(vantrel::ParseKeyValues(text), 0);
    return 0;
}
