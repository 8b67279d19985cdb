// The single-instance guard on Linux: a per-user lock file held while the main window is open.
#pragma once

#include <string>

#include "platform/instance_guard.h"
#include "platform/wine/host_files.h"

namespace vantrel {

class WineInstanceGuard final : public InstanceGuard {
public:
    // Locks `lockPath`; the kernel drops the lock when the process ends, however it ends.
    explicit WineInstanceGuard(std::string lockPath) : lockPath_(std::move(lockPath)) {}

    // $XDG_RUNTIME_DIR/vantrel.lock, else /tmp/vantrel-<uid>.lock.
    [[nodiscard]] static std::string DefaultLockPath();

    [[nodiscard]] bool IsAnotherInstanceOpen() override;
    [[nodiscard]] bool Acquire() override;
    void Release() override;

private:
    [[nodiscard]] UniqueFd OpenLockFile() const;

    std::string lockPath_;
    UniqueFd held_;
};

} // namespace vantrel
