#include "platform/wine/desktop_shortcuts.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/utf8.h"
#include "platform/wine/host_files.h"

namespace vantrel {
namespace {

// Characters that make the desktop entry rules quote an argument of Exec.
constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

// An entry holds UTF-8 text without control characters; tab, newline and return have escapes.
bool CanCarry(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size();) {
        const auto cp = DecodeUtf8(text, pos);
        if (!cp || ((*cp < 0x20 && *cp != '\t' && *cp != '\n' && *cp != '\r') || *cp == 0x7F)) {
            return false;
        }
    }
    return true;
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// Relative to the current folder, as the shortcut will run from elsewhere.
std::string Absolute(std::string path) {
    if (path.starts_with('/')) {
        return path;
    }
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) + "/" + path : path;
}

// Creates the folder and those above it that are missing, 0700 as the XDG base directory rules ask.
bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (stat(folder.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// A readable part of the mod's name and a hash of the machine and definition file: names that differ
// only in replaced characters, or one mod name in two prefixes, get entries of their own.
std::string EntryFileName(const DesktopShortcutSettings& settings, const ShortcutTarget& target) {
    std::string readable;
    for (const char c : target.name) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (kept) {
            readable.push_back(c);
        } else if (!readable.empty() && readable.back() != '-') {
            readable.push_back('-');
        }
        if (readable.size() == 48) {
            break;
        }
    }
    while (!readable.empty() && readable.back() == '-') {
        readable.pop_back();
    }
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    // A shortcut of each game has an entry of its own; one of none keeps the name it always had.
    for (const char c : settings.machine + '\n' + target.definitionFile + (target.game.empty() ? "" : "\n" + target.game)) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i, hash >>= 4) {
        hex[static_cast<std::size_t>(i)] = kHex[hash & 0xF];
    }
    return "vantrel-" + readable + (readable.empty() ? "" : "-") + hex + ".desktop";
}

} // namespace

std::string DesktopStringValue(std::string_view text) {
    std::string out;
    const std::size_t first = text.find_first_not_of(' ');
    const std::size_t last = text.find_last_not_of(' ');
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case ' ': out += i < first || first == std::string_view::npos || i > last ? "\\s" : " "; break;
        default: out.push_back(text[i]);
        }
    }
    return out;
}

std::string DesktopExecArgument(std::string_view argument) {
    const bool quoted = argument.empty() || argument.find_first_of(kReservedInExec) != std::string_view::npos ||
                        argument.find('\r') != std::string_view::npos;
    std::string out = quoted ? "\"" : "";
    for (const char c : argument) {
        if (c == '%') {
            out += "%%";
            continue;
        }
        if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return quoted ? out + "\"" : out;
}

std::string DesktopEntryText(const DesktopShortcutSettings& settings, const ShortcutTarget& target) {
    std::vector<std::string> arguments;
    if (!settings.environment.empty()) {
        // env takes every word with '=' before the program as another assignment.
        if (settings.program.find('=') != std::string::npos) {
            return {};
        }
        arguments.emplace_back("env");
        arguments.insert(arguments.end(), settings.environment.begin(), settings.environment.end());
    }
    arguments.push_back(settings.program);
    for (auto& argument : ShortcutArguments(target)) {
        arguments.push_back(std::move(argument));
    }
    std::string exec;
    for (const auto& argument : arguments) {
        if (!CanCarry(argument)) {
            return {};
        }
        exec += (exec.empty() ? "" : " ") + DesktopExecArgument(argument);
    }
    // The icon is installed under this name with the program, not by the shortcut.
    return "[Desktop Entry]\nType=Application\nName=" + DesktopStringValue(ShortcutTitle(target)) +
           "\nExec=" + DesktopStringValue(exec) + "\nIcon=" + std::string(kDesktopIconName) +
           "\nTerminal=false\nCategories=Game;\n";
}

DesktopShortcutSettings DesktopShortcuts::SettingsFromEnvironment(const WinePrefix& prefix,
                                                                  const std::optional<std::string>& chosenWine) {
    DesktopShortcutSettings settings;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    // The XDG base directory rules ignore a relative path there.
    const std::string data = dataHome && dataHome[0] == '/' ? dataHome : UserHomeFolder() + "/.local/share";
    settings.applicationsFolder = WithoutTrailingSlashes(data) + "/applications";
    settings.program = ExecutablePath();
    // The machine, the definitions, the journal and the Wine that runs the games, as this start
    // found them.
    for (const std::string name :
         {"WINEPREFIX", kPrefixWineVariable, "VANTREL_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "WINE"}) {
        const char* value = std::getenv(name.c_str());
        if (!value || !*value || (name.starts_with("XDG_") && value[0] != '/')) {
            continue;
        }
        // WINE may be a command name found through PATH; anything with a slash is a path.
        const std::string text = value;
        const bool isPath = name != "WINE" || text.find('/') != std::string::npos;
        settings.environment.push_back(name + "=" + (isPath ? Absolute(text) : text));
    }
    if (chosenWine) {
        std::erase_if(settings.environment, [](const std::string& entry) {
            return entry.starts_with("WINEPREFIX=") || entry.starts_with(std::string(kPrefixWineVariable) + "=");
        });
        settings.environment.insert(settings.environment.begin(), "WINEPREFIX=" + prefix.Root());
        if (!chosenWine->empty()) {
            settings.environment.insert(settings.environment.begin() + 1, kPrefixWineVariable + ("=" + *chosenWine));
        }
    }
    settings.machine = prefix.Root();
    return settings;
}

std::string DesktopShortcuts::PathOf(const ShortcutTarget& target) {
    return settings_.applicationsFolder + "/" + EntryFileName(settings_, target);
}

bool DesktopShortcuts::Create(const ShortcutTarget& target) {
    const std::string path = PathOf(target);
    const std::string text = DesktopEntryText(settings_, target);
    if (settings_.program.empty()) {
        lastError_ = path + ": the program's own path could not be found";
        return false;
    }
    if (text.empty()) {
        lastError_ = path + ": the mod's name or the program's path holds characters a desktop entry cannot carry";
        return false;
    }
    if (!MakeFolders(settings_.applicationsFolder)) {
        lastError_ = settings_.applicationsFolder + ": " + ErrorText(errno);
        return false;
    }
    // Written beside it and renamed over it: a menu never reads half an entry, and a failure leaves
    // the one before. The temporary name does not end in .desktop, so no menu lists it.
    std::string temporary = settings_.applicationsFolder + "/.vantrel-shortcut-XXXXXX";
    UniqueFd file(mkstemp(temporary.data()));
    if (!file.Valid()) {
        lastError_ = path + ": " + ErrorText(errno);
        return false;
    }
    const bool written = fchmod(file.Get(), 0644) == 0 && WriteAll(file.Get(), text) && fsync(file.Get()) == 0;
    const int error = errno;
    if (!written || !file.Close() || rename(temporary.c_str(), path.c_str()) != 0) {
        lastError_ = path + ": " + ErrorText(written ? errno : error);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool DesktopShortcuts::Remove(const ShortcutTarget& target) {
    const std::string path = PathOf(target);
    if (unlink(path.c_str()) != 0 && errno != ENOENT) {
        lastError_ = path + ": " + ErrorText(errno);
        return false;
    }
    return true;
}

} // namespace vantrel
