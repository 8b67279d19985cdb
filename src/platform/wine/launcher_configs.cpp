#include "platform/wine/launcher_configs.h"

#include "platform/wine/host_files.h"

#include <algorithm>
#include <cstdint>
#include <dirent.h>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vantrel {
namespace {

constexpr std::size_t kMaxConfigSize = 1024 * 1024;
// More entries than a launcher makes: the rest of such a folder is not read.
constexpr std::size_t kMaxEntries = 4096;

// A configuration file's text; nullopt when it is missing, not a regular file or too large.
std::optional<std::string> ReadConfig(const std::string& path) {
    return ReadSmallHostFile(path, kMaxConfigSize);
}

// The names in a folder that end in `suffix`, hidden ones left out, sorted so that the order does not
// hang on the file system's.
std::vector<std::string> Names(const std::string& folder, std::string_view suffix) {
    std::vector<std::string> names;
    const UniqueDir dir(opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (IsHiddenName(name) || name.size() <= suffix.size() || !name.ends_with(suffix)) {
            continue;
        }
        if (names.size() >= kMaxEntries) {
            break;
        }
        names.emplace_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The wine a configuration names when it is there; Proton's two layouts stand in for each other, and a
// runner's bin/wine for a Proton one's (Bottles installs Protons as runners). "" when none is there.
std::string ExistingWine(const std::string& wine) {
    if (wine.empty()) {
        return {};
    }
    std::vector<std::string> candidates{wine};
    const auto root = [&](std::string_view tail) { return wine.substr(0, wine.size() - tail.size()); };
    if (wine.ends_with("/files/bin/wine")) {
        candidates.push_back(root("/files/bin/wine") + "/dist/bin/wine");
    } else if (wine.ends_with("/dist/bin/wine")) {
        candidates.push_back(root("/dist/bin/wine") + "/files/bin/wine");
    } else if (wine.ends_with("/bin/wine")) {
        candidates.push_back(root("/bin/wine") + "/files/bin/wine");
        candidates.push_back(root("/bin/wine") + "/dist/bin/wine");
    }
    const auto found = std::find_if(candidates.begin(), candidates.end(), IsExecutableFile);
    return found == candidates.end() ? std::string() : *found;
}

class Collector {
public:
    explicit Collector(std::string home) : home_(std::move(home)) {}

    void Lutris(const std::string& folder, const std::string& runners) {
        const std::string version =
            LutrisDefaultWineVersion(ReadConfig(folder + "/runners/wine.yml").value_or(""));
        for (const std::string& name : Names(folder + "/games", ".yml")) {
            if (const std::optional<std::string> text = ReadConfig(folder + "/games/" + name)) {
                Add(LutrisGamePrefix(*text, name, runners, version, home_));
            }
        }
    }

    void Bottles(const std::string& base) {
        for (const std::string& name : Names(base + "/bottles", "")) {
            std::string folder = base + "/bottles/" + name;
            // Bottles reads a placeholder first: the bottle is where it points.
            if (const std::optional<std::string> placeholder = ReadConfig(folder + "/placeholder.yml")) {
                folder = BottlePlaceholderFolder(*placeholder);
                if (folder.empty()) {
                    continue;
                }
            }
            if (const std::optional<std::string> text = ReadConfig(folder + "/bottle.yml")) {
                Add(BottlePrefix(*text, folder, base + "/runners"));
            }
        }
    }

    void Heroic(const std::string& gamesConfig) {
        for (const std::string& name : Names(gamesConfig, ".json")) {
            if (const std::optional<std::string> text = ReadConfig(gamesConfig + "/" + name)) {
                for (LauncherPrefix& found : HeroicPrefixes(*text, name, home_)) {
                    Add(std::move(found));
                }
            }
        }
    }

    std::vector<LauncherPrefix> Take() { return std::move(prefixes_); }

private:
    void Add(std::optional<LauncherPrefix> found) {
        if (!found) {
            return;
        }
        struct stat folder {};
        struct stat registry {};
        if (stat(found->prefix.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode) ||
            stat((found->prefix + "/system.reg").c_str(), &registry) != 0 || !S_ISREG(registry.st_mode)) {
            return;
        }
        if (!seen_
                 .emplace(static_cast<std::uint64_t>(folder.st_dev),
                          static_cast<std::uint64_t>(folder.st_ino))
                 .second) {
            return;
        }
        found->wine = ExistingWine(found->wine);
        prefixes_.push_back(std::move(*found));
    }

    std::string home_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_; // device and inode of each prefix taken
    std::vector<LauncherPrefix> prefixes_;
};

} // namespace

LauncherHomes LauncherHomesFromEnvironment() {
    return {UserHomeFolder(), XdgBaseDirectory("XDG_CONFIG_HOME", "/.config"),
            XdgBaseDirectory("XDG_DATA_HOME", "/.local/share")};
}

std::vector<LauncherPrefix> FindLauncherPrefixes(const LauncherHomes& homes) {
    // A relative folder would be looked for below whatever the current folder is.
    const auto usable = [](const std::string& folder) { return folder.starts_with('/'); };
    const bool home = usable(homes.home);
    const bool config = usable(homes.configHome);
    const bool data = usable(homes.dataHome);
    const std::string apps = homes.home + "/.var/app/";
    Collector found(home ? homes.home : std::string());

    const std::string lutrisRunners = data ? homes.dataHome + "/lutris/runners/wine" : std::string();
    if (config) {
        found.Lutris(homes.configHome + "/lutris", lutrisRunners);
    }
    if (data) {
        found.Lutris(homes.dataHome + "/lutris", lutrisRunners);
    }
    if (home) {
        found.Lutris(apps + "net.lutris.Lutris/config/lutris",
                     apps + "net.lutris.Lutris/data/lutris/runners/wine");
        found.Lutris(apps + "net.lutris.Lutris/data/lutris",
                     apps + "net.lutris.Lutris/data/lutris/runners/wine");
    }
    if (data) {
        found.Bottles(homes.dataHome + "/bottles");
    }
    if (home) {
        found.Bottles(apps + "com.usebottles.bottles/data/bottles");
    }
    if (config) {
        found.Heroic(homes.configHome + "/heroic/GamesConfig");
    }
    if (home) {
        found.Heroic(apps + "com.heroicgameslauncher.hgl/config/heroic/GamesConfig");
    }
    return found.Take();
}

} // namespace vantrel
