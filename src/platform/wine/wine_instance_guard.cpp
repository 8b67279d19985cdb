#include "platform/wine/wine_instance_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vantrel {

std::string WineInstanceGuard::DefaultLockPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return std::string(runtime) + "/vantrel.lock";
    }
    return "/tmp/vantrel-" + std::to_string(getuid()) + ".lock";
}

UniqueFd WineInstanceGuard::OpenLockFile() const {
    // O_NOFOLLOW: the lock may sit in a shared folder such as /tmp.
    return UniqueFd(open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
}

bool WineInstanceGuard::IsAnotherInstanceOpen() {
    const UniqueFd probe = OpenLockFile();
    if (!probe.Valid()) {
        return false;
    }
    if (flock(probe.Get(), LOCK_EX | LOCK_NB) == 0) {
        flock(probe.Get(), LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

bool WineInstanceGuard::Acquire() {
    if (held_.Valid()) {
        return true;
    }
    UniqueFd lock = OpenLockFile();
    if (!lock.Valid() || flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    held_ = std::move(lock);
    return true;
}

void WineInstanceGuard::Release() {
    held_.Close();
}

} // namespace vantrel
