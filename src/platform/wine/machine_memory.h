// What the launcher keeps of the Wine prefixes between starts, in the user's own folders: the one the
// player chose, and whether each prefix held the games when its registry was last as it is now.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

struct MachineMemoryFiles {
    std::string choice; // $XDG_CONFIG_HOME/vantrel/machine: the chosen prefix's folder
    std::string holds;  // $XDG_CACHE_HOME/vantrel/machines: a line per prefix looked into
};

// The files under the XDG folders as they are set now (a relative value is ignored, as the rules say);
// empty without a home folder, when nothing is kept.
[[nodiscard]] MachineMemoryFiles MachineMemoryFilesFromEnvironment();

// The prefix folder the file names; empty when there is none.
[[nodiscard]] std::string ReadChosenMachine(const std::string& file);
// Replaces the file's choice at once (a reader sees the old one or the new one); false on failure.
[[nodiscard]] bool WriteChosenMachine(const std::string& file, std::string_view prefix);

// What the holds file says, read once: a start asks it of every prefix.
class HoldsRecords {
public:
    explicit HoldsRecords(std::string file);

    [[nodiscard]] const std::string& File() const { return file_; }

    // Whether the prefix held the games when its registry files were last as they are now; nullopt
    // when not recorded or changed since.
    [[nodiscard]] std::optional<bool> Find(std::string_view prefix);
    // Records it in the file, replacing what it said of that prefix and dropping the prefixes that are
    // gone; a failure only costs a look next time. The registry files are taken as Find last saw them:
    // a change while the prefix was looked into is looked at again next time.
    void Record(std::string_view prefix, bool holds);

private:
    std::string file_;
    std::string text_;
    std::map<std::string, std::string, std::less<>> seen_; // the registry files as Find saw them
};

} // namespace vantrel
