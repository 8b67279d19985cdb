#include "startup/startup_sequence.h"

#include <ctime>

#include "launch/launch_journal.h"
#include "mods/definition_reader.h"
#include "mods/mod_catalogue.h"
#include "startup/command_line.h"
#include "startup/install_discovery.h"

namespace vantrel {

StartMode PrepareStart(ProgramValues& values, const StartupServices& services) {
    if (services.instanceGuard.IsAnotherInstanceOpen()) {
        services.messages.Show(kAnotherInstanceMessage, MessageIcon::Information);
        return StartMode::Refused;
    }
    values.programFolder = services.environment.ProgramFolder();
    values.szSilentModFile =
        SilentModFileFromCommandLine(values.programFolder, services.environment.ArgumentText());
    // Install folders come first: the reader puts them into destinations as it reads.
    DiscoverInstallFolders(services.registry, values);
    if (values.szSilentModFile.empty() && AsksToSetAsideJournal(services.environment.ArgumentText())) {
        return StartMode::SetAsideJournal;
    }
    if (services.singleFiles && services.swapFiles && services.launchLock) {
        LaunchJournal journal(services.textFiles, *services.singleFiles, values.programFolder,
                              services.swapFiles->MachineName());
        values.startupNotice = RecoverInterruptedLaunch(journal, *services.swapFiles, *services.launchLock);
    }

    if (values.szSilentModFile.empty()) {
        LoadModCatalogue(values, services.directoryListing, services.textFiles);
        return StartMode::Interactive;
    }
    ResetCatalogue(values);
    ModRecord record;
    if (ReadModDefinition(services.textFiles, values, values.szSilentModFile, record)) {
        AddToCatalogue(values, std::move(record));
    }
    return StartMode::Silent;
}

} // namespace vantrel

namespace vantrel {

int SetAsideJournalMode(const ProgramValues& values, TextFiles& textFiles, SingleFiles& singleFiles,
                        SwapFileSystem& files, Messages& messages) {
    LaunchJournal journal(textFiles, singleFiles, values.programFolder, files.MachineName());
    if (!singleFiles.FileExists(journal.Path())) {
        messages.Show("There is no launch journal of this machine in " + values.programFolder + ".", MessageIcon::None);
        return 0;
    }
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
                 : "\nIt could not be set aside: " + error;
    messages.Show(text, MessageIcon::None);
    return aside ? 0 : 1;
}

int RunSilentMode(const ProgramValues& values, const LaunchServices& services) {
    // The literal ends with a blank, so a -mod switch follows two blanks.
    std::string command = values.szGeneralsPath + "generals.exe -nologo ";
    return LaunchWithMod(values, services, command, 0) ? 0 : 1;
}

} // namespace vantrel
