// The start of the program: the single-instance guard, the mode, the install folders and the mods.
#pragma once

#include "launch/swap_cycle.h"
#include "mods/mod_import.h"
#include "mods/program_values.h"
#include "platform/directory_listing.h"
#include "platform/game_files.h"
#include "platform/instance_guard.h"
#include "platform/messages.h"
#include "platform/process_environment.h"
#include "platform/registry.h"
#include "platform/single_files.h"
#include "platform/swap_file_system.h"
#include "platform/text_files.h"
#include "discovery/install_discovery.h"

namespace vantrel {

inline constexpr std::string_view kAnotherInstanceMessage = "Another instance of the Vantrel is already running!";

enum class StartMode {
    Refused,     // another instance has its main window open; the user has been told
    Silent,      // Mods element 0 holds the named mod, or is empty when it could not be read
    Interactive, // the catalogue holds every readable definition of the definition folder
    SetAsideJournal, // the user asked to set aside a launch journal that blocks launches
    Import,      // the command line asks to import a mod ("--import"); the catalogue holds every mod
    Play,        // a shortcut plays a mod with a game ("--play <mod> --game ..."): Mods element 0 holds the
                 // named mod, or is empty when it could not be read
    SteamLaunch, // Steam started the program for a game (--play): Mods element 0 holds the named mod, or
                 // is empty when it could not be read
};

struct StartupServices {
    InstanceGuard& instanceGuard;
    ProcessEnvironment& environment;
    Registry& registry;
    DirectoryListing& directoryListing;
    TextFiles& textFiles;
    Messages& messages;
    // With all three, a launch that did not finish is put back before anything else.
    SingleFiles* singleFiles = nullptr;
    SwapFileSystem* swapFiles = nullptr;
    LaunchLock* launchLock = nullptr;
    // The games as already found on this machine, so that they are not looked for twice.
    const Installations* found = nullptr;
};

// Sets the program's folders in `values`. The definitions: VANTREL_HOME when it is set; else the
// program folder when it can be written or already holds definitions (an unpacked copy); else the
// user's data folder. The journal and the lock: beside the definitions when that folder can be
// written, else in the user's state folder. A user folder taken is created.
void ChooseFolders(ProgramValues& values, ProcessEnvironment& environment, DirectoryListing& listing);

// Adds a sentence to what the start tells the player (values.startupNotice); an empty one adds nothing.
void AddNotice(ProgramValues& values, const std::string& notice);

// True when a launch on the machine `machineName` (as SwapFileSystem::MachineName tells it) left its
// journal in one of the program's folders: it did not finish, and is put back when that machine is
// next started on.
[[nodiscard]] bool JournalWaitsFor(const ProgramValues& values, SingleFiles& files, std::string_view machineName);

// Runs the start-up steps up to the hand-over to the swap cycle or to the main window.
StartMode PrepareStart(ProgramValues& values, const StartupServices& services);

// After PrepareStart asked for it: shows what this machine's launch journal describes and sets it aside
// under a dated name, so that launches can go on. The program's exit status: 0 when it was set aside
// (or there was none), 1 when it could not be.
int SetAsideJournalMode(const ProgramValues& values, TextFiles& textFiles, SingleFiles& singleFiles,
                        SwapFileSystem& files, Messages& messages);

// Silent mode after PrepareStart: plays Mods element 0 with Generals, always without its intro.
// The program's exit status: 0 when the launch went through, 1 when a failure was shown.
int RunSilentMode(const ProgramValues& values, const LaunchServices& services);

// Where the game of install folder `gameFolder` keeps the player's settings, maps, replays and saved
// games: the Documents folder, and the leaf the registry names (UserDataLeafName, which the games
// read) or the game's own; empty for a folder of neither game, or without a Documents folder.
[[nodiscard]] std::string GameUserDataFolder(const ProgramValues& values, Registry& registry,
                                             ProcessEnvironment& environment, std::string_view gameFolder);

// After PrepareStart asked for it: plays Mods element 0 with the game and switches the arguments
// ("--play <mod> --game <game> --switches <switches>") name, as silent mode plays it with Generals.
// Arguments that cannot be taken, a game not found or a mod that could not be read are refused
// before anything changes. The program's exit status: 0 when the launch went through, 1 otherwise.
int RunPlayMode(const ProgramValues& values, const LaunchServices& services, const std::vector<std::string>& arguments);

// After PrepareStart asked for it: imports the mod the arguments ("--import ...") name, as ImportMod
// does; a bad command line is a failure that changes nothing.
[[nodiscard]] ImportResult RunImportMode(const ProgramValues& values, const ImportServices& services,
                                         const std::vector<std::string>& arguments);

// After PrepareStart asked for it: plays Mods element 0 with the game whose program Steam's command
// (from the arguments, "--play <mod> -- <command>") runs, by running that command with "-mod <file>"
// appended, as silent mode does. A command that runs no game of a known folder, or a mod that could
// not be read, is refused before anything changes. `files` tells the machine's path of Steam's.
// The program's exit status: 0 when the launch went through, 1 when a failure was shown.
int RunSteamLaunch(const ProgramValues& values, const LaunchServices& services,
                   const std::vector<std::string>& arguments, GameFiles& files);

} // namespace vantrel
