// Runs a call that must not wait on a pipe: a call still waiting after a while fails the test and
// is let go by opening the pipe's other end, instead of hanging the test run.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

namespace vantrel::test {

template <typename Call> auto WithoutWaitingOn(const std::filesystem::path& pipe, Call call) {
    auto result = std::async(std::launch::async, call);
    if (result.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
        ADD_FAILURE() << "waited on the pipe " << pipe;
        // A writer that comes and goes lets a waiting open return and its reads end.
        close(open(pipe.c_str(), O_RDWR | O_NONBLOCK));
    }
    return result.get();
}

} // namespace vantrel::test
