// Folder listings in a Wine prefix, in the order Windows would give them.
#pragma once

#include "platform/directory_listing.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineDirectoryListing final : public DirectoryListing {
public:
    explicit WineDirectoryListing(const WinePrefix& prefix) : prefix_(prefix) {}

    // Hidden means a name beginning with a dot, as Wine shows it; names come in NTFS order
    // (upper-cased, compared code unit by code unit) so lists look alike on both systems.
    [[nodiscard]] std::vector<std::string> ListFiles(std::string_view pattern) override;

private:
    const WinePrefix& prefix_;
};

} // namespace vantrel
