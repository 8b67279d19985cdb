// Shortcuts that play one mod without windows, `vantrel -SILENT <name>`, from the desktop or the
// system's list of applications.
#pragma once

#include <string>

namespace vantrel {

// What a shortcut plays: the name silent mode takes (the definition's file name without ".vtl", which
// the mod list may show shortened) and the definition file itself, which tells apart mods of one name
// kept in different folders or machines.
struct ShortcutTarget {
    std::string name;
    std::string definitionFile;

    friend bool operator==(const ShortcutTarget&, const ShortcutTarget&) = default;
};

class Shortcuts {
public:
    Shortcuts() = default;
    Shortcuts(const Shortcuts&) = delete;
    Shortcuts& operator=(const Shortcuts&) = delete;
    virtual ~Shortcuts() = default;

    // Writes the shortcut, replacing the one made before for the same mod; false, with nothing
    // changed, when it cannot.
    [[nodiscard]] virtual bool Create(const ShortcutTarget& target) = 0;
    // Removes the shortcut made for the mod; true when there is none.
    [[nodiscard]] virtual bool Remove(const ShortcutTarget& target) = 0;
    // Where the shortcut for the mod goes, as the system shows paths.
    [[nodiscard]] virtual std::string PathOf(const ShortcutTarget& target) = 0;
    // Why the last Create or Remove failed: the path and the system's reason.
    [[nodiscard]] virtual std::string LastError() = 0;
};

} // namespace vantrel
