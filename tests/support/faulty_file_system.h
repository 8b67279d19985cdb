// Wraps a file layer and fails one chosen operation that changes the disk, to test what a launch
// does when the disk refuses it at that moment.
#pragma once

#include <functional>

#include "support/forwarding_file_system.h"

namespace vantrel::test {

class FaultyFileSystem final : public ForwardingFileSystem {
public:
    enum class Mode {
        Before, // the failing operation does nothing
        After,  // a copy or delete is done, then reported as failed (as when the disk fills up at its end)
    };

    FaultyFileSystem(SwapFileSystem& inner, int failAt, Mode mode = Mode::Before)
        : ForwardingFileSystem(inner), failAt_(failAt), mode_(mode) {}

    // Called with the path of the failing operation before it fails, to leave what a failure half
    // way would (part of a folder deleted, say).
    std::function<void(std::string_view path)> halfway;

    // How many changing operations were asked for so far.
    [[nodiscard]] int Operations() const { return count_; }

    std::string LastError() override { return failed_ ? "input/output error" : inner_.LastError(); }
    bool SetAttributesNormal(std::string_view path) override {
        return Next() && inner_.SetAttributesNormal(path);
    }
    bool Rename(std::string_view from, std::string_view to) override { return Next() && inner_.Rename(from, to); }
    bool CopyFile(std::string_view from, std::string_view to, const CopyEvents& events, TreeSize& placed) override {
        return Fail([&](const CopyEvents& e) { return inner_.CopyFile(from, to, e, placed); }, events, to);
    }
    bool CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events, TreeSize& placed) override {
        return Fail([&](const CopyEvents& e) { return inner_.CopyFolder(from, to, e, placed); }, events, to);
    }
    bool DeleteFile(std::string_view path, bool force) override { return Next() && inner_.DeleteFile(path, force); }
    bool DeleteFolder(std::string_view path) override {
        return Fail([&](const CopyEvents&) { return inner_.DeleteFolder(path); }, {}, path);
    }

private:
    bool Next() {
        failed_ = ++count_ == failAt_;
        return !failed_;
    }

    template <typename Operation>
    bool Fail(Operation operation, const CopyEvents& events, std::string_view path) {
        if (Next()) {
            return operation(events);
        }
        if (halfway) {
            halfway(path);
        }
        if (mode_ == Mode::After) {
            (void)operation(events);
        }
        failed_ = true;
        return false;
    }

    int failAt_;
    Mode mode_;
    int count_ = 0;
    bool failed_ = false;
};

} // namespace vantrel::test
