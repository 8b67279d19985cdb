// Finds the install folders of Generals and Zero Hour in the machine's registry.
#pragma once

#include <string>
#include <string_view>

#include "mods/program_values.h"
#include "platform/registry.h"

namespace vantrel {

inline constexpr std::string_view kGeneralsKey = "SOFTWARE\\Electronic Arts\\EA Games\\Generals";
inline constexpr std::string_view kZeroHourKey =
    "SOFTWARE\\Electronic Arts\\EA Games\\Command and Conquer Generals Zero Hour";
inline constexpr std::string_view kInstallPathValue = "InstallPath";

// The "InstallPath" text of the key as stored, or the empty string when the game is not found.
[[nodiscard]] std::string ReadInstallFolder(Registry& registry, std::string_view key);

// Sets szGeneralsPath, then szZeroHourPath.
void DiscoverInstallFolders(Registry& registry, ProgramValues& values);

} // namespace vantrel
