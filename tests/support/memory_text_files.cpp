#include "support/memory_text_files.h"


#include "platform/codepage_1252.h"
#include "platform/text_lines.h"

namespace vantrel::test {
namespace {

class MemoryWriter final : public TextFileWriter {
public:
    MemoryWriter(MemoryTextFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}

    bool WriteLine(std::string_view line) override {
        const auto bytes = Windows1252FromUtf8(line);
        if (!bytes) {
            return false;
        }
        content_ += *bytes + "\r\n";
        return true;
    }
    bool Commit(bool) override {
        owner_.files[path_] = content_;
        return true;
    }

private:
    MemoryTextFiles& owner_;
    std::string path_;
    std::string content_;
};

} // namespace

std::unique_ptr<TextFileReader> MemoryTextFiles::OpenForReading(std::string_view path) {
    const auto found = files.find(path);
    return found == files.end() ? nullptr : std::make_unique<TextLines>(Utf8FromWindows1252(found->second));
}

std::unique_ptr<TextFileWriter> MemoryTextFiles::StartReplacing(std::string_view path) {
    return std::make_unique<MemoryWriter>(*this, std::string(path));
}

} // namespace vantrel::test
