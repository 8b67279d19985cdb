#include "platform/portable/std_import_files.h"
#include "platform/utf8.h"

#include <archive.h>
#include <archive_entry.h>
#include <fstream>
#include <optional>
#include <vector>

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// The bytes of a name whose characters are all below 256 and that reads as bytes rather than as
// text: valid UTF-8 beyond ASCII, or holding one of the C1 controls no real name holds.
std::optional<std::string> BytesAsCharacters(const wchar_t* wide) {
    std::string bytes;
    bool control = false;
    for (; *wide; ++wide) {
        const auto cp = static_cast<std::uint32_t>(*wide);
        if (cp > 0xFF) {
            return std::nullopt;
        }
        control = control || (cp >= 0x80 && cp < 0xA0);
        bytes.push_back(static_cast<char>(cp));
    }
    bool utf8 = false;
    for (std::size_t pos = 0; pos < bytes.size();) {
        if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
            ++pos;
        } else if (DecodeUtf8(bytes, pos)) {
            utf8 = true;
        } else {
            utf8 = false;
            break;
        }
    }
    return utf8 || control ? std::optional<std::string>(bytes) : std::nullopt;
}

// UTF-16 where wchar_t has 16 bits (Windows), UTF-32 elsewhere.
std::string Utf8OfWide(const wchar_t* wide) {
    std::string text;
    for (; *wide; ++wide) {
        char32_t cp = static_cast<char32_t>(*wide);
        if constexpr (sizeof(wchar_t) == 2) {
            if (cp >= 0xD800 && cp < 0xDC00 && wide[1] >= 0xDC00 && wide[1] < 0xE000) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(*++wide) - 0xDC00);
            }
        }
        AppendUtf8(cp, text);
    }
    return text;
}

// libarchive reads through these, so that one open of a file by its wide or narrow name serves every
// system.
class ArchiveFileSource final : public ModSource {
public:
    ~ArchiveFileSource() override {
        if (archive_) {
            archive_read_free(archive_);
        }
    }

    bool Open(const fs::path& path, std::string& why) {
        std::error_code error;
        size_ = fs::file_size(path, error);
        file_.open(path, std::ios::binary);
        if (error || !file_) {
            why = error ? error.message() : "it cannot be opened";
            return false;
        }
        archive_ = archive_read_new();
        // Only the formats mods come in: an mtree "archive" would name files elsewhere on the disk, and
        // filters such as lrzip would run other programs.
        archive_read_support_format_zip(archive_);
        archive_read_support_format_7zip(archive_);
        archive_read_support_format_rar(archive_);
        archive_read_support_format_rar5(archive_);
        archive_read_support_format_tar(archive_);
        archive_read_support_filter_gzip(archive_);
        archive_read_support_filter_bzip2(archive_);
        archive_read_support_filter_xz(archive_);
        archive_read_support_filter_lzma(archive_);
        archive_read_set_callback_data(archive_, this);
        archive_read_set_read_callback(archive_, &ArchiveFileSource::Read);
        archive_read_set_seek_callback(archive_, &ArchiveFileSource::Seek);
        archive_read_set_skip_callback(archive_, &ArchiveFileSource::Skip);
        if (archive_read_open1(archive_) != ARCHIVE_OK) {
            why = Reason("it is not an archive Vantrel can unpack (zip, 7z, rar, tar)");
            return false;
        }
        return true;
    }

    Step Next(SourceEntry& entry, std::string& why) override {
        archive_entry* header = nullptr;
        const int status = archive_read_next_header(archive_, &header);
        if (status == ARCHIVE_EOF) {
            return Step::End;
        }
        // A warning (a name in another code page, say) still gives the entry.
        if (status < ARCHIVE_WARN || !header) {
            why = archive_read_has_encrypted_entries(archive_) > 0
                      ? "it is encrypted, which Vantrel cannot unpack; unpack it with its password, then "
                        "import the folder"
                      : Reason("the archive is damaged, cut short or packed in a way Vantrel cannot read");
            return Step::Failed;
        }
        // The wide name first: on Windows the narrow ones pass through the ANSI code page and lose
        // what it cannot hold. A name no form gives is handed on as stored, to be read as its code page.
        if (const wchar_t* wide = archive_entry_pathname_w(header)) {
            entry.name = Utf8OfWide(wide);
            // A name the archive does not mark as Unicode comes as its bytes, one character each:
            // handed on as those bytes, it is read as UTF-8 or in its code page like any other.
            if (const auto bytes = BytesAsCharacters(wide)) {
                entry.name = *bytes;
            }
        } else {
            const char* utf8 = archive_entry_pathname_utf8(header);
            const char* stored = utf8 ? utf8 : archive_entry_pathname(header);
            entry.name = stored ? stored : "";
        }
        entry.legacyCodePage =
            (archive_format(archive_) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP ? 437 : 1252;
        const auto type = archive_entry_filetype(header);
        if (archive_entry_hardlink(header) || type == AE_IFLNK) {
            entry.kind = SourceEntry::Kind::Link;
        } else if (type == AE_IFDIR) {
            entry.kind = SourceEntry::Kind::Folder;
        } else if (type == AE_IFREG || type == 0) {
            entry.kind = SourceEntry::Kind::File;
        } else {
            entry.kind = SourceEntry::Kind::Other;
        }
        entry.sizeKnown = archive_entry_size_is_set(header) != 0;
        entry.size = entry.sizeKnown
                         ? static_cast<std::uint64_t>(std::max<la_int64_t>(archive_entry_size(header), 0))
                         : 0;
        entry.encrypted = archive_entry_is_encrypted(header) != 0;
        return Step::Entry;
    }

    bool ReadData(const Sink& sink, std::string& why) override {
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        std::uint64_t written = 0;
        for (;;) {
            const int status = archive_read_data_block(archive_, &block, &size, &offset);
            if (status == ARCHIVE_EOF) {
                return true;
            }
            if (status < ARCHIVE_WARN) {
                why = Reason("the archive is damaged, cut short or packed in a way Vantrel cannot read");
                return false;
            }
            // A sparse entry leaves holes between its blocks; they read as zeros.
            static const std::vector<char> zeros(64 * 1024);
            while (written < static_cast<std::uint64_t>(offset)) {
                const std::size_t gap = static_cast<std::size_t>(
                    std::min<std::uint64_t>(zeros.size(), static_cast<std::uint64_t>(offset) - written));
                if (!sink(zeros.data(), gap)) {
                    return false;
                }
                written += gap;
            }
            if (size > 0 && !sink(static_cast<const char*>(block), size)) {
                return false;
            }
            written += size;
        }
    }

    std::uint64_t BytesRead() override { return position_; }
    std::uint64_t BytesInAll() override { return size_; }

private:
    std::string Reason(std::string_view otherwise) const {
        const char* said = archive_ ? archive_error_string(archive_) : nullptr;
        return said && *said ? std::string(otherwise) + " (" + said + ")" : std::string(otherwise);
    }

    static la_ssize_t Read(archive*, void* data, const void** buffer) {
        auto* self = static_cast<ArchiveFileSource*>(data);
        self->file_.read(self->buffer_.data(), static_cast<std::streamsize>(self->buffer_.size()));
        const auto got = self->file_.gcount();
        if (got <= 0 && self->file_.bad()) {
            return -1;
        }
        self->file_.clear();
        self->position_ += static_cast<std::uint64_t>(got);
        *buffer = self->buffer_.data();
        return got;
    }

    static la_int64_t Seek(archive*, void* data, la_int64_t offset, int whence) {
        auto* self = static_cast<ArchiveFileSource*>(data);
        const auto direction = whence == SEEK_SET   ? std::ios::beg
                               : whence == SEEK_CUR ? std::ios::cur
                                                    : std::ios::end;
        self->file_.clear();
        self->file_.seekg(offset, direction);
        const auto at = self->file_.tellg();
        if (!self->file_ || at < 0) {
            return ARCHIVE_FATAL;
        }
        self->position_ = static_cast<std::uint64_t>(at);
        return at;
    }

    static la_int64_t Skip(archive* a, void* data, la_int64_t request) {
        auto* self = static_cast<ArchiveFileSource*>(data);
        const std::uint64_t before = self->position_;
        return Seek(a, data, request, SEEK_CUR) < 0 ? 0 : static_cast<la_int64_t>(self->position_ - before);
    }

    archive* archive_ = nullptr;
    std::ifstream file_;
    std::vector<char> buffer_ = std::vector<char>(1024 * 1024);
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

} // namespace

std::unique_ptr<ModSource> OpenArchiveFile(const fs::path& path, std::string& why) {
    auto source = std::make_unique<ArchiveFileSource>();
    if (!source->Open(path, why)) {
        return nullptr;
    }
    return source;
}

} // namespace vantrel
