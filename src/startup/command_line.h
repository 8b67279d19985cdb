// Tells silent mode from interactive mode by the command line.
#pragma once

#include <string>
#include <string_view>

namespace vantrel {

inline constexpr std::string_view kSilentSwitch = "-SILENT";
inline constexpr std::string_view kSetAsideJournalSwitch = "--set-aside-journal";

// True when the command line is the switch that sets aside a launch journal, and nothing else.
[[nodiscard]] bool AsksToSetAsideJournal(std::string_view argumentText);

// True when the command line holds the silent switch in any letter case anywhere.
[[nodiscard]] bool AsksForSilentMode(std::string_view argumentText);

// The definition path that silent mode reads when the command line holds the switch in any letter
// case anywhere: the definition folder, "\", the text from its 9th character on (the switch and one
// blank are expected first) as it stands, and ".vtl". The empty string means interactive mode.
[[nodiscard]] std::string SilentModFileFromCommandLine(std::string_view definitionFolder,
                                                       std::string_view argumentText);

} // namespace vantrel
