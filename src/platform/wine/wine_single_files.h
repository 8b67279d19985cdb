// Existence test and deletion of one file in a Wine prefix.
#pragma once

#include "platform/single_files.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineSingleFiles final : public SingleFiles {
public:
    explicit WineSingleFiles(const WinePrefix& prefix) : prefix_(prefix) {}

    [[nodiscard]] bool FileExists(std::string_view path) override;
    // Read-only, as Wine maps it, is a file without write permission for its owner; refused here
    // because the kernel lets root delete it.
    [[nodiscard]] bool DeleteFile(std::string_view path) override;

private:
    const WinePrefix& prefix_;
};

} // namespace vantrel
