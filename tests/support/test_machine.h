// A throw-away machine for tests: a temporary folder (drive C: of a new Wine prefix on Linux) with the
// real platform implementations over it, so that the core is tested against the files it will meet.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/directory_listing.h"
#include "platform/disk_browser.h"
#include "platform/game_files.h"
#include "platform/import_files.h"
#include "platform/launch_lock.h"
#include "platform/process_runner.h"
#include "platform/registry.h"
#include "platform/single_files.h"
#include "platform/swap_file_system.h"
#include "platform/text_files.h"
#include "support/temp_folder.h"

namespace vantrel::test {

class TestMachine {
public:
    TestMachine();
    ~TestMachine();

    // The Windows path of `relative` ('/' or '\' separated) on the machine's disk.
    [[nodiscard]] std::string WindowsPath(std::string_view relative = "") const;
    // Where that file lies on this host.
    [[nodiscard]] std::filesystem::path HostPath(std::string_view relative = "") const;

    void Write(std::string_view relative, std::string_view bytes) const { WriteBytes(HostPath(relative), bytes); }
    [[nodiscard]] std::string Read(std::string_view relative) const { return ReadBytes(HostPath(relative)); }

    // The path of `relative` as Steam writes it in its own files: a host path on Linux, the Windows
    // path on Windows.
    [[nodiscard]] std::string SteamPath(std::string_view relative) const;

    // The folder of the machine itself (the Wine prefix on Linux).
    [[nodiscard]] std::filesystem::path MachineFolder() const;

    // Makes the entry hidden; false when this machine cannot hide it (Wine hides only names that
    // begin with a dot, and those always).
    bool Hide(std::string_view relative) const;

    // Sets the games' install folders in the machine's registry (an empty text leaves a game out).
    void SetInstallFolders(std::string_view generals, std::string_view zeroHour);

    TextFiles& textFiles();
    DirectoryListing& directoryListing();
    SingleFiles& singleFiles();
    Registry& registry();
    SwapFileSystem& swapFiles();
    ImportFiles& importFiles();
    ProcessRunner& processRunner();
    DiskBrowser& diskBrowser();
    LaunchLock& launchLock();
    // Takes the machine's "home" folder as the user's home (Linux), where Steam keeps its folders.
    GameFiles& gameFiles();

private:
    struct Impl;
    TempFolder folder_;
    std::unique_ptr<Impl> impl_;
};

} // namespace vantrel::test
