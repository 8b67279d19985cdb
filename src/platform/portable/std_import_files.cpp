#include "platform/portable/std_import_files.h"

#include <algorithm>
#include <fstream>
#include <vector>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
    const std::u8string text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

// A folder's entries, listed whole when it is opened (names in order, folders before what they hold).
class FolderSource final : public ModSource {
public:
    explicit FolderSource(std::function<bool(const fs::path&)> isLink) : isLink_(std::move(isLink)) {}

    bool Open(const fs::path& root, std::string& why) {
        std::error_code error;
        Walk(root, fs::path(), error);
        if (error) {
            why = error.message();
            return false;
        }
        return true;
    }

    Step Next(SourceEntry& entry, std::string&) override {
        if (next_ == entries_.size()) {
            return Step::End;
        }
        current_ = &entries_[next_++];
        entry = current_->entry;
        return Step::Entry;
    }

    bool ReadData(const Sink& sink, std::string& why) override {
        std::ifstream file(current_->path, std::ios::binary);
        if (!file) {
            why = "it cannot be opened";
            return false;
        }
        while (file) {
            file.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
            const auto got = file.gcount();
            if (got > 0) {
                read_ += static_cast<std::uint64_t>(got);
                if (!sink(buffer_.data(), static_cast<std::size_t>(got))) {
                    return false;
                }
            }
        }
        if (file.bad()) {
            why = "it cannot be read";
            return false;
        }
        return true;
    }

    std::uint64_t BytesRead() override { return read_; }
    std::uint64_t BytesInAll() override { return total_; }

private:
    struct Listed {
        fs::path path;
        SourceEntry entry;
    };

    void Walk(const fs::path& folder, const fs::path& below, std::error_code& error) {
        std::vector<fs::directory_entry> children;
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            children.push_back(*it);
        }
        if (error) {
            return;
        }
        std::sort(children.begin(), children.end(),
                  [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
        for (const fs::directory_entry& child : children) {
            const fs::path name = below / child.path().filename();
            Listed listed{child.path(), {}};
            listed.entry.name = Utf8(name);
            const fs::file_status status = child.symlink_status(error);
            if (error) {
                return;
            }
            if (fs::is_symlink(status) || (isLink_ && isLink_(child.path()))) {
                listed.entry.kind = SourceEntry::Kind::Link;
            } else if (fs::is_directory(status)) {
                listed.entry.kind = SourceEntry::Kind::Folder;
            } else if (fs::is_regular_file(status)) {
                listed.entry.kind = SourceEntry::Kind::File;
                listed.entry.size = child.file_size(error);
                listed.entry.sizeKnown = true;
                total_ += listed.entry.size;
            } else {
                listed.entry.kind = SourceEntry::Kind::Other;
            }
            const bool isFolder = listed.entry.kind == SourceEntry::Kind::Folder;
            entries_.push_back(std::move(listed));
            if (isFolder) {
                Walk(child.path(), name, error);
            }
            if (error) {
                return;
            }
        }
    }

    std::function<bool(const fs::path&)> isLink_;
    std::vector<Listed> entries_;
    std::size_t next_ = 0;
    const Listed* current_ = nullptr;
    std::vector<char> buffer_ = std::vector<char>(1024 * 1024);
    std::uint64_t total_ = 0;
    std::uint64_t read_ = 0;
};

class StdNewFile final : public NewFile {
public:
    StdNewFile(const fs::path& path, std::string& lastError)
        : file_(path, std::ios::binary), lastError_(lastError) {}

    [[nodiscard]] bool IsOpen() const { return file_.is_open(); }

    bool Write(const char* data, std::size_t size) override {
        if (!file_.write(data, static_cast<std::streamsize>(size))) {
            lastError_ = "the disk refused the data (is it full?)";
            return false;
        }
        return true;
    }

    bool Finish() override {
        file_.close();
        if (file_.fail()) {
            lastError_ = "the disk refused the data (is it full?)";
            return false;
        }
        return true;
    }

private:
    std::ofstream file_;
    std::string& lastError_;
};

} // namespace

std::unique_ptr<ModSource> OpenFolderTree(const fs::path& path, std::string& why,
                                          std::function<bool(const fs::path&)> isLink) {
    auto source = std::make_unique<FolderSource>(std::move(isLink));
    if (!source->Open(path, why)) {
        return nullptr;
    }
    return source;
}

std::optional<fs::path> StdImportFiles::Found(std::string_view path) {
    auto mapped = paths_.found(path);
    if (!mapped) {
        lastError_ = "the machine has no such drive";
    }
    return mapped;
}

std::optional<fs::path> StdImportFiles::Exact(std::string_view path) {
    auto mapped = paths_.exact(path);
    if (!mapped) {
        lastError_ = "the machine has no such drive";
    }
    return mapped;
}

std::optional<std::string> StdImportFiles::MachinePathOfArgument(std::string_view argument) {
    std::error_code error;
    const fs::path absolute = fs::absolute(fs::path(std::u8string(argument.begin(), argument.end())), error);
    return error ? std::nullopt : paths_.machine(absolute.lexically_normal());
}

std::unique_ptr<ModSource> StdImportFiles::OpenArchive(std::string_view path) {
    const auto mapped = Found(path);
    return mapped ? OpenArchiveFile(*mapped, lastError_) : nullptr;
}

std::unique_ptr<ModSource> StdImportFiles::OpenFolder(std::string_view path) {
    const auto mapped = Found(path);
    return mapped ? OpenFolderTree(*mapped, lastError_, paths_.isLink) : nullptr;
}

EntryKind StdImportFiles::KindOf(std::string_view path) {
    const auto mapped = paths_.found(path);
    std::error_code error;
    const fs::file_status status = mapped ? fs::status(*mapped, error) : fs::file_status();
    if (!mapped || error) {
        return EntryKind::None;
    }
    return fs::is_directory(status) ? EntryKind::Folder
           : fs::exists(status)     ? EntryKind::File
                                    : EntryKind::None;
}

std::optional<std::uint64_t> StdImportFiles::FreeSpace(std::string_view folder) {
    const auto mapped = Found(folder);
    std::error_code error;
    const fs::space_info space = mapped ? fs::space(*mapped, error) : fs::space_info{};
    if (!mapped || error) {
        return std::nullopt;
    }
    return space.available;
}

bool StdImportFiles::CreateFolder(std::string_view path) {
    const auto mapped = Exact(path);
    std::error_code error;
    if (!mapped) {
        return false;
    }
    if (!fs::create_directory(*mapped, error)) {
        lastError_ = error ? error.message() : "there is an entry of that name already";
        return false;
    }
    return true;
}

std::unique_ptr<NewFile> StdImportFiles::CreateFile(std::string_view path) {
    const auto mapped = Exact(path);
    std::error_code error;
    if (!mapped) {
        return nullptr;
    }
    if (fs::exists(fs::symlink_status(*mapped, error))) {
        lastError_ = "there is an entry of that name already";
        return nullptr;
    }
    auto file = std::make_unique<StdNewFile>(*mapped, lastError_);
    if (!file->IsOpen()) {
        lastError_ = "it cannot be created";
        return nullptr;
    }
    return file;
}

bool StdImportFiles::Rename(std::string_view from, std::string_view to) {
    const auto source = Exact(from);
    const auto target = Exact(to);
    std::error_code error;
    if (!source || !target) {
        return false;
    }
    if (fs::exists(fs::symlink_status(*target, error))) {
        lastError_ = "there is an entry of that name already";
        return false;
    }
    fs::rename(*source, *target, error);
    if (error) {
        lastError_ = error.message();
        return false;
    }
    return true;
}

bool StdImportFiles::RemoveTree(std::string_view path) {
    const auto mapped = Exact(path);
    std::error_code error;
    if (!mapped) {
        return false;
    }
    fs::remove_all(*mapped, error);
    if (error) {
        lastError_ = error.message();
        return false;
    }
    return true;
}

bool StdImportFiles::RemoveEmptyFolder(std::string_view path) {
    const auto mapped = Exact(path);
    std::error_code error;
    if (!mapped || !fs::is_empty(*mapped, error) || error) {
        return false;
    }
    // remove() takes an empty folder only; one filled meanwhile stays.
    return fs::remove(*mapped, error) && !error;
}

} // namespace vantrel
