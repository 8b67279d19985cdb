// Text files in the machine's ANSI code page, read and written line by line as UTF-8.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vantrel {

// An open file being read. A line ends at a CR; a LF right after that CR belongs to the line end,
// a LF anywhere else is an ordinary character; the last line needs no line end.
class TextFileReader {
public:
    TextFileReader() = default;
    TextFileReader(const TextFileReader&) = delete;
    TextFileReader& operator=(const TextFileReader&) = delete;
    virtual ~TextFileReader() = default;

    // Reads the next line into `line` as UTF-8; false at the end of the file or on a read error.
    [[nodiscard]] virtual bool ReadLine(std::string& line) = 0;
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

    // Opens the file at the Windows path for reading; nullptr when it cannot be opened.
    [[nodiscard]] virtual std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) = 0;
    // Starts writing a new content for the file at the Windows path (temporarily under another name
    // in the same folder); nullptr when that cannot be started.
    [[nodiscard]] virtual std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) = 0;
    // Removes the temporary files that replacements of processes no longer running left in the folder.
    virtual void RemoveLeftovers(std::string_view folder) = 0;
};

} // namespace vantrel
