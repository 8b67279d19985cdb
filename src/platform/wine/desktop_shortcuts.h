// Shortcuts on Linux: desktop entries in the user's applications folder, which desktops and the
// Steam Deck's list of games show.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shortcuts.h"
#include "platform/wine/wine_prefix.h"

namespace vantrel {

// The icon name every entry shows; the install of the program puts Vantrel's icon under it.
inline constexpr std::string_view kDesktopIconName = "io.github.vantrel.Vantrel";

// The Wine build that runs the games of the prefix WINEPREFIX names, where another launcher made it
// with its own; unlike WINE, Steam's games still run through their Proton.
inline constexpr const char* kPrefixWineVariable = "VANTREL_PREFIX_WINE";

struct DesktopShortcutSettings {
    std::string applicationsFolder; // host folder the entries go in
    std::string program;            // absolute host path of the vantrel executable
    // NAME=value pairs the launch needs to find the same machine and definitions; they go into Exec
    // through env, in this order.
    std::vector<std::string> environment;
    std::string machine; // the Wine prefix's folder: part of each entry's file name
};

class DesktopShortcuts final : public Shortcuts {
public:
    explicit DesktopShortcuts(DesktopShortcutSettings settings) : settings_(std::move(settings)) {}

    // $XDG_DATA_HOME/applications (else ~/.local/share/applications), this executable, and
    // WINEPREFIX, VANTREL_PREFIX_WINE, VANTREL_HOME, XDG_DATA_HOME, XDG_STATE_HOME and WINE as they are
    // set now. `chosenWine`, for a prefix the program chose rather than the environment named: the
    // entries carry that prefix as WINEPREFIX, and that Wine build ("" for the system's) as
    // VANTREL_PREFIX_WINE.
    [[nodiscard]] static DesktopShortcutSettings SettingsFromEnvironment(
        const WinePrefix& prefix, const std::optional<std::string>& chosenWine = std::nullopt);

    [[nodiscard]] bool Create(const ShortcutTarget& target) override;
    [[nodiscard]] bool Remove(const ShortcutTarget& target) override;
    [[nodiscard]] std::string PathOf(const ShortcutTarget& target) override;
    [[nodiscard]] std::string LastError() override { return lastError_; }

private:
    DesktopShortcutSettings settings_;
    std::string lastError_;
};

// A value of type string or localestring as the desktop entry rules write it: backslash, newline,
// tab and return escaped, and blanks at either end written as \s so that the reader keeps them.
[[nodiscard]] std::string DesktopStringValue(std::string_view text);

// One argument of an Exec key, before the string escaping of the whole value: in double quotes
// when it is empty or holds a reserved character (with ", `, $ and \ escaped inside), and every %
// doubled.
[[nodiscard]] std::string DesktopExecArgument(std::string_view argument);

// The entry's whole text; empty when the name or a path holds what an entry cannot carry (control
// characters, text that is not UTF-8, a program path with '=' after env assignments).
[[nodiscard]] std::string DesktopEntryText(const DesktopShortcutSettings& settings, const ShortcutTarget& target);

} // namespace vantrel
