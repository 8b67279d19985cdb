// What the windows need from the rest of the program.
#pragma once

#include "launch/launch_journal.h"
#include "mods/program_values.h"
#include "platform/directory_listing.h"
#include "platform/disk_browser.h"
#include "platform/import_files.h"
#include "platform/instance_guard.h"
#include "platform/messages.h"
#include "platform/process_runner.h"
#include "platform/shortcuts.h"
#include "platform/single_files.h"
#include "platform/swap_file_system.h"
#include "platform/text_files.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

struct UiServices {
    ProgramValues& values;
    TextFiles& textFiles;
    DirectoryListing& directoryListing;
    SingleFiles& singleFiles;
    SwapFileSystem& swapFiles;
    ProcessRunner& processRunner;
    DiskBrowser& diskBrowser;
    Messages& messages;
    InstanceGuard& instanceGuard;
    // Keep launches recoverable and one at a time; may be left out.
    LaunchJournal* journal = nullptr;
    LaunchLock* launchLock = nullptr;
    // Makes the shortcuts that play one mod; without it the command stays disabled.
    Shortcuts* shortcuts = nullptr;
    // The host folder the BIG-file dialog last showed, so that the next one opens there.
    std::string lastBigFolder = {};
    // Where the game of an install folder keeps the player's user data; see LaunchServices.
    std::function<std::string(std::string_view gameFolder)> userDataFolder = {};
    // Unpacks downloaded mods; without it the import command stays disabled.
    ImportFiles* importFiles = nullptr;
    // The machines that hold the games, as the player tells them apart, and the one in use: the window
    // lets the player choose only among two or more.
    std::vector<std::string> machines = {};
    std::size_t machineInUse = 0;
    // Plays on machine i of `machines` from now on; the window is closed and made anew on it.
    std::function<void(std::size_t)> chooseMachine = {};
};

} // namespace vantrel
