// Text files in a Wine prefix: Windows-1252, read in pieces, appended to, or replaced atomically.
#pragma once

#include <string>

#include "platform/text_files.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineTextFiles final : public TextFiles {
public:
    explicit WineTextFiles(const WinePrefix& prefix) : prefix_(prefix) {}

    [[nodiscard]] std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) override;
    // Finds the folder once and opens its files relative to it.
    [[nodiscard]] std::unique_ptr<TextFolder> OpenFolder(std::string_view path) override;
    // Nothing here is shared between readers but the prefix, which only reads its drive links.
    [[nodiscard]] bool ReadsInParallel() const override { return true; }
    // Refuses a read-only file as Windows does; Sync() also syncs the folder of a file it created.
    [[nodiscard]] std::unique_ptr<TextFileAppender> StartAppending(std::string_view path, bool create,
                                                                   std::string& error) override;
    // Writes to a hidden temporary file beside the target; Commit() syncs it, renames it over the
    // target and syncs the folder, so a crash leaves either the old or the new definition.
    [[nodiscard]] std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) override;
    void RemoveLeftovers(std::string_view folder) override;

private:
    const WinePrefix& prefix_;
};

} // namespace vantrel
