#include "startup/startup_sequence.h"

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
    if (services.singleFiles && services.swapFiles && services.launchLock) {
        LaunchJournal journal(services.textFiles, *services.singleFiles, values.programFolder);
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

int RunSilentMode(const ProgramValues& values, const LaunchServices& services) {
    // The literal ends with a blank, so a -mod switch follows two blanks.
    std::string command = values.szGeneralsPath + "generals.exe -nologo ";
    return LaunchWithMod(values, services, command, 0) ? 0 : 1;
}

} // namespace vantrel
