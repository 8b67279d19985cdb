// The store files and game folders of a Wine prefix's machine, with Steam's folders on the host.
#pragma once

#include <string>

#include "platform/game_files.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineGameFiles final : public GameFiles {
public:
    // `home` is the user's host home folder, where Steam keeps its folders.
    WineGameFiles(const WinePrefix& prefix, std::string home) : prefix_(prefix), home_(std::move(home)) {}

    // $HOME, or "" when it is not set.
    [[nodiscard]] static std::string HomeFromEnvironment();

    [[nodiscard]] std::vector<std::string> SteamFolders() override;
    // A host path, through the prefix's drives (usually Z:); a relative path counts as unreachable.
    [[nodiscard]] std::optional<std::string> MachinePath(std::string_view steamPath) override;
    [[nodiscard]] std::optional<std::string> ReadSmallFile(std::string_view path, std::size_t limit) override;
    [[nodiscard]] std::vector<std::string> FileNames(std::string_view folder, std::string_view prefix,
                                                     std::string_view suffix) override;
    [[nodiscard]] std::vector<std::string> FolderNames(std::string_view folder) override;
    [[nodiscard]] bool FileExists(std::string_view path) override;

private:
    const WinePrefix& prefix_;
    std::string home_;
};

} // namespace vantrel
