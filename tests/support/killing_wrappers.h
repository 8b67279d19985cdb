// Wrappers that stop a launch dead after its Nth step that changes the disk, as a killed launcher
// would stop: by an exception that skips every undo, or by SIGKILL in a child process.
#pragma once

#include <memory>
#include <stdexcept>

#include "platform/swap_file_system.h"
#include "platform/text_files.h"

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

class KillingFileSystem final : public SwapFileSystem {
public:
    KillingFileSystem(SwapFileSystem& inner, KillSwitch& kill) : inner_(inner), kill_(kill) {}

    bool Exists(std::string_view path) override { return inner_.Exists(path); }
    EntryKind KindOf(std::string_view path) override { return inner_.KindOf(path); }
    std::optional<EntryIdentity> IdentityOf(std::string_view path) override { return inner_.IdentityOf(path); }
    TreeSize MeasureTree(std::string_view path) override { return inner_.MeasureTree(path); }
    bool SetAttributesNormal(std::string_view path) override { return After(inner_.SetAttributesNormal(path)); }
    bool Rename(std::string_view from, std::string_view to) override { return After(inner_.Rename(from, to)); }
    bool CopyFile(std::string_view from, std::string_view to, const CopyListener& listener) override {
        return After(inner_.CopyFile(from, to, listener));
    }
    bool CopyFolder(std::string_view from, std::string_view to, const CopyListener& listener) override {
        // Also in the middle of the copy, after its first file.
        bool first = true;
        return After(inner_.CopyFolder(from, to, [&](std::uint64_t bytes) {
            if (listener) {
                listener(bytes);
            }
            if (first) {
                first = false;
                kill_.Step();
            }
        }));
    }
    bool DeleteFile(std::string_view path, bool force) override { return After(inner_.DeleteFile(path, force)); }
    bool DeleteFolder(std::string_view path) override { return After(inner_.DeleteFolder(path)); }

private:
    bool After(bool result) {
        kill_.Step();
        return result;
    }

    SwapFileSystem& inner_;
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
    void RemoveLeftovers(std::string_view folder) override { inner_.RemoveLeftovers(folder); }

private:
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
