#include "discovery/launcher_prefixes.h"

#include "discovery/json_values.h"
#include "discovery/yaml_scalars.h"

#include <utility>

namespace vantrel {
namespace {

// An absolute host path from a configuration's text, without trailing slashes; "~" and "~/..." are taken
// below `home`. nullopt for an empty or relative path.
std::optional<std::string> HostPath(std::string_view path, std::string_view home) {
    std::string full;
    if (path == "~" || path.starts_with("~/")) {
        if (!home.starts_with('/')) {
            return std::nullopt;
        }
        full = home;
        while (full.size() > 1 && full.back() == '/') {
            full.pop_back();
        }
        full += path.substr(full == "/" && path.size() > 1 ? 2 : 1);
    } else if (path.starts_with('/')) {
        full = path;
    } else {
        return std::nullopt;
    }
    while (full.size() > 1 && full.back() == '/') {
        full.pop_back();
    }
    return full;
}

std::string_view LastPart(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A name that stays one folder below the one it is joined to.
bool IsFolderName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

bool EqualsAsciiIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// "command-and-conquer-generals-1689012345.yml" reads "Command And Conquer Generals".
std::string ReadableSlug(std::string_view fileName) {
    std::string_view slug = LastPart(fileName);
    if (slug.ends_with(".yml")) {
        slug.remove_suffix(4);
    }
    // Lutris adds the time the configuration was made, to tell apart two installs of a game.
    const std::size_t dash = slug.rfind('-');
    if (dash != std::string_view::npos && dash > 0 && dash + 1 < slug.size() &&
        slug.find_first_not_of("0123456789", dash + 1) == std::string_view::npos) {
        slug = slug.substr(0, dash);
    }
    std::string title;
    bool wordStart = true;
    for (const char c : slug) {
        if (c == '-' || c == '_') {
            title += ' ';
            wordStart = true;
            continue;
        }
        title += wordStart && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        wordStart = false;
    }
    return title;
}

std::string LutrisWine(std::string_view version, std::string_view customPath, std::string_view runnersFolder,
                       std::string_view home) {
    // The wines Lutris knows by name outside its runners folder.
    static constexpr std::pair<std::string_view, std::string_view> kFixed[] = {
        {"winehq-devel", "/opt/wine-devel/bin/wine"},
        {"winehq-staging", "/opt/wine-staging/bin/wine"},
        {"wine-development", "/usr/lib/wine-development/wine"},
    };
    if (version.empty() || version == "system") {
        return {};
    }
    for (const auto& [name, path] : kFixed) {
        if (version == name) {
            return std::string(path);
        }
    }
    if (version.starts_with("System ")) {
        const std::string_view folder = version.substr(7);
        return IsFolderName(folder) ? "/usr/lib/" + std::string(folder) + "/bin/wine" : std::string();
    }
    if (version == "custom") {
        return HostPath(customPath, home).value_or(std::string());
    }
    // Lutris's own test: its lutris-GE-Proton builds are plain runners, other Protons go through umu.
    const bool proton =
        version.find("Proton") != std::string_view::npos && version.find("lutris") == std::string_view::npos;
    const std::optional<std::string> runners = HostPath(runnersFolder, home);
    if (proton || !IsFolderName(version) || !runners) {
        return {};
    }
    return *runners + "/" + std::string(version) + "/bin/wine";
}

} // namespace

std::optional<LauncherPrefix> LutrisGamePrefix(std::string_view yaml, std::string_view fileName,
                                               std::string_view runnersFolder,
                                               std::string_view defaultVersion, std::string_view home) {
    const std::vector<YamlScalar> scalars = ReadYamlScalars(yaml);
    std::optional<std::string> prefix = HostPath(YamlText(FindYamlScalar(scalars, {"game", "prefix"})), home);
    if (!prefix) {
        return std::nullopt;
    }
    const std::string_view name = YamlText(FindYamlScalar(scalars, {"name"}));
    std::string_view version = YamlText(FindYamlScalar(scalars, {"wine", "version"}));
    if (version.empty()) {
        version = defaultVersion;
    }
    return LauncherPrefix{std::string(kLutrisSource),
                          name.empty() ? ReadableSlug(fileName) : std::string(name), std::move(*prefix),
                          LutrisWine(version, YamlText(FindYamlScalar(scalars, {"wine", "custom_wine_path"})),
                                     runnersFolder, home)};
}

std::string LutrisDefaultWineVersion(std::string_view runnerYaml) {
    return std::string(YamlText(FindYamlScalar(ReadYamlScalars(runnerYaml), {"wine", "version"})));
}

std::optional<LauncherPrefix> BottlePrefix(std::string_view yaml, std::string_view bottleFolder,
                                           std::string_view runnersFolder) {
    const std::vector<YamlScalar> scalars = ReadYamlScalars(yaml);
    if (EqualsAsciiIgnoringCase(YamlText(FindYamlScalar(scalars, {"Environment"})), "Steam")) {
        return std::nullopt;
    }
    const std::optional<std::string> folder = HostPath(bottleFolder, {});
    const std::optional<std::string> prefix = YamlTruth(FindYamlScalar(scalars, {"Custom_Path"}))
                                                  ? HostPath(YamlText(FindYamlScalar(scalars, {"Path"})), {})
                                                  : folder;
    if (!prefix || !folder) {
        return std::nullopt;
    }
    LauncherPrefix found{
        std::string(kBottlesSource), std::string(YamlText(FindYamlScalar(scalars, {"Name"}))), *prefix, {}};
    if (found.title.empty()) {
        found.title = LastPart(*folder);
    }
    const std::string_view runner = YamlText(FindYamlScalar(scalars, {"Runner"}));
    const std::optional<std::string> runners = HostPath(runnersFolder, {});
    if (!runner.starts_with("sys-") && IsFolderName(runner) && runners) {
        found.wine = *runners + "/" + std::string(runner) + "/bin/wine";
    }
    return found;
}

std::string BottlePlaceholderFolder(std::string_view yaml) {
    return HostPath(YamlText(FindYamlScalar(ReadYamlScalars(yaml), {"Path"})), {}).value_or(std::string());
}

std::vector<LauncherPrefix> HeroicPrefixes(std::string_view json, std::string_view fileName,
                                           std::string_view home) {
    std::vector<LauncherPrefix> found;
    std::string_view appName = LastPart(fileName);
    if (!appName.ends_with(".json") || appName.size() == 5) {
        return found;
    }
    appName.remove_suffix(5);
    const std::optional<JsonValue> document = ParseJson(json);
    const JsonValue* settings = document ? document->Find(appName) : nullptr;
    if (settings == nullptr) {
        return found;
    }
    std::optional<std::string> prefix = HostPath(settings->Text("winePrefix"), home);
    const JsonValue* wine = settings->Find("wineVersion");
    const std::string_view type = wine != nullptr ? wine->Text("type") : std::string_view();
    if (!prefix || type == "crossover" || type == "toolkit") {
        return found;
    }
    LauncherPrefix entry{std::string(kHeroicSource), std::string(LastPart(*prefix)), std::move(*prefix), {}};
    if (entry.title.empty() || entry.title == "default") {
        entry.title = appName; // Heroic's shared prefix tells nothing of the game
    }
    const std::optional<std::string> bin = HostPath(wine != nullptr ? wine->Text("bin") : "", home);
    if (type == "proton") {
        entry.prefix += "/pfx";
        if (bin) {
            entry.wine = bin->substr(0, bin->rfind('/')) + "/files/bin/wine";
        }
    } else if (bin) {
        entry.wine = *bin;
    }
    found.push_back(std::move(entry));
    return found;
}

} // namespace vantrel
