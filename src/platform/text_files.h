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

    // Reads the next line into `line` as UTF-8; false at the end of the file, on a read error or at
    // a line longer than kMaxLineBytes.
    [[nodiscard]] virtual bool ReadLine(std::string& line) = 0;
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

class TextFiles {
public:
    TextFiles() = default;
    TextFiles(const TextFiles&) = delete;
    TextFiles& operator=(const TextFiles&) = delete;
    virtual ~TextFiles() = default;

    // Opens the ordinary file at the Windows path for reading, in pieces; nullptr when it cannot be
    // opened or is no ordinary file (a folder, a pipe or a device is refused without waiting on it).
    [[nodiscard]] virtual std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) = 0;
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

} // namespace vantrel
