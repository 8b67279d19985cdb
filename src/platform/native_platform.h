// The implementations of every platform interface for the system the program was built for.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/directory_listing.h"
#include "platform/disk_browser.h"
#include "platform/game_files.h"
#include "platform/import_files.h"
#include "platform/instance_guard.h"
#include "platform/launch_lock.h"
#include "platform/process_environment.h"
#include "platform/process_runner.h"
#include "platform/registry.h"
#include "platform/shortcuts.h"
#include "platform/single_files.h"
#include "platform/swap_file_system.h"
#include "platform/text_files.h"

namespace vantrel {

struct NativePlatform {
    NativePlatform();
    NativePlatform(NativePlatform&&) noexcept;
    NativePlatform& operator=(NativePlatform&&) noexcept;
    ~NativePlatform();

    std::shared_ptr<void> machine; // what the implementations below share (a Wine prefix on Linux)
    std::unique_ptr<Registry> registry;
    std::unique_ptr<InstanceGuard> instanceGuard;
    std::unique_ptr<ProcessEnvironment> environment;
    std::unique_ptr<DirectoryListing> directoryListing;
    std::unique_ptr<TextFiles> textFiles;
    std::unique_ptr<SingleFiles> singleFiles;
    std::unique_ptr<SwapFileSystem> swapFiles;
    std::unique_ptr<ProcessRunner> processRunner;
    std::unique_ptr<DiskBrowser> diskBrowser;
    std::unique_ptr<LaunchLock> launchLock;
    std::unique_ptr<Shortcuts> shortcuts;
    std::unique_ptr<GameFiles> gameFiles;
    std::unique_ptr<ImportFiles> importFiles;
    // False where the program may still pick the machine by where the games are (Linux without
    // WINEPREFIX).
    bool machineFixed = true;
};

// `arguments` are the command-line arguments after the program's own name.
[[nodiscard]] NativePlatform CreateNativePlatform(std::vector<std::string> arguments);

// When the machine is not fixed: the platform of the Wine prefix in the folder `prefixFolder`, a path of
// the current machine, taken as the machine instead; nullopt when the machine is fixed or no prefix
// is there.
[[nodiscard]] std::optional<NativePlatform> PlatformOfPrefix(const NativePlatform& current,
                                                             std::string_view prefixFolder);

// When the machine is not fixed and Steam names the game's compatibility data for the command it starts
// (STEAM_COMPAT_DATA_PATH, on Linux): the platform of the prefix there (its pfx), taken as the machine
// instead; nullopt otherwise.
[[nodiscard]] std::optional<NativePlatform> PlatformOfSteamCompatData(const NativePlatform& current);

// A path of one platform's machine as the other's machine names the same place; nullopt when that
// machine cannot reach it.
[[nodiscard]] std::optional<std::string> PathOnOtherMachine(const NativePlatform& from, const NativePlatform& to,
                                                            std::string_view path);

// A machine the games may be on beside the one the program starts with: on Linux, a Wine prefix that
// another launcher made for a game or bottle.
struct MachineOption {
    std::string id;    // how the settings and shortcuts name it: the prefix's host folder
    std::string title; // as the player knows it ("Lutris: Command & Conquer Generals Zero Hour")
    std::string wine;  // the program that runs its games; empty for the system's own
};

// The machines other launchers recorded, in their order; empty when the machine is fixed and where
// there are none (Windows).
[[nodiscard]] std::vector<MachineOption> OtherMachines(const NativePlatform& current);

// When the machine is not fixed: the platform of the option's machine, whose games run with its Wine
// unless $WINE names one, and whose shortcuts carry both; nullopt when the machine is fixed or no prefix
// is there.
[[nodiscard]] std::optional<NativePlatform> PlatformOfMachine(const NativePlatform& current,
                                                              const MachineOption& option);

// The id of the platform's machine, as MachineOption names it; empty where there is only one (Windows).
[[nodiscard]] std::string MachineId(const NativePlatform& platform);
// The name the option's machine gives its launch journal (SwapFileSystem::MachineName there).
[[nodiscard]] std::string MachineNameOf(const MachineOption& option);

// The machine the player chose last, as its id; empty when none was chosen or it cannot be read.
[[nodiscard]] std::string RememberedMachine();
// Keeps the choice for the next start; false when it could not be written.
[[nodiscard]] bool RememberMachine(std::string_view id);

// Whether the games were found on the machine `id` when its registry was last as it is now; nullopt
// when that is not known. Looking into forty prefixes at each start would cost more than it tells.
[[nodiscard]] std::optional<bool> KnownToHoldGames(std::string_view id);
void RecordHoldsGames(std::string_view id, bool holds);

} // namespace vantrel

namespace vantrel {

// True when windows can be shown (on Linux: a display server is named in the environment).
[[nodiscard]] bool HasDisplay();

// From here on a request to stop (on Linux SIGTERM, SIGINT or SIGHUP, as Steam's Stop or a terminal's
// Ctrl+C send them to the game and the launcher alike) no longer ends this process: the game it
// reaches still ends, and the launch then puts the game folders back before the launcher ends.
void OutlastStopRequests();

} // namespace vantrel
