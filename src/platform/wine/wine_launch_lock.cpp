#include "platform/wine/wine_launch_lock.h"

#include <fcntl.h>
#include <sys/file.h>

namespace vantrel {

bool WineLaunchLock::TryAcquire(std::string_view folder) {
    if (held_.Valid()) {
        return true;
    }
    const auto host = prefix_.ToHostPath(folder);
    UniqueFd directory(host ? open(host->c_str(), O_RDONLY | O_DIRECTORY) : -1);
    if (!directory.Valid() || flock(directory.Get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    held_ = std::move(directory);
    return true;
}

} // namespace vantrel

namespace vantrel {

void WineLaunchLock::Release() {
    if (held_.Valid()) {
        // Unlocks for the game's inherited descriptor too, which may outlive this one.
        flock(held_.Get(), LOCK_UN);
        held_.Close();
    }
}

} // namespace vantrel
