// The launch lock on Linux: a lock on the journal's folder itself, so that no file is left behind
// (and a folder that cannot be written can still be locked).
#pragma once

#include "platform/launch_lock.h"
#include "platform/wine/host_files.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

class WineLaunchLock final : public LaunchLock {
public:
    explicit WineLaunchLock(const WinePrefix& prefix) : prefix_(prefix) {}

    // The lock's descriptor is handed to the game, so that it stays held while the game runs even
    // when this launcher dies first: no later start puts the installation back under a running game.
    [[nodiscard]] bool TryAcquire(std::string_view folder) override;
    void Release() override;

private:
    const WinePrefix& prefix_;
    UniqueFd held_;
};

} // namespace vantrel
