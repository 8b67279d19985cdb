// The words in which every file layer says why it refused an operation, so that the launch's messages
// read the same on every system.
#pragma once

namespace vantrel::refusal {

inline constexpr const char* kDrive = "is a drive of the machine";
inline constexpr const char* kReadOnly = "the file is read-only";
inline constexpr const char* kNeither = "not a file or folder (a pipe or a device)";
inline constexpr const char* kIntoItself = "the folder cannot be copied into itself";
inline constexpr const char* kLoop = "a link inside the folder leads back into it";
inline constexpr const char* kStopped = "the copy was stopped";

} // namespace vantrel::refusal
