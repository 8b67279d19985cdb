#include "discovery/proton_tool.h"

#include "platform/case_fold.h"
#include "discovery/key_values.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {
namespace {

// A player's config.vdf holds every account's settings; a few megabytes at most.
constexpr std::size_t kConfigLimit = 16 << 20;
constexpr std::size_t kSmallFileLimit = 1 << 20;
constexpr std::string_view kLauncher = "proton";

// The entry at the end of `path` below the top-level entries; nullptr when one is missing.
const KeyValue* Below(const std::vector<KeyValue>& top, std::initializer_list<std::string_view> path) {
    if (path.size() == 0) {
        return nullptr;
    }
    const KeyValue* entry = FindBlock(top, *path.begin());
    for (auto name = path.begin() + 1; entry && name != path.end(); ++name) {
        entry = entry->Find(*name);
    }
    return entry;
}

class ProtonFinder {
public:
    ProtonFinder(const Installations& found, GameFiles& files) : found_(found), files_(files) {
        for (const auto& folder : found.steamFolders) {
            const auto text = files_.ReadSmallFile(folder + "\\config\\config.vdf", kConfigLimit);
            // The first Steam that keeps its settings is the one that runs the games.
            if (text) {
                steamFolder_ = folder;
                mapping_ = ParseKeyValues(*text);
                break;
            }
        }
        if (steamFolder_.empty() && !found.steamFolders.empty()) {
            steamFolder_ = found.steamFolders.front();
        }
    }

    ProtonRun For(const GameInstall& game) {
        ProtonRun run{game.folder, game.steamAppId, {}, {}, steamFolder_, {}};
        const std::string noProton = "no Proton found for app " + game.steamAppId + "; ";
        if (!IsDecimalNumber(game.steamAppId)) {
            run.failure = "Steam's manifest gives the game no app id";
            return run;
        }
        if (steamFolder_.empty()) {
            run.failure = noProton + "Steam's own folder was not found";
            return run;
        }
        run.compatData = CompatDataFolder(game);
        const std::string mapped = MappedTool(game.steamAppId);
        if (auto proton = mapped.empty() ? std::nullopt : Tool(mapped)) {
            run.proton = std::move(*proton);
        } else if (auto lastRan = FromConfigInfo(run.compatData)) {
            run.proton = std::move(*lastRan);
        } else if (const std::string fallback = MappedTool("0");
                   !fallback.empty() && (proton = Tool(fallback))) {
            run.proton = std::move(*proton);
        } else {
            run.failure =
                noProton +
                (mapped.empty() ? "Steam names no tool for it in " + steamFolder_ + "\\config\\config.vdf"
                                : "the tool Steam names for it, \"" + mapped + "\", is not installed") +
                ", and its prefix's config_info names no Proton that is there: start the game once from "
                "Steam, or set WINE to the program that runs it";
        }
        return run;
    }

private:
    // The tool's name for the app in CompatToolMapping; empty when there is none.
    std::string MappedTool(std::string_view appId) const {
        const KeyValue* mapping =
            Below(mapping_, {"InstallConfigStore", "Software", "Valve", "Steam", "CompatToolMapping", appId});
        return mapping ? std::string(mapping->Text("name")) : std::string();
    }

    // The launcher in `folder`, when it is there.
    std::optional<std::string> LauncherIn(const std::string& folder) {
        std::string launcher = folder + "\\" + std::string(kLauncher);
        return files_.FileExists(launcher) ? std::optional(std::move(launcher)) : std::nullopt;
    }

    std::optional<std::string> Tool(const std::string& name) {
        if (auto custom = CustomTool(name)) {
            return custom;
        }
        const std::string folder = ValveFolderName(name);
        return folder.empty() ? std::nullopt : ValveTool(folder);
    }

    // A tool that compatibilitytools.d declares under its internal name.
    std::optional<std::string> CustomTool(const std::string& name) {
        for (const auto& steam : found_.steamFolders) {
            const std::string tools = steam + "\\compatibilitytools.d";
            std::vector<std::string> folders = files_.FolderNames(tools);
            std::sort(folders.begin(), folders.end());
            for (const auto& folder : folders) {
                const std::string own = tools + "\\" + folder;
                const auto text = files_.ReadSmallFile(own + "\\compatibilitytool.vdf", kSmallFileLimit);
                const std::vector<KeyValue> entries = text ? ParseKeyValues(*text) : std::vector<KeyValue>();
                const KeyValue* declared = Below(entries, {"compatibilitytools", "compat_tools", name});
                if (!declared || !declared->isBlock) {
                    continue;
                }
                std::string install(declared->Text("install_path"));
                std::optional<std::string> where;
                if (install.empty() || install == "." || install == "./") {
                    where = own;
                } else if (install.starts_with('/')) {
                    where = files_.MachinePath(install);
                } else if (install.find("..") == std::string::npos &&
                           install.find(':') == std::string::npos) {
                    std::replace(install.begin(), install.end(), '/', '\\');
                    where = own + "\\" + install;
                }
                if (auto launcher = where ? LauncherIn(*where) : std::nullopt) {
                    return launcher;
                }
            }
        }
        return std::nullopt;
    }

    // The tool folder a full path inside one names: the folder right below a library's
    // steamapps\common or a compatibilitytools.d, as Steam installs tools; empty for a path elsewhere,
    // so that no "proton" met anywhere else on the path is ever run.
    static std::string ToolFolderOf(std::string_view path) {
        const bool full = path.starts_with('/') || (path.size() > 2 && path[1] == ':' && path[2] == '\\');
        std::vector<std::string_view> parts;
        for (std::size_t start = 0; full && start <= path.size();) {
            const std::size_t end = std::min(path.find_first_of("/\\", start), path.size());
            parts.push_back(path.substr(start, end - start));
            start = end + 1;
        }
        if (std::find(parts.begin(), parts.end(), "..") != parts.end()) {
            return {};
        }
        // The last such place: a tool's own files hold none, but a library may lie inside another's.
        for (std::size_t tool = parts.size(); tool-- > 1;) {
            const bool inTools = EqualsIgnoringCase(parts[tool - 1], "compatibilitytools.d") ||
                                 (tool > 1 && EqualsIgnoringCase(parts[tool - 2], "steamapps") &&
                                  EqualsIgnoringCase(parts[tool - 1], "common"));
            if (inTools) {
                const std::string_view name = parts[tool];
                return name.empty() || name == "."
                           ? std::string()
                           : std::string(path.substr(0, name.data() + name.size() - path.data()));
            }
        }
        return {};
    }

    // The folder name Valve installs a tool of that name under; empty for a name of no such tool.
    static std::string ValveFolderName(std::string_view name) {
        if (EqualsIgnoringCase(name, "proton_experimental")) {
            return "Proton - Experimental";
        }
        if (EqualsIgnoringCase(name, "proton_hotfix")) {
            return "Proton Hotfix";
        }
        constexpr std::string_view kPrefix = "proton_";
        if (name.size() <= kPrefix.size() || !EqualsIgnoringCase(name.substr(0, kPrefix.size()), kPrefix) ||
            !IsDecimalNumber(name.substr(kPrefix.size()))) {
            return {};
        }
        // From 7 on a tool is named by its major version alone; before, by its digits run together
        // ("proton_63" is 6.3, "proton_513" 5.13).
        const std::string digits(name.substr(kPrefix.size()));
        if (digits.size() <= 2 && std::stoi(digits) < 30) {
            return "Proton " + std::to_string(std::stoi(digits)) + ".0";
        }
        return "Proton " + digits.substr(0, 1) + "." + digits.substr(1);
    }

    // Valve's tool in a library: the folder of that name, or one that adds a note such as " (Beta)".
    std::optional<std::string> ValveTool(const std::string& folderName) {
        for (const auto& library : found_.steamLibraries) {
            const std::string common = library + "\\steamapps\\common";
            std::vector<std::string> folders = files_.FolderNames(common);
            std::sort(folders.begin(), folders.end());
            for (const auto& folder : folders) {
                if (!EqualsIgnoringCase(folder, folderName) &&
                    !(folder.size() > folderName.size() && folder[folderName.size()] == ' ' &&
                      EqualsIgnoringCase(folder.substr(0, folderName.size()), folderName))) {
                    continue;
                }
                if (auto launcher = LauncherIn(common + "\\" + folder)) {
                    return launcher;
                }
            }
        }
        return std::nullopt;
    }

    // The Proton that last set the prefix up: its later lines are paths inside Proton's folder
    // ("<folder>/files/share/fonts/"), its first the prefix's version ("9.0-105").
    std::optional<std::string> FromConfigInfo(const std::string& compatData) {
        const auto text = files_.ReadSmallFile(compatData + "\\config_info", kSmallFileLimit);
        if (!text) {
            return std::nullopt;
        }
        std::vector<std::string> lines;
        for (std::size_t start = 0; start < text->size();) {
            std::size_t end = text->find('\n', start);
            end = end == std::string::npos ? text->size() : end;
            std::string line = text->substr(start, end - start);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(std::move(line));
            start = end + 1;
        }
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::string folder = ToolFolderOf(lines[i]);
            const auto machineFolder = folder.empty() ? std::nullopt : files_.MachinePath(folder);
            if (auto launcher = machineFolder ? LauncherIn(*machineFolder) : std::nullopt) {
                return launcher;
            }
        }
        if (!lines.empty()) {
            const std::string version = lines.front().substr(0, lines.front().find('-'));
            if (!version.empty() && version.find_first_not_of("0123456789.") == std::string::npos) {
                return ValveTool("Proton " + version);
            }
        }
        return std::nullopt;
    }

    const Installations& found_;
    GameFiles& files_;
    std::string steamFolder_;
    std::vector<KeyValue> mapping_;
};

} // namespace

std::vector<ProtonRun> ProtonRunsFor(const Installations& found, GameFiles& files) {
    std::vector<ProtonRun> runs;
    std::optional<ProtonFinder> finder; // Steam's settings are read only for a game that needs them
    for (const GameInstall* game : {&found.generals, &found.zeroHour}) {
        if (FromTheSystemsSteam(found, *game)) {
            if (!finder) {
                finder.emplace(found, files);
            }
            runs.push_back(finder->For(*game));
        }
    }
    return runs;
}

} // namespace vantrel
