// The program's entry: wires the platform, the core and the windows together.
#include <QApplication>
#include <QRect>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "launch/launch_journal.h"
#include "mods/program_values.h"
#include "platform/messages.h"
#include "platform/native_platform.h"
#include "startup/command_line.h"
#include "discovery/install_discovery.h"
#include "discovery/proton_tool.h"
#include "startup/startup_sequence.h"
#include "app/machine_choice.h"
#include "app/system_fonts.h"
#include "ui/artwork.h"
#include "ui/frm_main.h"
#include "ui/qt_messages.h"

namespace {

bool MessagesGoToStderr() {
    const char* choice = std::getenv("VANTREL_MESSAGES");
    return (choice && std::string(choice) == "stderr") || !vantrel::HasDisplay();
}

// Message boxes that bring up the application object only when the first one is shown: a silent
// launch that goes well never connects to the display at all.
class OnDemandQtMessages final : public vantrel::Messages {
public:
    OnDemandQtMessages(int& argc, char** argv, std::unique_ptr<QApplication>& application)
        : argc_(argc), argv_(argv), application_(application) {}

    void Show(std::string_view text, vantrel::MessageIcon icon) override {
        if (!application_) {
            application_ = std::make_unique<QApplication>(argc_, argv_);
        }
        boxes_.Show(text, icon);
    }

private:
    int& argc_;
    char** argv_;
    std::unique_ptr<QApplication>& application_;
    vantrel::QtMessages boxes_;
};

// Messages kept while the start runs beside the application object's creation, shown once it exists.
class HeldMessages final : public vantrel::Messages {
public:
    void Show(std::string_view text, vantrel::MessageIcon icon) override { held_.emplace_back(text, icon); }
    void ShowTo(vantrel::Messages& messages) {
        for (const auto& [text, icon] : held_) {
            messages.Show(text, icon);
        }
        held_.clear();
    }

private:
    std::vector<std::pair<std::string, vantrel::MessageIcon>> held_;
};

// A piece of the start run on a thread of its own; waited for at the latest when it goes.
class BackgroundTask {
public:
    explicit BackgroundTask(std::function<void()> task) : thread_(std::move(task)) {}
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;
    ~BackgroundTask() { Wait(); }

    void Wait() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    std::thread thread_;
};

} // namespace

int main(int argc, char** argv) {
    using namespace vantrel;
    // Docks match the window to the installed desktop entry, and show its icon, by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.vantrel.Vantrel"));
    NativePlatform platform = CreateNativePlatform(std::vector<std::string>(argv + 1, argv + argc));

    // Windows need an application object; message boxes too, unless they go to standard error.
    std::unique_ptr<QApplication> application;
    std::unique_ptr<Messages> messages;
    // An import from the command line answers on the command line.
    const bool importing = ImportFromArguments(platform.environment->Arguments()).has_value();
    if (importing || MessagesGoToStderr()) {
        messages = std::make_unique<StderrMessages>();
    } else {
        messages = std::make_unique<OnDemandQtMessages>(argc, argv, application);
    }

    // When the main window will open, the start runs in two lines side by side: on one, the system's
    // font configuration loads and the registry and the mod definitions are read; on the other, the
    // application object comes up and the window's fonts and banner are made.
    const std::string arguments = platform.environment->ArgumentText();
    const bool steamLaunch =
        !AsksForSilentMode(arguments) && SteamLaunchFromArguments(platform.environment->Arguments()).has_value();
    const bool playing = PlayFromArguments(platform.environment->Arguments()).has_value();
    const bool opensWindow =
        HasDisplay() && !AsksToSetAsideJournal(arguments) && !AsksForSilentMode(arguments) && !steamLaunch && !importing &&
        !playing;
    ProgramValues values;
    HeldMessages held;
    std::string wantedMachine = RememberedMachine();
    MachineChoice machines;
    const auto prepare = [&](Messages& shown) {
        // Steam starting the program for a game names that game's prefix: it is the machine, unless
        // WINEPREFIX names one.
        if (steamLaunch) {
            if (auto compat = PlatformOfSteamCompatData(platform)) {
                platform = std::move(*compat);
            }
        }
        // Without WINEPREFIX, the games are played on the machine the player chose among those that hold
        // them, else on the first: the one started with, Proton's prefix for a Steam game, another
        // launcher's prefix.
        Installations found = FindInstallations(*platform.registry, platform.gameFiles.get());
        const char* home = std::getenv("HOME");
        machines = ChooseMachine(platform, found, wantedMachine, home ? home : "");
        // A Steam game started here, not by Steam, needs its Proton where the system runs it through one;
        // Steam's own command names its Proton itself.
        if (!steamLaunch && platform.processRunner->NeedsProton()) {
            platform.processRunner->RunThroughProton(
                [found, &files = *platform.gameFiles] { return ProtonRunsFor(found, files); });
        }
        const StartMode started =
            PrepareStart(values, {*platform.instanceGuard, *platform.environment, *platform.registry,
                                  *platform.directoryListing, *platform.textFiles, shown, platform.singleFiles.get(),
                                  platform.swapFiles.get(), platform.launchLock.get(), &found});
        AddNotice(values, machines.notice);
        // A launch on another machine that did not finish is put back only on that machine.
        for (std::size_t i = 0; i < machines.machines.size(); ++i) {
            if (i != machines.inUse &&
                JournalWaitsFor(values, *platform.singleFiles, MachineNameOf(machines.machines[i]))) {
                AddNotice(values, "A launch on " + machines.machines[i].title +
                                      " did not finish: its game folders are put back when Vantrel next starts on "
                                      "it (choose it in the main window's list).");
            }
        }
        return started;
    };
    StartMode mode = StartMode::Refused;
    if (opensWindow) {
        BackgroundTask reading([&] {
            LoadSystemFontConfiguration();
            mode = prepare(held);
        });
        if (!application) {
            application = std::make_unique<QApplication>(argc, argv);
        }
        PrepareArtwork();
        reading.Wait();
        held.ShowTo(*messages);
    } else {
        mode = prepare(*messages);
    }
    std::optional<LaunchJournal> journal;
    journal.emplace(*platform.textFiles, *platform.singleFiles, values.stateFolder, platform.swapFiles->MachineName());
    // Read when a mod that keeps its own user data is launched, not at every start.
    const auto userDataFolder = [&](std::string_view gameFolder) {
        return GameUserDataFolder(values, *platform.registry, *platform.environment, gameFolder);
    };
    // A launch without a window outlasts a request to stop, and tells what the start found on stderr.
    const auto windowlessLaunch = [&]() -> LaunchServices {
        OutlastStopRequests();
        if (!values.startupNotice.empty()) {
            std::fprintf(stderr, "Vantrel: %s\n", values.startupNotice.c_str());
        }
        return {*platform.swapFiles, *platform.processRunner, *messages, {}, &*journal, platform.launchLock.get(), {},
                userDataFolder};
    };
    switch (mode) {
    case StartMode::Refused:
        return 1;
    case StartMode::SetAsideJournal:
        return SetAsideJournalMode(values, *platform.textFiles, *platform.singleFiles, *platform.swapFiles, *messages);
    case StartMode::Silent:
        return RunSilentMode(values, windowlessLaunch());
    case StartMode::Import: {
        const auto gameUserData = [&](GameId game) {
            return userDataFolder(InstallFolderOf(values, game));
        };
        const ImportResult result =
            RunImportMode(values, {*platform.importFiles, *platform.textFiles, *messages, {}, gameUserData},
                          platform.environment->Arguments());
        if (!result.ok) {
            std::fprintf(stderr, "%s\n", result.error.c_str());
            return 1;
        }
        // The name last, alone, for scripts that go on to play it.
        std::printf("%s\n%s\n", ImportSummary(result).c_str(), result.name.c_str());
        return 0;
    }
    case StartMode::Play:
        return RunPlayMode(values, windowlessLaunch(), platform.environment->Arguments());
    case StartMode::SteamLaunch:
        return RunSteamLaunch(values, windowlessLaunch(), platform.environment->Arguments(), *platform.gameFiles);
    case StartMode::Interactive:
        break;
    }
    if (!application) {
        if (!HasDisplay()) {
            messages->Show("No display is available to show the main window.", MessageIcon::None);
            return 1;
        }
        application = std::make_unique<QApplication>(argc, argv);
    }
    // The window is made anew on another machine when the player chooses one.
    QRect placed;
    for (;;) {
        bool machineChosen = false;
        {
            UiServices services{values,
                                *platform.textFiles,
                                *platform.directoryListing,
                                *platform.singleFiles,
                                *platform.swapFiles,
                                *platform.processRunner,
                                *platform.diskBrowser,
                                *messages,
                                *platform.instanceGuard,
                                &*journal,
                                platform.launchLock.get(),
                                platform.shortcuts.get(),
                                {},
                                userDataFolder,
                                platform.importFiles.get()};
            for (const auto& machine : machines.machines) {
                services.machines.push_back(machine.title);
            }
            services.machineInUse = machines.inUse;
            services.chooseMachine = [&](std::size_t index) {
                wantedMachine = machines.machines.at(index).id;
                machineChosen = true;
                if (!RememberMachine(wantedMachine)) {
                    messages->Show("Vantrel plays on " + machines.machines.at(index).title +
                                       " now, but could not keep that choice for its next start.",
                                   MessageIcon::None);
                }
            };
            FrmMain frmMain(services);
            if (placed.isValid()) {
                frmMain.setGeometry(placed);
            }
            frmMain.show();
            const int status = application->exec();
            if (!machineChosen) {
                return status;
            }
            placed = frmMain.geometry();
        }
        // The start again, as a new start on that machine would run it: the old machine's pieces, the
        // single-instance guard among them, go first.
        journal.reset();
        platform = {};
        platform = CreateNativePlatform(std::vector<std::string>(argv + 1, argv + argc));
        values = ProgramValues{};
        mode = prepare(*messages);
        if (mode != StartMode::Interactive) {
            return 1;
        }
        journal.emplace(*platform.textFiles, *platform.singleFiles, values.stateFolder,
                        platform.swapFiles->MachineName());
    }
}
