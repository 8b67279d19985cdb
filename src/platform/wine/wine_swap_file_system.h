// The file operations of a launch in a Wine prefix, with the refusals Windows makes.
#pragma once

#include "platform/swap_file_system.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

// Read-only means no write permission for the owner and hidden means a name beginning with a dot,
// as Wine maps them; there is no system attribute. The refusals are checked here, not left to the
// kernel, which lets root delete or overwrite anything.
class WineSwapFileSystem final : public SwapFileSystem {
public:
    explicit WineSwapFileSystem(const WinePrefix& prefix) : prefix_(prefix) {}

    [[nodiscard]] bool Exists(std::string_view path) override;
    [[nodiscard]] EntryKind KindOf(std::string_view path) override;
    [[nodiscard]] std::optional<EntryIdentity> IdentityOf(std::string_view path) override;
    [[nodiscard]] bool SetAttributesNormal(std::string_view path) override;
    [[nodiscard]] bool Rename(std::string_view from, std::string_view to) override;
    [[nodiscard]] TreeSize MeasureTree(std::string_view path) override;
    [[nodiscard]] bool CopyFile(std::string_view from, std::string_view to, const CopyListener& listener) override;
    [[nodiscard]] bool CopyFolder(std::string_view from, std::string_view to, const CopyListener& listener) override;
    [[nodiscard]] bool DeleteFile(std::string_view path, bool force) override;
    [[nodiscard]] bool DeleteFolder(std::string_view path) override;

private:
    const WinePrefix& prefix_;
};

} // namespace vantrel
