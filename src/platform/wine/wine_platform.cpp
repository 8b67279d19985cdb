#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/native_platform.h"
#include "discovery/launcher_prefixes.h"
#include "platform/wine/desktop_shortcuts.h"
#include "platform/wine/launcher_configs.h"
#include "platform/wine/machine_memory.h"
#include "platform/wine/wine_directory_listing.h"
#include "platform/wine/wine_disk_browser.h"
#include "platform/wine/wine_game_files.h"
#include "platform/wine/wine_import_files.h"
#include "platform/wine/wine_instance_guard.h"
#include "platform/wine/wine_launch_lock.h"
#include "platform/wine/wine_process_environment.h"
#include "platform/wine/wine_process_runner.h"
#include "platform/wine/wine_registry.h"
#include "platform/wine/wine_single_files.h"
#include "platform/wine/wine_swap_file_system.h"
#include "platform/wine/wine_text_files.h"

namespace vantrel {

NativePlatform::NativePlatform() = default;
NativePlatform::NativePlatform(NativePlatform&&) noexcept = default;
NativePlatform& NativePlatform::operator=(NativePlatform&&) noexcept = default;
NativePlatform::~NativePlatform() = default;

namespace {

// `wine`: the Wine build that runs the prefix's games when $WINE names none; empty for the system's.
// `carried`: shortcuts name the prefix and that Wine, for a machine the program chose rather than the
// one the environment names.
NativePlatform PlatformOf(std::shared_ptr<WinePrefix> prefix, std::vector<std::string> arguments,
                          const std::string& wine = {}, bool carried = false) {
    NativePlatform platform;
    platform.registry = std::make_unique<WineRegistry>(*prefix);
    platform.instanceGuard = std::make_unique<WineInstanceGuard>(WineInstanceGuard::DefaultLockPath());
    platform.environment = std::make_unique<WineProcessEnvironment>(*prefix, std::move(arguments));
    platform.directoryListing = std::make_unique<WineDirectoryListing>(*prefix);
    platform.textFiles = std::make_unique<WineTextFiles>(*prefix);
    platform.singleFiles = std::make_unique<WineSingleFiles>(*prefix);
    platform.swapFiles = std::make_unique<WineSwapFileSystem>(*prefix);
    platform.processRunner = std::make_unique<WineProcessRunner>(*prefix, wine);
    platform.diskBrowser = std::make_unique<WineDiskBrowser>(*prefix);
    platform.launchLock = std::make_unique<WineLaunchLock>(*prefix);
    platform.shortcuts = std::make_unique<DesktopShortcuts>(
        DesktopShortcuts::SettingsFromEnvironment(*prefix, carried ? std::optional(wine) : std::nullopt));
    platform.gameFiles = std::make_unique<WineGameFiles>(*prefix, WineGameFiles::HomeFromEnvironment());
    platform.importFiles = MakeWineImportFiles(*prefix);
    platform.machine = std::move(prefix);
    return platform;
}

} // namespace

NativePlatform CreateNativePlatform(std::vector<std::string> arguments) {
    const char* chosen = std::getenv("WINEPREFIX");
    const bool fixed = chosen && *chosen;
    // A shortcut of another launcher's prefix names its Wine build beside the prefix.
    const char* prefixWine = fixed ? std::getenv(kPrefixWineVariable) : nullptr;
    // Shortcuts name the machine even when it is the one the program started with, so that a later
    // choice in the window does not move them.
    NativePlatform platform = PlatformOf(std::make_shared<WinePrefix>(WinePrefix::FromEnvironment()),
                                         std::move(arguments), prefixWine ? prefixWine : "", !fixed);
    // A prefix the user named is the machine, whatever it holds.
    platform.machineFixed = fixed;
    return platform;
}

namespace {

std::optional<NativePlatform> PlatformOfHostPrefix(const NativePlatform& current, const std::string& host,
                                                   const std::string& wine = {}) {
    struct stat info {};
    if (current.machineFixed || stat((host + "/system.reg").c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    // The arguments are the process's own, which the current platform has already read.
    NativePlatform platform =
        PlatformOf(std::make_shared<WinePrefix>(host), current.environment->Arguments(), wine, true);
    platform.machineFixed = true;
    return platform;
}

} // namespace

std::optional<NativePlatform> PlatformOfPrefix(const NativePlatform& current, std::string_view prefixFolder) {
    const auto host = std::static_pointer_cast<WinePrefix>(current.machine)->ToHostPath(prefixFolder);
    return host ? PlatformOfHostPrefix(current, *host) : std::nullopt;
}

std::optional<NativePlatform> PlatformOfSteamCompatData(const NativePlatform& current) {
    const char* compatData = std::getenv("STEAM_COMPAT_DATA_PATH");
    return compatData && *compatData == '/' ? PlatformOfHostPrefix(current, std::string(compatData) + "/pfx")
                                            : std::nullopt;
}

std::optional<std::string> PathOnOtherMachine(const NativePlatform& from, const NativePlatform& to,
                                              std::string_view path) {
    const auto host = std::static_pointer_cast<WinePrefix>(from.machine)->ToHostPath(path);
    if (!host) {
        return std::nullopt;
    }
    return std::static_pointer_cast<WinePrefix>(to.machine)->ToWindowsPath(*host);
}

std::vector<MachineOption> OtherMachines(const NativePlatform& current) {
    if (current.machineFixed) {
        return {};
    }
    // A launcher may have made its game's prefix in the one the program started with (~/.wine, say).
    struct stat started {};
    const bool known = stat(std::static_pointer_cast<WinePrefix>(current.machine)->Root().c_str(), &started) == 0;
    std::vector<MachineOption> options;
    for (const LauncherPrefix& found : FindLauncherPrefixes(LauncherHomesFromEnvironment())) {
        struct stat info {};
        if (known && stat(found.prefix.c_str(), &info) == 0 && info.st_dev == started.st_dev &&
            info.st_ino == started.st_ino) {
            continue;
        }
        options.push_back({found.prefix, found.launcher + ": " + found.title, found.wine});
    }
    return options;
}

std::optional<NativePlatform> PlatformOfMachine(const NativePlatform& current, const MachineOption& option) {
    return PlatformOfHostPrefix(current, option.id, option.wine);
}

std::string MachineId(const NativePlatform& platform) {
    return std::static_pointer_cast<WinePrefix>(platform.machine)->Root();
}

std::string MachineNameOf(const MachineOption& option) {
    return WineSwapFileSystem::MachineNameOf(option.id);
}

std::string RememberedMachine() {
    return ReadChosenMachine(MachineMemoryFilesFromEnvironment().choice);
}

bool RememberMachine(std::string_view id) {
    return WriteChosenMachine(MachineMemoryFilesFromEnvironment().choice, id);
}

namespace {

// Read at the first question: every later one of the start is answered from memory, unless the
// user's cache folder has changed since.
HoldsRecords& Records() {
    static std::optional<HoldsRecords> records;
    if (std::string file = MachineMemoryFilesFromEnvironment().holds; !records || records->File() != file) {
        records.emplace(std::move(file));
    }
    return *records;
}

} // namespace

std::optional<bool> KnownToHoldGames(std::string_view id) {
    return Records().Find(id);
}

void RecordHoldsGames(std::string_view id, bool holds) {
    Records().Record(id, holds);
}

} // namespace vantrel

namespace vantrel {

namespace {

void IgnoreStopRequest(int) {}

} // namespace

void OutlastStopRequests() {
    // A handler, not SIG_IGN, which programs started from here would inherit: the game must still stop.
    struct sigaction action {};
    action.sa_handler = IgnoreStopRequest;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char* value = std::getenv(name); value && *value) {
            return true;
        }
    }
    return false;
}

} // namespace vantrel
