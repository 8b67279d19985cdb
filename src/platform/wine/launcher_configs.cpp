#include "platform/wine/launcher_configs.h"

#include "platform/wine/host_files.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vantrel {
namespace {

constexpr std::uint64_t kMaxConfigSize = 1024 * 1024;
// More entries than a launcher makes: the rest of such a folder is not read.
constexpr std::size_t kMaxEntries = 4096;

std::string Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// A configuration file's text; nullopt when it is missing, not a regular file or too large. Opened
// without blocking, so that a FIFO in its place cannot hold the start-up.
std::optional<std::string> ReadConfig(const std::string& path) {
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {};
    if (!fd.Valid() || fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<std::uint64_t>(info.st_size) > kMaxConfigSize) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    const std::optional<std::size_t> got = ReadUpTo(fd.Get(), text.data(), text.size());
    if (!got) {
        return std::nullopt;
    }
    text.resize(*got);
    return text;
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
    LauncherHomes homes;
    homes.home = Variable("HOME");
    if (homes.home.empty()) {
        if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
            homes.home = user->pw_dir;
        }
    }
    const auto base = [&homes](const char* variable, const char* underHome) {
        std::string value = Variable(variable);
        if (value.starts_with('/')) {
            return value;
        }
        return homes.home.empty() ? std::string() : homes.home + underHome;
    };
    homes.configHome = base("XDG_CONFIG_HOME", "/.config");
    homes.dataHome = base("XDG_DATA_HOME", "/.local/share");
    return homes;
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
