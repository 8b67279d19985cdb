// Wraps a file layer and fails one chosen operation that changes the disk, to test what a launch
// does when the disk refuses it at that moment.
#pragma once

#include "platform/swap_file_system.h"

namespace vantrel::test {

class FaultyFileSystem final : public SwapFileSystem {
public:
    enum class Mode {
        Before, // the failing operation does nothing
        After,  // a copy is made, then reported as failed (as when the disk fills up at its end)
    };

    FaultyFileSystem(SwapFileSystem& inner, int failAt, Mode mode = Mode::Before)
        : inner_(inner), failAt_(failAt), mode_(mode) {}

    // How many changing operations were asked for so far.
    [[nodiscard]] int Operations() const { return count_; }

    bool Exists(std::string_view path) override { return inner_.Exists(path); }
    EntryKind KindOf(std::string_view path) override { return inner_.KindOf(path); }
    std::optional<EntryIdentity> IdentityOf(std::string_view path) override { return inner_.IdentityOf(path); }
    bool SetAttributesNormal(std::string_view path) override {
        return Next() && inner_.SetAttributesNormal(path);
    }
    bool Rename(std::string_view from, std::string_view to) override { return Next() && inner_.Rename(from, to); }
    TreeSize MeasureTree(std::string_view path) override { return inner_.MeasureTree(path); }
    bool CopyFile(std::string_view from, std::string_view to, const CopyListener& listener) override {
        return Copy([&] { return inner_.CopyFile(from, to, listener); });
    }
    bool CopyFolder(std::string_view from, std::string_view to, const CopyListener& listener) override {
        return Copy([&] { return inner_.CopyFolder(from, to, listener); });
    }
    bool DeleteFile(std::string_view path, bool force) override { return Next() && inner_.DeleteFile(path, force); }
    bool DeleteFolder(std::string_view path) override { return Next() && inner_.DeleteFolder(path); }

private:
    bool Next() { return ++count_ != failAt_; }

    template <typename Operation>
    bool Copy(Operation operation) {
        if (Next()) {
            return operation();
        }
        if (mode_ == Mode::After) {
            (void)operation();
        }
        return false;
    }

    SwapFileSystem& inner_;
    int failAt_;
    Mode mode_;
    int count_ = 0;
};

} // namespace vantrel::test
