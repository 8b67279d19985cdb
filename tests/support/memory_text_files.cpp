#include "support/memory_text_files.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage_1252.h"
#include "platform/cr_line_splitter.h"

namespace vantrel::test {
namespace {

class MemoryReader final : public TextFileReader {
public:
    explicit MemoryReader(std::string bytes)
        : bytes_(std::move(bytes)), splitter_([this](char* buffer, std::size_t capacity) -> long long {
              // Small pieces, so that line ends that straddle two reads are exercised too.
              const std::size_t count = std::min({capacity, bytes_.size() - pos_, std::size_t{7}});
              std::memcpy(buffer, bytes_.data() + pos_, count);
              pos_ += count;
              return static_cast<long long>(count);
          }) {}

    bool ReadLine(std::string& line) override {
        if (!splitter_.Next(raw_)) {
            return false;
        }
        line.clear();
        AppendUtf8FromWindows1252(raw_, line);
        return true;
    }

private:
    std::string bytes_;
    std::size_t pos_ = 0;
    CrLineSplitter splitter_;
    std::string raw_;
};

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
    bool Commit() override {
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
    return found == files.end() ? nullptr : std::make_unique<MemoryReader>(found->second);
}

std::unique_ptr<TextFileWriter> MemoryTextFiles::StartReplacing(std::string_view path) {
    return std::make_unique<MemoryWriter>(*this, std::string(path));
}

} // namespace vantrel::test
