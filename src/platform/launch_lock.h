// Lets only one launch at a time swap files into the installations from one journal folder.
#pragma once

#include <string_view>

namespace vantrel {

class LaunchLock {
public:
    LaunchLock() = default;
    LaunchLock(const LaunchLock&) = delete;
    LaunchLock& operator=(const LaunchLock&) = delete;
    virtual ~LaunchLock() = default;

    // Takes the lock of the folder that holds the launch journal; false when another process holds
    // it. The system drops the lock when the process ends, however it ends.
    [[nodiscard]] virtual bool TryAcquire(std::string_view folder) = 0;
    // Gives the lock back; harmless when it is not held.
    virtual void Release() = 0;
};

} // namespace vantrel
