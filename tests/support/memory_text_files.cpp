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

class MemoryAppender final : public TextFileAppender {
public:
    MemoryAppender(MemoryTextFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}

    bool Append(const std::vector<std::string>& lines) override {
        std::string bytes;
        for (const auto& line : lines) {
            const auto ansi = Windows1252FromUtf8(line);
            if (!ansi) {
                return false;
            }
            bytes += *ansi + "\r\n";
        }
        owner_.files[path_] += bytes;
        return true;
    }
    bool Sync() override { return true; }
    std::string LastError() override { return "a character the code page lacks"; }

private:
    MemoryTextFiles& owner_;
    std::string path_;
};

} // namespace

std::unique_ptr<TextFileAppender> MemoryTextFiles::StartAppending(std::string_view path, bool create,
                                                                  std::string& error) {
    const bool exists = files.find(path) != files.end();
    if (exists == create) {
        error = exists ? "the file exists already" : "no such file";
        return nullptr;
    }
    files[std::string(path)];
    return std::make_unique<MemoryAppender>(*this, std::string(path));
}

std::unique_ptr<TextFileReader> MemoryTextFiles::OpenForReading(std::string_view path) {
    const auto found = files.find(path);
    return found == files.end() ? nullptr : std::make_unique<TextLines>(Utf8FromWindows1252(found->second));
}

std::unique_ptr<TextFileWriter> MemoryTextFiles::StartReplacing(std::string_view path) {
    return std::make_unique<MemoryWriter>(*this, std::string(path));
}

} // namespace vantrel::test
