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

} // namespace vantrel

namespace vantrel {

// True when windows can be shown (on Linux: a display server is named in the environment).
[[nodiscard]] bool HasDisplay();

// From here on a request to stop (on Linux SIGTERM, SIGINT or SIGHUP, as Steam's Stop or a terminal's
// Ctrl+C send them to the game and the launcher alike) no longer ends this process: the game it
// reaches still ends, and the launch then puts the game folders back before the launcher ends.
void OutlastStopRequests();

} // namespace vantrel
