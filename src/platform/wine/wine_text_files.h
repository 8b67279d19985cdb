// Definition files in a Wine prefix: Windows-1252 text, replaced atomically.
#pragma once

#include "platform/text_files.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineTextFiles final : public TextFiles {
public:
    explicit WineTextFiles(const WinePrefix& prefix) : prefix_(prefix) {}

    // Opens ordinary files only: a folder cannot be read as a file.
    [[nodiscard]] std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) override;
    // Writes to a hidden temporary file beside the target; Commit() syncs it, renames it over the
    // target and syncs the folder, so a crash leaves either the old or the new definition.
    [[nodiscard]] std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) override;
    void RemoveLeftovers(std::string_view folder) override;

private:
    const WinePrefix& prefix_;
};

} // namespace vantrel
