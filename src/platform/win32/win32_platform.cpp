#include "platform/native_platform.h"
#include "platform/win32/win32_import_files.h"
#include "platform/win32/win32_classes.h"
#include "platform/win32/win32_shortcuts.h"

namespace vantrel {

NativePlatform::NativePlatform() = default;
NativePlatform::NativePlatform(NativePlatform&&) noexcept = default;
NativePlatform& NativePlatform::operator=(NativePlatform&&) noexcept = default;
NativePlatform::~NativePlatform() = default;

NativePlatform CreateNativePlatform(std::vector<std::string>) {
    // Windows hands the program its command line itself; the arguments are not needed.
    NativePlatform platform;
    platform.registry = std::make_unique<Win32Registry>();
    platform.instanceGuard = std::make_unique<Win32InstanceGuard>();
    platform.environment = std::make_unique<Win32ProcessEnvironment>();
    platform.directoryListing = std::make_unique<Win32DirectoryListing>();
    platform.textFiles = std::make_unique<Win32TextFiles>();
    platform.singleFiles = std::make_unique<Win32SingleFiles>();
    platform.swapFiles = std::make_unique<Win32SwapFileSystem>();
    platform.processRunner = std::make_unique<Win32ProcessRunner>();
    platform.diskBrowser = std::make_unique<Win32DiskBrowser>();
    platform.launchLock = std::make_unique<Win32LaunchLock>();
    platform.shortcuts = std::make_unique<Win32Shortcuts>();
    platform.gameFiles = std::make_unique<Win32GameFiles>();
    platform.importFiles = MakeWin32ImportFiles();
    return platform;
}

std::optional<NativePlatform> PlatformOfPrefix(const NativePlatform&, std::string_view) {
    return std::nullopt; // Windows is the one machine
}

std::optional<NativePlatform> PlatformOfSteamCompatData(const NativePlatform&) {
    return std::nullopt;
}

std::optional<std::string> PathOnOtherMachine(const NativePlatform&, const NativePlatform&, std::string_view path) {
    return std::string(path);
}

// Windows is the one machine: there is nothing to choose or remember.
std::vector<MachineOption> OtherMachines(const NativePlatform&) {
    return {};
}

std::optional<NativePlatform> PlatformOfMachine(const NativePlatform&, const MachineOption&) {
    return std::nullopt;
}

std::string MachineId(const NativePlatform&) {
    return {};
}

std::string MachineNameOf(const MachineOption&) {
    return {};
}

std::string RememberedMachine() {
    return {};
}

bool RememberMachine(std::string_view) {
    return false;
}

std::optional<bool> KnownToHoldGames(std::string_view) {
    return std::nullopt;
}

void RecordHoldsGames(std::string_view, bool) {}

bool HasDisplay() {
    return true;
}

void OutlastStopRequests() {
    // Windows ends a program from outside without asking it: the next start puts the folders back.
}

} // namespace vantrel
