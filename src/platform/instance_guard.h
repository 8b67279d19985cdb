// Tells whether an interactive instance of the program already has its main window open.
#pragma once

namespace vantrel {

class InstanceGuard {
public:
    InstanceGuard() = default;
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;
    virtual ~InstanceGuard() = default;

    // True when another instance of this user has its main window open.
    [[nodiscard]] virtual bool IsAnotherInstanceOpen() = 0;
    // Marks this instance as open until Release() or the end of the process; false if that failed.
    [[nodiscard]] virtual bool Acquire() = 0;
    // Ends what Acquire() started; harmless when nothing was acquired.
    virtual void Release() = 0;
};

} // namespace vantrel
