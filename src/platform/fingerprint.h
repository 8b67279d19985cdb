// A cheap fingerprint of a file tree's content: names, sizes and modification times, combined in a way
// that does not depend on the order in which a folder lists them.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantrel {

[[nodiscard]] inline std::uint64_t EntryFingerprint(std::string_view relativePath, std::uint64_t size,
                                                    std::uint64_t modified) {
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    const auto mix = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 1099511628211ULL;
    };
    for (const char c : relativePath) {
        mix(static_cast<unsigned char>(c));
    }
    for (int shift = 0; shift < 64; shift += 8) {
        mix(static_cast<unsigned char>(size >> shift));
        mix(static_cast<unsigned char>(modified >> shift));
    }
    return hash;
}

} // namespace vantrel
