// Text files held in memory, keyed by their Windows path, for fuzzing and for fakes.
#pragma once

#include <map>
#include <string>

#include "platform/text_files.h"

namespace vantrel::test {

class MemoryTextFiles final : public TextFiles {
public:
    // Raw bytes (Windows-1252) by exact path.
    std::map<std::string, std::string, std::less<>> files;
    // Whether the catalogue may read these from several threads (the map is only read then).
    bool parallel = false;

    [[nodiscard]] bool ReadsInParallel() const override { return parallel; }

    [[nodiscard]] std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) override;
    [[nodiscard]] std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) override;
    [[nodiscard]] std::unique_ptr<TextFileAppender> StartAppending(std::string_view path, bool create,
                                                                   std::string& error) override;
    void RemoveLeftovers(std::string_view) override {}
};

} // namespace vantrel::test
