#include "startup/startup_sequence.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "launch/launch_journal.h"
#include "launch/report_text.h"
#include "mods/definition_reader.h"
#include "mods/mod_catalogue.h"
#include "platform/case_fold.h"
#include "platform/windows_paths.h"
#include "startup/command_line.h"
#include "discovery/install_discovery.h"

namespace vantrel {

namespace {

// The folders that may hold this machine's journal: the one launches use now, the other, and the
// program's own, where a run as root or as administrator may have kept it.
std::vector<std::string> JournalFolders(const ProgramValues& values) {
    std::vector<std::string> folders;
    for (const auto& folder : {values.stateFolder, values.earlierStateFolder, values.programFolder}) {
        const auto known = [&](const std::string& listed) { return EqualsIgnoringCase(listed, folder); };
        if (!folder.empty() && std::none_of(folders.begin(), folders.end(), known)) {
            folders.push_back(folder);
        }
    }
    return folders;
}

// The way out for a journal that a run as root or as administrator left where this one cannot write.
constexpr std::string_view kWayOutOfJournal =
    "start Vantrel once more the way it was started then (as root or as administrator), or delete the "
    "journal after checking the game folders.";

// What to tell of a journal still there after a try to recover it: nothing more while this run may
// remove or set it aside, else how to get rid of it.
std::string JournalNotice(std::string notice, const std::string& path, bool writable) {
    if (writable) {
        return notice;
    }
    if (notice.empty()) {
        // On Windows no lock can be made there; elsewhere the launch may still be running.
        return "A launch did not finish, but its journal " + Quoted(path) +
               " lies where this run can neither lock nor remove it: unless that launch still runs, " +
               std::string(kWayOutOfJournal);
    }
    return notice + " It lies where this run cannot write: " + std::string(kWayOutOfJournal);
}

} // namespace

void AddNotice(ProgramValues& values, const std::string& notice) {
    if (!notice.empty()) {
        values.startupNotice += (values.startupNotice.empty() ? "" : " ") + notice;
    }
}

void ChooseFolders(ProgramValues& values, ProcessEnvironment& environment, DirectoryListing& listing) {
    values.programFolder = environment.ProgramFolder();
    std::string definitions = environment.HomeFolder();
    bool writable = false;
    if (definitions.empty()) {
        definitions = values.programFolder;
        // An installed program's folder is never taken, also when this run may write there as root or as
        // administrator: later runs by the user could not.
        const bool installed = environment.IsInstalledProgramFolder(definitions);
        writable = !installed && environment.CanWriteIn(definitions);
        // Listed only when it cannot be written: a writable folder is taken either way.
        const bool holds =
            !writable && !listing.ListFiles(definitions + "\\" + std::string(kDefinitionPattern)).empty();
        if (!writable && (installed || !holds)) {
            if (std::string data = environment.UserDataFolder(); !data.empty()) {
                if (holds) {
                    AddNotice(values,
                              "The mod definitions in " + Quoted(definitions) +
                                  " are not used, as that is an installed program's folder; move them to " +
                                  Quoted(data) + " to use them.");
                }
                definitions = std::move(data);
                writable = environment.CreateFolder(definitions) && environment.CanWriteIn(definitions);
            }
        }
    } else {
        writable = environment.CanWriteIn(definitions);
    }
    const std::string userState = environment.UserStateFolder();
    values.definitionFolder = definitions;
    values.stateFolder = definitions;
    values.earlierStateFolder = userState;
    if (!writable && !userState.empty()) {
        (void)environment.CreateFolder(userState);
        values.stateFolder = userState;
        values.earlierStateFolder = definitions;
    }
    if (values.earlierStateFolder == values.stateFolder) {
        values.earlierStateFolder.clear();
    }
}

bool JournalWaitsFor(const ProgramValues& values, SingleFiles& files, std::string_view machineName) {
    const auto folders = JournalFolders(values);
    return std::any_of(folders.begin(), folders.end(), [&](const std::string& folder) {
        return files.FileExists(JournalPathFor(folder, machineName));
    });
}

StartMode PrepareStart(ProgramValues& values, const StartupServices& services) {
    // An import writes a new definition only; an open window takes it in at its next scan.
    const bool import = ImportFromArguments(services.environment.Arguments()).has_value();
    if (!import && services.instanceGuard.IsAnotherInstanceOpen()) {
        services.messages.Show(kAnotherInstanceMessage, MessageIcon::Information);
        return StartMode::Refused;
    }
    ChooseFolders(values, services.environment, services.directoryListing);
    values.szSilentModFile =
        SilentModFileFromCommandLine(values.definitionFolder, services.environment.ArgumentText());
    // Install folders come first: the reader puts them into destinations as it reads.
    if (services.found) {
        ApplyInstallations(*services.found, values);
    } else {
        DiscoverInstallFolders(services.registry, values);
    }
    if (values.szSilentModFile.empty() && AsksToSetAsideJournal(services.environment.ArgumentText())) {
        return StartMode::SetAsideJournal;
    }
    if (services.singleFiles && services.swapFiles && services.launchLock) {
        // A journal is finished where it was written, also when launches now keep theirs elsewhere.
        for (const auto& folder : JournalFolders(values)) {
            LaunchJournal journal(services.textFiles, *services.singleFiles, folder,
                                  services.swapFiles->MachineName());
            // Elsewhere no lock is taken (nor, on Windows, a lock file made) without a journal there.
            if (folder != values.stateFolder && !services.singleFiles->FileExists(journal.Path())) {
                continue;
            }
            std::string notice = RecoverInterruptedLaunch(journal, *services.swapFiles, *services.launchLock);
            if (services.singleFiles->FileExists(journal.Path())) {
                notice =
                    JournalNotice(std::move(notice), journal.Path(), services.environment.CanWriteIn(folder));
            }
            AddNotice(values, notice);
        }
    }

    const auto steam = values.szSilentModFile.empty() ? SteamLaunchFromArguments(services.environment.Arguments())
                                                      : std::nullopt;
    const auto play = values.szSilentModFile.empty() && !steam ? PlayFromArguments(services.environment.Arguments())
                                                               : std::nullopt;
    if (play) {
        ResetCatalogue(values);
        ModRecord record;
        const std::string file = values.definitionFolder + "\\" + play->modName + std::string(kDefinitionExtension);
        if (play->error.empty() && IsPlainName(play->modName) && ReadModDefinition(services.textFiles, values, file, record)) {
            AddToCatalogue(values, std::move(record));
        }
        return StartMode::Play;
    }
    if (values.szSilentModFile.empty() && !steam) {
        LoadModCatalogue(values, services.directoryListing, services.textFiles);
        return import ? StartMode::Import : StartMode::Interactive;
    }
    ResetCatalogue(values);
    ModRecord record;
    // A name that reaches out of the definition folder names no mod of it.
    const bool named = !steam || IsPlainName(steam->modName);
    const std::string file = steam ? values.definitionFolder + "\\" + steam->modName + std::string(kDefinitionExtension)
                                   : values.szSilentModFile;
    if (named && ReadModDefinition(services.textFiles, values, file, record)) {
        AddToCatalogue(values, std::move(record));
    }
    return steam ? StartMode::SteamLaunch : StartMode::Silent;
}

} // namespace vantrel

namespace vantrel {

ImportResult RunImportMode(const ProgramValues& values, const ImportServices& services,
                           const std::vector<std::string>& arguments) {
    const auto parsed = ImportFromArguments(arguments);
    ImportResult refused;
    if (!parsed || !parsed->error.empty()) {
        refused.error = "Vantrel --import: " + (parsed ? parsed->error : std::string("no import asked for")) +
                        ".\nUse: vantrel --import <archive or folder> [--game generals|zerohour] [--name <name>]";
        return refused;
    }
    const auto source = services.files.MachinePathOfArgument(parsed->source);
    if (!source) {
        refused.error = "\"" + parsed->source + "\" cannot be reached from the machine the games run on.";
        return refused;
    }
    ImportRequest request{*source, parsed->name, std::nullopt};
    if (!parsed->game.empty()) {
        request.game = parsed->game == "generals" ? GameId::Generals : GameId::ZeroHour;
    }
    return ImportMod(values, services, request);
}

int SetAsideJournalMode(const ProgramValues& values, TextFiles& textFiles, SingleFiles& singleFiles,
                        SwapFileSystem& files, Messages& messages) {
    const auto folders = JournalFolders(values);
    const auto found = std::find_if(folders.begin(), folders.end(), [&](const std::string& folder) {
        return singleFiles.FileExists(JournalPathFor(folder, files.MachineName()));
    });
    if (found == folders.end()) {
        messages.Show("There is no launch journal of this machine in " + values.stateFolder + ".",
                      MessageIcon::None);
        return 0;
    }
    LaunchJournal journal(textFiles, singleFiles, *found, files.MachineName());
    std::string text = "The launch journal " + journal.Path() + " describes:";
    for (const auto& line : journal.RawLines()) {
        text += "\n  " + line.substr(0, line.rfind('\t'));
    }
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::gmtime(&now));
    std::string error;
    const auto aside = SetAsideJournal(journal, files, stamp, error);
    text += aside ? "\nIt was set aside as " + *aside +
                       "; the game folders were left as they are, so check the entries above by hand."
                 : "\nIt could not be set aside: " + error + "\nWhere this run cannot write, " +
                       std::string(kWayOutOfJournal);
    messages.Show(text, MessageIcon::None);
    return aside ? 0 : 1;
}

namespace {

// Runs a launch without a window; a game that ended at once or with an error code is worth a line on
// standard error, where whoever started it looks. 0 when the launch succeeded, else 1.
int TellingHowTheGameEnded(const ProgramValues& values, const LaunchServices& services,
                           const std::function<bool(const LaunchServices&)>& launch) {
    LaunchServices telling = services;
    std::string outcome;
    telling.ran = [&](const RunResult& result) {
        if (services.ran) {
            services.ran(result);
        }
        const ModRecord* mod = values.Mods.empty() ? nullptr : &values.Mods.front();
        outcome = RunOutcome(result, "The game", mod && (mod->nPairCount > 0 || mod->ownUserData));
    };
    const bool launched = launch(telling);
    if (launched && !outcome.empty()) {
        std::fprintf(stderr, "%s\n", outcome.c_str());
    }
    return launched ? 0 : 1;
}

} // namespace

int RunSteamLaunch(const ProgramValues& values, const LaunchServices& services,
                   const std::vector<std::string>& arguments, GameFiles& files) {
    const auto fail = [&](const std::string& why) {
        services.messages.Show(std::string(kLaunchFailedMessage) + "\n" + why, MessageIcon::None);
        return 1;
    };
    const auto steam = SteamLaunchFromArguments(arguments);
    if (!steam) {
        return fail("the command line is not \"--play <mod> -- <the game's command>\"");
    }
    if (values.nModCount < 1) {
        return fail("there is no mod \"" + steam->modName + "\" in " + values.definitionFolder);
    }
    // The program's folder as the machine names it: Steam names a host path under Proton.
    const std::string program = ProgramOfSteamCommand(steam->command);
    const std::size_t separator = program.find_last_of("\\/");
    const auto folder = separator == std::string::npos ? std::nullopt : files.MachinePath(program.substr(0, separator));
    const std::string gameFolder = folder ? AsFolder(*folder) : std::string();
    const auto isGame = [&](const std::string& installFolder) {
        return !gameFolder.empty() && EqualsIgnoringCase(gameFolder, installFolder);
    };
    if (!isGame(values.szGeneralsPath) && !isGame(values.szZeroHourPath)) {
        std::string known;
        for (const auto& installed : {values.szGeneralsPath, values.szZeroHourPath}) {
            if (!installed.empty()) {
                known += (known.empty() ? "" : " or ") + installed;
            }
        }
        return fail("the command Steam gave runs \"" + program + "\", which is no game of " +
                    (known.empty() ? std::string("a folder Vantrel knows (no game was found)") : known));
    }
    std::vector<std::string> command = steam->command;
    const std::string gameProgram = gameFolder + program.substr(separator + 1);
    return TellingHowTheGameEnded(values, services, [&](const LaunchServices& telling) {
        return LaunchCommandWithMod(values, telling, command, gameProgram, 0);
    });
}

std::string GameUserDataFolder(const ProgramValues& values, Registry& registry, ProcessEnvironment& environment,
                               std::string_view gameFolder) {
    const bool zeroHour = !values.szZeroHourPath.empty() && EqualsIgnoringCase(gameFolder, values.szZeroHourPath);
    const bool generals = !values.szGeneralsPath.empty() && EqualsIgnoringCase(gameFolder, values.szGeneralsPath);
    if (!zeroHour && !generals) {
        return {};
    }
    const std::string documents = environment.DocumentsFolder();
    if (documents.empty()) {
        return {};
    }
    auto leaf = registry.ReadMachineString(zeroHour ? kZeroHourKey : kGeneralsKey, "UserDataLeafName");
    // A leaf that would name another folder than one in Documents is not the game's.
    if (!leaf || leaf->empty() || leaf->find_first_of("\\/:") != std::string::npos || *leaf == "." || *leaf == "..") {
        leaf = zeroHour ? "Command and Conquer Generals Zero Hour Data" : "Command and Conquer Generals Data";
    }
    return documents + "\\" + *leaf;
}

int RunPlayMode(const ProgramValues& values, const LaunchServices& services, const std::vector<std::string>& arguments) {
    const auto play = PlayFromArguments(arguments);
    const auto refuse = [&](const std::string& why) {
        services.messages.Show(why, MessageIcon::None);
        return 1;
    };
    if (!play || !play->error.empty()) {
        return refuse("Vantrel --play: " + (play ? play->error : std::string("no mod to play")) +
                      ".\nUse: vantrel --play <mod> --game generals|zerohour [--switches \"-win -nologo\"]");
    }
    const GameId game = play->game == "generals" ? GameId::Generals : GameId::ZeroHour;
    const std::string& folder = InstallFolderOf(values, game);
    if (folder.empty()) {
        return refuse(std::string(GameName(game)) + " was not found on this machine, so " +
                      play->modName + " cannot be played with it.");
    }
    if (values.nModCount < 1) {
        return refuse("There is no mod named " + play->modName + " in " + values.definitionFolder + ".");
    }
    std::string command = folder + "generals.exe" + (play->switches.empty() ? "" : " " + play->switches);
    return TellingHowTheGameEnded(values, services, [&](const LaunchServices& telling) {
        return LaunchWithMod(values, telling, command, 0);
    });
}

int RunSilentMode(const ProgramValues& values, const LaunchServices& services) {
    // The literal ends with a blank, so a -mod switch follows two blanks.
    std::string command = values.szGeneralsPath + "generals.exe -nologo ";
    return TellingHowTheGameEnded(values, services, [&](const LaunchServices& telling) {
        return LaunchWithMod(values, telling, command, 0);
    });
}

} // namespace vantrel
