// Stores a mod composed in the editor as a definition file in the definition folder.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/messages.h"
#include "platform/text_files.h"

namespace vantrel {

inline constexpr std::string_view kMissingNameMessage = "The name of the mod is missing!";

// True when `baseName` (a file name up to its first dot) names a device, such as CON or NUL, which
// Windows opens in place of a file of that name; blanks and dots after it do not change that.
[[nodiscard]] bool IsWindowsDeviceName(std::string_view baseName);

// True when `title` followed by ".vtl" is a plain file name that Windows accepts in a folder: no
// separators, wildcards or control characters, no device name such as CON or NUL, and not longer
// than a file system holds.
[[nodiscard]] bool IsValidModTitle(std::string_view title);

// Writes "<definitionFolder>\<title>.vtl" as one step, replacing an existing definition of that name,
// with the own-user-data line when `ownUserData`. An empty title shows the missing-name message; any
// failure returns false and leaves the earlier definition and every other file as they were.
bool WriteModDefinition(TextFiles& files, Messages& messages, std::string_view definitionFolder,
                        std::string_view title, std::string_view location,
                        std::span<const std::string> sources, std::span<const std::string> destinations,
                        bool ownUserData);

} // namespace vantrel
