// Text files in the machine's ANSI code page, read and written line by line as UTF-8.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

// The longest line a reader hands out; a longer one ends the reading as a read error does, so that
// memory stays bounded whatever a file holds.
inline constexpr std::size_t kMaxLineBytes = 1 << 20;

// An open file being read. A line ends at a CR; a LF right after that CR belongs to the line end,
// a LF anywhere else is an ordinary character; the last line needs no line end.
class TextFileReader {
public:
    TextFileReader() = default;
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;
    virtual ~TextFileReader() = default;

    // Reads the next line as UTF-8; false at the end of the file, on a read error or at a line longer
    // than kMaxLineBytes. `line` shows the reader's own copy, good until the next call.
    [[nodiscard]] virtual bool NextLine(std::string_view& line) = 0;

    // The same, copied into `line`.
    [[nodiscard]] bool ReadLine(std::string& line) {
        std::string_view next;
        if (!NextLine(next)) {
            return false;
        }
        line.assign(next);
        return true;
    }
};

// A file that grows by lines. Each Append() hands its lines to the system at once, so that a process
// killed at any moment has lost none of what it appended.
class TextFileAppender {
public:
    TextFileAppender() = default;
    TextFileAppender(const TextFileAppender&) = delete;
    TextFileAppender& operator=(const TextFileAppender&) = delete;
    virtual ~TextFileAppender() = default;

    // Appends each line and CR LF in the ANSI code page, in one write; false on a write error or a
    // character that the code page cannot hold.
    [[nodiscard]] virtual bool Append(const std::vector<std::string>& lines) = 0;
    // Makes the file, its name included, and everything appended so far durable on disk.
    [[nodiscard]] virtual bool Sync() = 0;
    // The system's reason for the last failure, in a few words.
    [[nodiscard]] virtual std::string LastError() = 0;
};

// A replacement of a file being written. Nothing shows under the target path until Commit()
// succeeds; a writer destroyed without a successful Commit() leaves no trace.
class TextFileWriter {
public:
    TextFileWriter() = default;
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;
    virtual ~TextFileWriter() = default;

    // Appends `line` and CR LF in the ANSI code page; false on a write error or a character that
    // the code page cannot hold.
    [[nodiscard]] virtual bool WriteLine(std::string_view line) = 0;
    // Puts the written text in place of the target as one step, first making it durable on disk
    // when `durable`; false (target untouched) on any failure, or when the existing target is read-only.
    [[nodiscard]] virtual bool Commit(bool durable) = 0;
};

// A folder whose files are read one after another: its path is looked up once, and what reading a
// file needs is kept for the next one.
class TextFolder {
public:
    TextFolder() = default;
    TextFolder(const TextFolder&) = delete;
    TextFolder& operator=(const TextFolder&) = delete;
    virtual ~TextFolder() = default;

    // Opens the file `name` of the folder as TextFiles::OpenForReading opens <folder>\<name>, ending
    // the reading of the file opened before. The reader belongs to the folder and serves until the
    // next call; nullptr when the file cannot be opened.
    [[nodiscard]] virtual TextFileReader* OpenForReading(std::string_view name) = 0;
};

class TextFiles {
public:
    TextFiles() = default;
    TextFiles(const TextFiles&) = delete;
    TextFiles& operator=(const TextFiles&) = delete;
    virtual ~TextFiles() = default;

    // Opens the ordinary file at the Windows path for reading, in pieces; nullptr when it cannot be
    // opened or is no ordinary file (a folder, a pipe or a device is refused without waiting on it).
    [[nodiscard]] virtual std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) = 0;
    // Opens the folder at the Windows path for one pass over files in it by name; the next pass
    // opens it again, as the folder may have been replaced meanwhile. By default each file is
    // opened by its whole path.
    [[nodiscard]] virtual std::unique_ptr<TextFolder> OpenFolder(std::string_view path);
    // Whether OpenFolder and OpenForReading may be called from several threads at once, each thread
    // reading through folders and readers of its own.
    [[nodiscard]] virtual bool ReadsInParallel() const { return false; }
    // Opens the file at the Windows path to append lines to it: a new one when `create` (refused when
    // anything is there already), else the existing file. nullptr with the reason in `error`.
    [[nodiscard]] virtual std::unique_ptr<TextFileAppender> StartAppending(std::string_view path, bool create,
                                                                           std::string& error) = 0;
    // Starts writing a new content for the file at the Windows path (temporarily under another name
    // in the same folder); nullptr when that cannot be started.
    [[nodiscard]] virtual std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) = 0;
    // Removes the temporary files that replacements of processes no longer running left in the folder.
    virtual void RemoveLeftovers(std::string_view folder) = 0;
};

// The folder that opens each file by its whole path through TextFiles::OpenForReading.
class JoinedPathFolder final : public TextFolder {
public:
    JoinedPathFolder(TextFiles& files, std::string_view path) : files_(files), path_(path) {
        path_ += '\\';
        folderLength_ = path_.size();
    }

    TextFileReader* OpenForReading(std::string_view name) override {
        reader_.reset();
        path_.resize(folderLength_);
        path_ += name;
        reader_ = files_.OpenForReading(path_);
        return reader_.get();
    }

private:
    TextFiles& files_;
    std::string path_; // the folder and a backslash, then the last name opened
    std::size_t folderLength_;
    std::unique_ptr<TextFileReader> reader_;
};

inline std::unique_ptr<TextFolder> TextFiles::OpenFolder(std::string_view path) {
    return std::make_unique<JoinedPathFolder>(*this, path);
}

} // namespace vantrel
