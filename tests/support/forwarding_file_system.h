// A file layer that hands every operation to another one; fakes override the few they change.
#pragma once

#include "platform/swap_file_system.h"

namespace vantrel::test {

class ForwardingFileSystem : public SwapFileSystem {
public:
    explicit ForwardingFileSystem(SwapFileSystem& inner) : inner_(inner) {}

    std::string MachineName() override { return inner_.MachineName(); }
    std::string SessionName() override { return inner_.SessionName(); }
    bool IsSameSession(std::string_view sessionName) override { return inner_.IsSameSession(sessionName); }
    std::string LastError() override { return inner_.LastError(); }
    bool Exists(std::string_view path) override { return inner_.Exists(path); }
    EntryKind KindOf(std::string_view path) override { return inner_.KindOf(path); }
    std::optional<std::string> EntryName(std::string_view path) override { return inner_.EntryName(path); }
    std::optional<EntryIdentity> IdentityOf(std::string_view path) override { return inner_.IdentityOf(path); }
    bool HasStableIdentities(std::string_view path) override { return inner_.HasStableIdentities(path); }
    bool CanChangeFolder(std::string_view folder) override { return inner_.CanChangeFolder(folder); }
    TreeSize MeasureTree(std::string_view path) override { return inner_.MeasureTree(path); }
    bool SetAttributesNormal(std::string_view path) override { return inner_.SetAttributesNormal(path); }
    bool CreateFolder(std::string_view path) override { return inner_.CreateFolder(path); }
    bool Rename(std::string_view from, std::string_view to) override { return inner_.Rename(from, to); }
    bool CopyFile(std::string_view from, std::string_view to, const CopyEvents& events, TreeSize& placed) override {
        return inner_.CopyFile(from, to, events, placed);
    }
    bool CopyFolder(std::string_view from, std::string_view to, const CopyEvents& events, TreeSize& placed) override {
        return inner_.CopyFolder(from, to, events, placed);
    }
    bool DeleteFile(std::string_view path, bool force) override { return inner_.DeleteFile(path, force); }
    bool DeleteFolder(std::string_view path) override { return inner_.DeleteFolder(path); }

protected:
    SwapFileSystem& inner_;
};

} // namespace vantrel::test
