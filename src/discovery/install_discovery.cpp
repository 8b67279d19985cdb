#include "discovery/install_discovery.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "platform/case_fold.h"
#include "platform/windows_paths.h"
#include "discovery/key_values.h"

namespace vantrel {
namespace {

// Steam's own files are a few kilobytes; a larger one is not one of them.
constexpr std::size_t kSteamFileLimit = 1 << 20;

std::string WithoutTrailingSeparators(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 1 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
    const auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                   [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
    return found != text.end() || word.empty();
}

void AddOnce(std::vector<std::string>& folders, std::string folder) {
    if (folder.empty()) {
        return;
    }
    for (const auto& known : folders) {
        if (EqualsIgnoringCase(known, folder)) {
            return;
        }
    }
    folders.push_back(std::move(folder));
}

struct Place {
    RegistryQuery query;
    std::string_view source;
};

// Where the releases that record themselves in the registry put a game, in order of preference; the
// disc release's own first place is read before these.
std::vector<Place> RegistryPlaces(std::string_view discKey, std::string_view eaAppKey,
                                  std::string_view firstDecadeValue = {}) {
    std::vector<Place> places;
    const auto add = [&](RegistryRoot root, RegistryView view, std::string_view key, std::string_view value,
                         std::string_view source) {
        places.push_back({{root, view, std::string(key), std::string(value)}, source});
    };
    add(RegistryRoot::LocalMachine, RegistryView::Bits64, discKey, kInstallPathValue, kDiscSource);
    add(RegistryRoot::CurrentUser, RegistryView::Bits32, discKey, kInstallPathValue, kDiscSource);
    add(RegistryRoot::CurrentUser, RegistryView::Bits64, discKey, kInstallPathValue, kDiscSource);
    for (const auto root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
        for (const auto view : {RegistryView::Bits32, RegistryView::Bits64}) {
            add(root, view, eaAppKey, kEaAppValue, kEaAppSource);
        }
    }
    if (!firstDecadeValue.empty()) {
        for (const auto root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
            for (const auto view : {RegistryView::Bits32, RegistryView::Bits64}) {
                add(root, view, kFirstDecadeKey, firstDecadeValue, kFirstDecadeSource);
            }
        }
    }
    return places;
}

std::vector<RegistryQuery> SteamFolderQueries() {
    return {{RegistryRoot::CurrentUser, RegistryView::Bits32, "Software\\Valve\\Steam", "SteamPath"},
            {RegistryRoot::LocalMachine, RegistryView::Bits32, "SOFTWARE\\Valve\\Steam", "InstallPath"},
            {RegistryRoot::LocalMachine, RegistryView::Bits64, "SOFTWARE\\Valve\\Steam", "InstallPath"}};
}

// The libraries a Steam folder's libraryfolders.vdf lists: "path" in each numbered block, or the
// numbered values themselves in the older form.
std::vector<std::string> ListedLibraries(GameFiles& files, const std::string& steamFolder) {
    std::vector<std::string> paths;
    const auto text = files.ReadSmallFile(steamFolder + "\\steamapps\\libraryfolders.vdf", kSteamFileLimit);
    if (!text) {
        return paths;
    }
    for (const auto& top : ParseKeyValues(*text)) {
        if (!top.isBlock || !EqualsIgnoringCase(top.key, "libraryfolders")) {
            continue;
        }
        for (const auto& entry : top.children) {
            if (!IsDecimalNumber(entry.key)) {
                continue;
            }
            const std::string_view path = entry.isBlock ? entry.Text("path") : std::string_view(entry.value);
            if (!path.empty()) {
                if (auto machinePath = files.MachinePath(path)) {
                    paths.push_back(WithoutTrailingSeparators(std::move(*machinePath)));
                }
            }
        }
    }
    return paths;
}

// The games among a library's installed apps, told apart by the names their manifests give them
// ("Command & Conquer Generals", "... Generals Zero Hour") and checked by the program in their folders.
// Zero Hour's app id alone is known; the names decide for both, so that no id is taken on trust.
void FindInLibrary(GameFiles& files, const std::string& library, Installations& found) {
    const std::string steamapps = library + "\\steamapps";
    std::vector<std::string> manifests = files.FileNames(steamapps, "appmanifest_", ".acf");
    std::sort(manifests.begin(), manifests.end());
    for (const auto& manifest : manifests) {
        if (!found.generals.folder.empty() && !found.zeroHour.folder.empty()) {
            return;
        }
        const auto text = files.ReadSmallFile(steamapps + "\\" + manifest, kSteamFileLimit);
        // Most of a library is other games: their manifests are passed over without parsing, by a
        // search the library's own string search makes fast.
        if (!text || (text->find("enerals") == std::string::npos && text->find("ENERALS") == std::string::npos)) {
            continue;
        }
        const auto entries = ParseKeyValues(*text);
        const KeyValue* app = FindBlock(entries, "AppState");
        if (!app) {
            continue;
        }
        const std::string_view name = app->Text("name");
        const std::string_view installDir = app->Text("installdir");
        if (!ContainsIgnoringCase(name, "Conquer") || !ContainsIgnoringCase(name, "Generals") ||
            !IsPlainName(installDir)) {
            continue;
        }
        GameInstall& game = ContainsIgnoringCase(name, "Zero Hour") ? found.zeroHour : found.generals;
        if (!game.folder.empty()) {
            continue;
        }
        const std::string folder = steamapps + "\\common\\" + std::string(installDir) + "\\";
        if (files.FileExists(folder + std::string(kGameProgram))) {
            game = {folder, std::string(kSteamSource), library, std::string(app->Text("appid"))};
        }
    }
}

// Without `systemSteam`, only the Steam the machine's registry names is looked into: the system's is
// already in `found`.
void FindInSteam(GameFiles& files, std::span<const std::optional<std::string>> registered, Installations& found,
                 bool systemSteam = true) {
    std::vector<std::string> steamFolders = systemSteam ? files.SteamFolders() : std::vector<std::string>();
    const std::size_t ofTheSystem = steamFolders.size(); // the rest come from the machine's registry
    for (const auto& folder : registered) {
        if (folder) {
            AddOnce(steamFolders, WithoutTrailingSeparators(*folder));
        }
    }
    const std::size_t known = found.steamLibraries.size();
    for (std::size_t i = 0; i < steamFolders.size(); ++i) {
        const std::string steam = WithoutTrailingSeparators(steamFolders[i]);
        AddOnce(found.steamFolders, steam);
        auto libraries = ListedLibraries(files, steam);
        libraries.insert(libraries.begin(), steam);
        for (auto& library : libraries) {
            if (i < ofTheSystem) {
                AddOnce(found.protonLibraries, library);
            }
            AddOnce(found.steamLibraries, std::move(library));
        }
    }
    for (std::size_t i = known; i < found.steamLibraries.size(); ++i) {
        FindInLibrary(files, found.steamLibraries[i], found);
    }
}

} // namespace

std::string AsFolder(std::string text) {
    if (!text.empty() && text.back() != '\\') {
        text.push_back('\\');
    }
    return text;
}

std::string ReadInstallFolder(Registry& registry, std::string_view key) {
    return registry.ReadMachineString(key, kInstallPathValue).value_or(std::string());
}

Installations FindInstallations(Registry& registry, GameFiles* files, const Installations* steam) {
    Installations found;
    const auto fromDisc = [&](std::string_view key) {
        std::string folder = AsFolder(ReadInstallFolder(registry, key));
        return folder.empty() ? GameInstall{} : GameInstall{std::move(folder), std::string(kDiscSource), {}, {}};
    };
    found.generals = fromDisc(kGeneralsKey);
    found.zeroHour = fromDisc(kZeroHourKey);
    if (!files || (!found.generals.folder.empty() && !found.zeroHour.folder.empty())) {
        return found;
    }

    // Everything else the registry may tell is asked at once: one pass over a prefix's files.
    const std::array games{std::pair{&found.generals, RegistryPlaces(kGeneralsKey, kEaAppGeneralsKey)},
                           std::pair{&found.zeroHour, RegistryPlaces(kZeroHourKey, kEaAppZeroHourKey, kFirstDecadeZeroHourValue)}};
    std::vector<RegistryQuery> queries = SteamFolderQueries();
    const std::size_t steamQueries = queries.size();
    for (const auto& [game, places] : games) {
        for (const auto& place : places) {
            queries.push_back(place.query);
        }
    }
    const auto answers = registry.ReadStrings(queries);
    std::size_t next = steamQueries;
    for (const auto& [game, places] : games) {
        for (const auto& place : places) {
            const auto& answer = answers[next++];
            if (game->folder.empty() && answer && !answer->empty()) {
                std::string folder = AsFolder(*answer);
                if (files->FileExists(folder + std::string(kGameProgram))) {
                    *game = {std::move(folder), std::string(place.source), {}, {}};
                }
            }
        }
    }
    if (steam) {
        found.steamLibraries = steam->steamLibraries;
        found.steamFolders = steam->steamFolders;
        found.protonLibraries = steam->protonLibraries;
        // A Steam installed on this machine is its own, and comes before the system's.
        if (found.generals.folder.empty() || found.zeroHour.folder.empty()) {
            FindInSteam(*files, std::span(answers).first(steamQueries), found, false);
        }
        for (const auto& [game, known] : {std::pair{&found.generals, &steam->generals},
                                          std::pair{&found.zeroHour, &steam->zeroHour}}) {
            if (game->folder.empty() && !known->folder.empty() && known->source == kSteamSource) {
                *game = *known;
            }
        }
    } else if (found.generals.folder.empty() || found.zeroHour.folder.empty()) {
        FindInSteam(*files, std::span(answers).first(steamQueries), found);
    }
    return found;
}

void ApplyInstallations(const Installations& found, ProgramValues& values) {
    values.szGeneralsPath = found.generals.folder;
    values.szZeroHourPath = found.zeroHour.folder;
    values.generalsSource = found.generals.source;
    values.zeroHourSource = found.zeroHour.source;
    values.gameSearch = "Vantrel looked in the registry, where the disc and EA App releases record their folders";
    if (found.steamLibraries.empty()) {
        values.gameSearch += ", and found no Steam library.";
    } else {
        values.gameSearch += ", and in the Steam libraries";
        for (std::size_t i = 0; i < found.steamLibraries.size(); ++i) {
            values.gameSearch += (i == 0 ? " " : ", ") + found.steamLibraries[i];
        }
        values.gameSearch += ".";
    }
}

void DiscoverInstallFolders(Registry& registry, ProgramValues& values) {
    ApplyInstallations(FindInstallations(registry, nullptr), values);
}

Installations SteamFindsThere(const Installations& found,
                              const std::function<std::optional<std::string>(std::string_view)>& pathThere) {
    Installations there;
    for (const auto& [game, here] : {std::pair{&there.generals, &found.generals},
                                     std::pair{&there.zeroHour, &found.zeroHour}}) {
        if (here->source != kSteamSource) {
            continue;
        }
        auto folder = pathThere(here->folder);
        auto library = pathThere(here->steamLibrary);
        if (folder && library) {
            *game = {AsFolder(std::move(*folder)), here->source, std::move(*library), here->steamAppId};
        }
    }
    for (const auto& [to, from] : {std::pair{&there.steamLibraries, &found.steamLibraries},
                                   std::pair{&there.steamFolders, &found.steamFolders},
                                   std::pair{&there.protonLibraries, &found.protonLibraries}}) {
        for (const auto& path : *from) {
            if (auto mapped = pathThere(path)) {
                to->push_back(std::move(*mapped));
            }
        }
    }
    return there;
}

bool FromTheSystemsSteam(const Installations& found, const GameInstall& game) {
    return !game.folder.empty() && game.source == kSteamSource &&
           std::any_of(found.protonLibraries.begin(), found.protonLibraries.end(),
                       [&](const std::string& library) { return EqualsIgnoringCase(library, game.steamLibrary); });
}

bool HoldsOwnGame(const Installations& found) {
    const auto own = [&](const GameInstall& game) {
        return !game.folder.empty() && !FromTheSystemsSteam(found, game);
    };
    return own(found.generals) || own(found.zeroHour);
}

std::string ProtonPrefixToUse(const Installations& found, GameFiles& files) {
    const auto onMachine = [](const GameInstall& game) {
        return !game.folder.empty() && game.source != kSteamSource;
    };
    if (onMachine(found.generals) || onMachine(found.zeroHour)) {
        return {};
    }
    for (const GameInstall* game : {&found.zeroHour, &found.generals}) {
        if (game->folder.empty() || !IsDecimalNumber(game->steamAppId)) {
            continue;
        }
        const std::string prefix = CompatDataFolder(*game) + "\\pfx";
        if (files.FileExists(prefix + "\\system.reg")) {
            return prefix;
        }
    }
    return {};
}

} // namespace vantrel
