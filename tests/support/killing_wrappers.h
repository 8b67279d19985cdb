// Wrappers that stop a launch dead after its Nth step that changes the disk, as a killed launcher
// would stop: by an exception that skips every undo, or by SIGKILL in a child process.
#pragma once

#include <memory>
#include <string>
#include <vector>
#include <stdexcept>

#include "platform/text_files.h"
#include "support/forwarding_file_system.h"

namespace vantrel::test {

// Ends this process at once, as the system ends a killed one (SIGKILL, TerminateProcess).
[[noreturn]] void KillThisProcess();

struct Killed : std::runtime_error {
    Killed() : std::runtime_error("killed") {}
};

// Counts the steps of both wrappers together and stops at step `killAt` (0: never).
class KillSwitch {
public:
    enum class Mode { Exception, Signal };

    explicit KillSwitch(int killAt, Mode mode = Mode::Exception) : killAt_(killAt), mode_(mode) {}

    void Step() {
        if (++steps_ == killAt_) {
            Kill();
        }
    }
    void Kill() const {
        if (mode_ == Mode::Signal) {
            KillThisProcess();
        }
        throw Killed();
    }
    [[nodiscard]] int Steps() const { return steps_; }

private:
    int killAt_;
    Mode mode_;
    int steps_ = 0;
};

class KillingFileSystem final : public ForwardingFileSystem {
public:
    KillingFileSystem(SwapFileSystem& inner, KillSwitch& kill) : ForwardingFileSystem(inner), kill_(kill) {}

    bool SetAttributesNormal(std::string_view path) override { return After(inner_.SetAttributesNormal(path)); }
    bool Rename(std::string_view from, std::string_view to) override { return After(inner_.Rename(from, to)); }
    bool CopyFile(std::string_view from, std::string_view to, const CopyEvents& events, TreeSize& placed) override {
        return After(inner_.CopyFile(from, to, Stepping(events), placed));
    }
    bool CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events, TreeSize& placed) override {
        return After(inner_.CopyFolder(from, to, Stepping(events), placed));
    }
    bool DeleteFile(std::string_view path, bool force) override { return After(inner_.DeleteFile(path, force)); }
    bool DeleteFolder(std::string_view path) override { return After(inner_.DeleteFolder(path)); }

private:
    bool After(bool result) {
        kill_.Step();
        return result;
    }

    // Also right after the copy made its entry (before and after the launch hears of it), and in the
    // middle of a copy, after its first file.
    CopyEvents Stepping(const CopyEvents& events) {
        CopyEvents stepping;
        stepping.created = [this, events](const EntryIdentity& identity) {
            kill_.Step();
            const bool go = !events.created || events.created(identity);
            kill_.Step();
            return go;
        };
        stepping.written = [this, events, first = std::make_shared<bool>(true)](std::uint64_t bytes) {
            if (events.written) {
                events.written(bytes);
            }
            if (*first) {
                *first = false;
                kill_.Step();
            }
        };
        return stepping;
    }

    KillSwitch& kill_;
};

// Stops before a replacement is put in place, leaving its temporary file, or just after.
class KillingTextFiles final : public TextFiles {
public:
    KillingTextFiles(TextFiles& inner, KillSwitch& kill) : inner_(inner), kill_(kill) {}

    std::unique_ptr<TextFileReader> OpenForReading(std::string_view path) override {
        return inner_.OpenForReading(path);
    }
    std::unique_ptr<TextFileWriter> StartReplacing(std::string_view path) override {
        auto writer = inner_.StartReplacing(path);
        return writer ? std::make_unique<Writer>(std::move(writer), kill_) : nullptr;
    }
    std::unique_ptr<TextFileAppender> StartAppending(std::string_view path, bool create, std::string& error) override {
        auto appender = inner_.StartAppending(path, create, error);
        kill_.Step();
        return appender ? std::make_unique<Appender>(std::move(appender), kill_) : nullptr;
    }
    void RemoveLeftovers(std::string_view folder) override { inner_.RemoveLeftovers(folder); }

private:
    class Appender final : public TextFileAppender {
    public:
        Appender(std::unique_ptr<TextFileAppender> inner, KillSwitch& kill) : inner_(std::move(inner)), kill_(kill) {}
        bool Append(const std::vector<std::string>& lines) override {
            const bool appended = inner_->Append(lines);
            kill_.Step();
            return appended;
        }
        bool Sync() override { return inner_->Sync(); }
        std::string LastError() override { return inner_->LastError(); }

    private:
        std::unique_ptr<TextFileAppender> inner_;
        KillSwitch& kill_;
    };

    class Writer final : public TextFileWriter {
    public:
        Writer(std::unique_ptr<TextFileWriter> inner, KillSwitch& kill) : inner_(std::move(inner)), kill_(kill) {}
        bool WriteLine(std::string_view line) override { return inner_->WriteLine(line); }
        bool Commit(bool durable) override {
            kill_.Step();
            const bool committed = inner_->Commit(durable);
            kill_.Step();
            return committed;
        }

    private:
        std::unique_ptr<TextFileWriter> inner_;
        KillSwitch& kill_;
    };

    TextFiles& inner_;
    KillSwitch& kill_;
};

} // namespace vantrel::test
