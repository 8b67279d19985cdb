// The windows driven as a user would, on Qt's offscreen platform.
#include <QApplication>
#include <QDir>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "mods/mod_catalogue.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"
#include "mods/definition_writer.h"
#include "ui/frm_add_mod.h"
#include "ui/frm_main.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;
using namespace Qt::StringLiterals;

class FakeGuard final : public InstanceGuard {
public:
    bool held = false;
    bool IsAnotherInstanceOpen() override { return false; }
    bool Acquire() override { return held = true; }
    void Release() override { held = false; }
};

// Records what the window asks of the shortcuts; each call fails with `failure` when it is set.
class RecordingShortcuts final : public Shortcuts {
public:
    bool Create(const ShortcutTarget& target) override {
        created.push_back(target);
        return failure.empty();
    }
    bool Remove(const ShortcutTarget& target) override {
        removed.push_back(target);
        return failure.empty();
    }
    std::string PathOf(const ShortcutTarget& target) override { return "/apps/" + target.name + ".desktop"; }
    std::string LastError() override { return failure; }

    std::vector<ShortcutTarget> created, removed;
    std::string failure;
};

// Passes messages on, running `shown` first: a test looks at the window as the message appears.
class WatchedMessages final : public Messages {
public:
    explicit WatchedMessages(Messages& inner) : inner_(inner) {}
    void Show(std::string_view text, MessageIcon icon) override {
        if (shown) {
            shown();
        }
        inner_.Show(text, icon);
    }
    std::function<void()> shown;

private:
    Messages& inner_;
};

// Runs `action` as soon as the modal loop that the next call opens is running.
void WhenModal(std::function<void()> action) {
    QTimer::singleShot(0, qApp, std::move(action));
}

QListWidgetItem* ItemNamed(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

void Click(QListWidget* list, const QString& text) {
    QListWidgetItem* item = ItemNamed(list, text);
    QVERIFY2(item, qPrintable(text));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

} // namespace

class UiTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TestMachine> machine;
    std::unique_ptr<ProgramValues> values;
    test::RecordingMessages messages;
    WatchedMessages watched{messages};
    test::RecordingRunner runner;
    FakeGuard guard;
    RecordingShortcuts shortcuts;
    std::unique_ptr<UiServices> services;
    std::unique_ptr<FrmMain> window;

    // The text with each "C:\\" made the test machine's own root: the same on Wine, a temporary
    // folder on Windows.
    std::string At(std::string text) const {
        std::string root = machine->WindowsPath("x");
        root.pop_back();
        for (std::size_t at = text.find("C:\\"); at != std::string::npos; at = text.find("C:\\", at + root.size())) {
            text.replace(at, 3, root);
        }
        return text;
    }
    std::string At(const char* text) const { return At(std::string(text)); }
    QString At(const QString& text) const { return QString::fromStdString(At(text.toStdString())); }

    void Open(const std::string& generals = "C:\\Games\\Generals\\", const std::string& zeroHour = "C:\\Games\\ZH\\") {
        values->szGeneralsPath = At(generals);
        values->szZeroHourPath = At(zeroHour);
        LoadModCatalogue(*values, machine->directoryListing(), machine->textFiles());
        window = std::make_unique<FrmMain>(*services);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    // The status line's whole text, shown or, where it is shortened, in its tooltip.
    QString Status() const {
        const QString whole = window->lblStatus->toolTip();
        return whole.isEmpty() ? window->lblStatus->text() : whole;
    }

    QStringList Mods() const {
        QStringList names;
        for (int i = 0; i < window->lstMods->count(); ++i) {
            names << window->lstMods->item(i)->text();
        }
        return names;
    }

private slots:
    void init() {
        machine = std::make_unique<test::TestMachine>();
        machine->Write("Games/Generals/generals.exe", "game");
        machine->Write("Games/Generals/worldbuilder.exe", "map editor");
        machine->Write("Games/Generals/Data/Maps/Alpine.map", "game map");
        machine->Write("Games/ZH/generals.exe", "game");
        machine->Write("Mods/Example/Maps/Mod.map", "mod map");
        machine->Write("Mods/Example/Readme.txt", "readme");
        machine->Write("Vantrel/Alpha.vtl", At("Location=C:\\Mods\\Alpha.big\r\n"));
        machine->Write("Vantrel/Example.vtl", At("Location=C:\\Mods\\Example\\Example.big\r\n[Folder]\r\n"
                                                 "Source=C:\\Mods\\Example\\Maps\r\nDestination=C:\\Games\\Generals\\Data\r\n"));
        values = std::make_unique<ProgramValues>();
        values->definitionFolder = machine->WindowsPath("Vantrel");
        messages.shown.clear();
        runner.commands.clear();
        runner.whileRunning = nullptr;
        runner.startError.clear();
        // A game that starts, runs for half an hour and ends well.
        runner.stages = {RunStage::WaitingForGame, RunStage::GameRunning};
        runner.exitCode = 0;
        runner.seconds = 1800;
        watched.shown = nullptr;
        services = std::make_unique<UiServices>(UiServices{*values, machine->textFiles(), machine->directoryListing(),
                                                           machine->singleFiles(), machine->swapFiles(), runner,
                                                           machine->diskBrowser(), watched, guard, nullptr,
                                                           nullptr, &shortcuts});
        shortcuts.created.clear();
        shortcuts.removed.clear();
        shortcuts.failure.clear();
    }

    void cleanup() {
        window.reset();
        services.reset();
        machine.reset();
    }

    void loadShowsGamesAndMods_data() {
        QTest::addColumn<QString>("generals");
        QTest::addColumn<QString>("zeroHour");
        QTest::addColumn<QStringList>("games");
        QTest::addColumn<bool>("worldbuilder"); // the button enabled: only Generals has the map editor
        QTest::newRow("both games") << "C:\\Games\\Generals\\" << "C:\\Games\\ZH\\"
                                    << QStringList{"C:\\Games\\Generals\\", "C:\\Games\\ZH\\"} << true;
        QTest::newRow("only Zero Hour") << "" << "C:\\Games\\ZH\\" << QStringList{"C:\\Games\\ZH\\"} << false;
        QTest::newRow("no game") << "" << "" << QStringList{} << true;
    }

    void loadShowsGamesAndMods() {
        QFETCH(QString, generals);
        QFETCH(QString, zeroHour);
        QFETCH(QStringList, games);
        QFETCH(bool, worldbuilder);
        Open(generals.toStdString(), zeroHour.toStdString());
        QCOMPARE(window->windowTitle(), QStringLiteral("Vantrel"));
        QStringList listed;
        for (int i = 0; i < window->lstGames->count(); ++i) {
            listed << window->lstGames->item(i)->text();
        }
        for (QString& game : games) {
            game = At(game);
        }
        QCOMPARE(listed, games);
        QCOMPARE(window->lstGames->selectedItems().size(), games.isEmpty() ? 0 : 1);
        if (!games.isEmpty()) {
            QVERIFY(window->lstGames->item(0)->isSelected());
        }
        QCOMPARE(Mods(), (QStringList{"Alpha", "Example"}));
        QVERIFY(window->lstMods->selectedItems().isEmpty());
        QVERIFY(!window->btnEditMod->isEnabled());
        QVERIFY(!window->btnDelMod->isEnabled());
        QVERIFY(window->btnAddMod->isEnabled());
        QCOMPARE(window->btnWorldbuilder->isEnabled(), worldbuilder);
        QCOMPARE(window->lblVersion->text(), QStringLiteral("0.1.0"));
        QVERIFY(guard.held);
    }

    void aSteamZeroHourAloneSaysWhyGeneralsIsMissing() {
        values->zeroHourSource = "Steam";
        Open("", "C:\\Games\\ZH\\");
        QVERIFY2(window->lstGames->toolTip().contains(u"ZH_Generals"), qPrintable(window->lstGames->toolTip()));
        QVERIFY(window->lstGames->item(0)->toolTip().contains(u"Found through: Steam"));
        QVERIFY(window->lstGames->item(0)->toolTip().contains(u"Generals was not found"));
        values->zeroHourSource = "EA App";
        Open("", "C:\\Games\\ZH\\");
        QVERIFY(window->lstGames->toolTip().isEmpty());
    }

    // With two machines holding the games the player picks one; the choice is handed on and the window
    // closes to be made anew on it. A launch under way keeps its machine; one machine shows no list.
    void theMachineIsChosenOnlyAmongSeveral() {
        std::vector<std::size_t> chosen;
        services->chooseMachine = [&](std::size_t index) { chosen.push_back(index); };
        services->machines = {"~/.wine"};
        Open();
        QVERIFY(window->cboMachine->isHidden());
        services->machines = {"~/.wine", "Lutris: Command & Conquer Generals Zero Hour"};
        Open();
        QVERIFY(window->cboMachine->isVisible());
        QVERIFY(window->cboMachine->geometry().bottom() < window->lstGames->geometry().top());
        QCOMPARE(window->cboMachine->currentIndex(), 0);
        runner.whileRunning = [&] {
            window->cboMachine->setCurrentIndex(1);
            emit window->cboMachine->activated(1);
        };
        QTest::mouseClick(window->btnLaunch, Qt::LeftButton);
        QCOMPARE(runner.commands.size(), 1u);
        QVERIFY(chosen.empty());
        QCOMPARE(window->cboMachine->currentIndex(), 0);
        QVERIFY(window->isVisible());
        window->cboMachine->setCurrentIndex(1);
        emit window->cboMachine->activated(1);
        QCOMPARE(chosen, std::vector<std::size_t>{1});
        QVERIFY(!window->isVisible());
    }

    void startupNoticeShowsInTheStatusLine() {
        values->startupNotice = "A launch did not finish; the game folders were put back as they were.";
        Open();
        QCOMPARE(window->lblStatus->text(), QString::fromStdString(values->startupNotice));
    }

    void focusFollowsTheLayout() {
        Open();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(window->lstGames));
        // Top to bottom, column by column from the left.
        const QWidget* expected[] = {window->lstGames,   window->lstMods,    window->btnImportMod,
                                     window->chkNoIntro, window->chkSkipShellmap, window->chkNoMusic,
                                     window->chkNoAudio, window->chkRunInWindow,  window->chkDebug,
                                     window->btnAddMod,  window->btnEditMod,      window->btnDelMod,
                                     window->btnLaunch,  window->btnWorldbuilder};
        // Disabled buttons are passed over by the keyboard; enable them to see the whole chain.
        window->btnEditMod->setEnabled(true);
        window->btnDelMod->setEnabled(true);
        window->btnImportMod->setEnabled(true);
        for (std::size_t i = 1; i < std::size(expected); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), expected[i]->objectName());
        }
    }

    void everyCaptionIsShownWhole() {
        Open();
        window->SetStatus(QStringLiteral("The game is running. The installation will be restored when it ends."));
        for (auto* label : window->findChildren<QLabel*>()) {
            if (label->pixmap().isNull() && !label->wordWrap() && !label->text().isEmpty()) {
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            }
            if (label->wordWrap()) {
                QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(label->text()));
            }
        }
        for (auto* box : window->findChildren<QCheckBox*>()) {
            QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->text()));
        }
        for (auto* button : window->findChildren<QPushButton*>()) {
            QVERIFY2(button->sizeHint().width() <= button->width() + 16 &&
                         button->fontMetrics().size(0, button->text()).height() <= button->height(),
                     qPrintable(button->text()));
        }
        QVERIFY(window->rect().contains(window->Frame2->geometry()));
    }

    void selectingAModEnablesEditAndRemove() {
        Open();
        QVERIFY(!window->lblNoGame);
        // Hovering a mod shows its definition file, BIG file and pairs.
        QListWidgetItem* example = ItemNamed(window->lstMods, "Example");
        const QPoint at = window->lstMods->visualItemRect(example).center();
        QHelpEvent hover(QEvent::ToolTip, at, window->lstMods->viewport()->mapToGlobal(at));
        QApplication::sendEvent(window->lstMods->viewport(), &hover);
        QCOMPARE(QToolTip::text(),
                 At(QString::fromUtf8("Example\nDefinition: C:\\Vantrel\\Example.vtl\nBIG file: C:\\Mods\\Example\\Example.big\n"
                                      "C:\\Mods\\Example\\Maps \u2192 C:\\Games\\Generals\\Data")));
        // Below the mods, the folder they are read from.
        const QPoint below(4, window->lstMods->viewport()->height() - 4);
        QHelpEvent hoverBelow(QEvent::ToolTip, below, window->lstMods->viewport()->mapToGlobal(below));
        QApplication::sendEvent(window->lstMods->viewport(), &hoverBelow);
        QCOMPARE(QToolTip::text(), QStringLiteral("Mod definitions are read from ") +
                                       QString::fromStdString(machine->WindowsPath("Vantrel")));
        Click(window->lstMods, "Example");
        QVERIFY(window->btnEditMod->isEnabled());
        QVERIFY(window->btnDelMod->isEnabled());
        window->RefreshModList();
        QVERIFY(!window->btnEditMod->isEnabled());
        QVERIFY(!window->btnDelMod->isEnabled());
    }

    void launchBuildsTheCommandLine_data() {
        QTest::addColumn<QStringList>("ticked");
        QTest::addColumn<QString>("mod");
        QTest::addColumn<bool>("worldbuilder");
        QTest::addColumn<QString>("command");
        const QString game = "C:\\Games\\Generals\\";
        QTest::newRow("nothing") << QStringList{} << "" << false << game + "generals.exe";
        QTest::newRow("intro and window, with mod")
            << QStringList{"chkRunInWindow", "chkNoIntro"} << "Example" << false
            << game + "generals.exe -nologo -win -mod C:\\Mods\\Example\\Example.big";
        QTest::newRow("debug alone") << QStringList{"chkDebug"} << "" << false
                                     << game + "generals.exe -constantdebug -scriptdebug";
        QTest::newRow("worldbuilder with everything")
            << QStringList{"chkDebug", "chkRunInWindow", "chkNoAudio", "chkNoMusic", "chkSkipShellmap", "chkNoIntro"}
            << "" << true
            << game + "worldbuilder.exe -nologo -noshellmap -nomusic -noaudio -win -constantdebug -scriptdebug";
        QTest::newRow("worldbuilder with a mod") << QStringList{"chkNoMusic"} << "Alpha" << true
                                                 << game + "worldbuilder.exe -nomusic -mod C:\\Mods\\Alpha.big";
    }

    void launchBuildsTheCommandLine() {
        QFETCH(QStringList, ticked);
        QFETCH(QString, mod);
        QFETCH(bool, worldbuilder);
        QFETCH(QString, command);
        Open();
        for (const auto& name : ticked) {
            auto* box = window->findChild<QCheckBox*>(name);
            QVERIFY(box);
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2)); // on the tick box itself
        }
        if (!mod.isEmpty()) {
            Click(window->lstMods, mod);
        }
        const std::string before = test::DescribeTree(machine->HostPath("Games"));
        std::string during;
        bool disabledWhileRunning = false;
        runner.whileRunning = [&] {
            during = test::DescribeTree(machine->HostPath("Games"));
            disabledWhileRunning = window->launching() && !window->btnLaunch->isEnabled();
            QVERIFY(Status().startsWith(worldbuilder ? u"World Builder is running\u2026"
                                                     : u"The game is running\u2026"));
        };
        QTest::mouseClick(worldbuilder ? window->btnWorldbuilder : window->btnLaunch, Qt::LeftButton);
        QCOMPARE(window->lblStatus->text(), worldbuilder ? QStringLiteral("World Builder ended.") : QStringLiteral("The game ended."));
        QCOMPARE(runner.commands.size(), 1u);
        QCOMPARE(QString::fromStdString(runner.commands[0]), At(command));
        QVERIFY(messages.shown.empty());
        QVERIFY(disabledWhileRunning);
        QCOMPARE(during.find("Data/Maps.original/") != std::string::npos, mod == "Example");
        QCOMPARE(test::DescribeTree(machine->HostPath("Games")), before);
        QVERIFY(window->btnLaunch->isEnabled());
        QVERIFY(!window->launching());
    }

    void aModOfTheOtherGameIsPlayedOnlyWhenThePlayerSaysSo() {
        Open();
        Click(window->lstGames, QString::fromStdString(At("C:\\Games\\ZH\\")));
        Click(window->lstMods, QStringLiteral("Example")); // its files go into Generals' folder
        const std::string before = test::DescribeTree(machine->HostPath("Games"));
        for (const auto button : {QMessageBox::No, QMessageBox::Yes}) {
            QString asked;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                QVERIFY(box);
                asked = box->text();
                box->button(button)->click();
            });
            QTest::mouseClick(window->btnLaunch, Qt::LeftButton);
            QVERIFY2(asked.contains(u"for Generals: its files go into Generals' folders, not into Zero Hour's") &&
                         asked.contains(u"Start Zero Hour"),
                     qPrintable(asked));
            QCOMPARE(runner.commands.size(), button == QMessageBox::Yes ? 1u : 0u);
            QCOMPARE(test::DescribeTree(machine->HostPath("Games")), before);
        }
        QVERIFY(runner.commands[0].starts_with(At("C:\\Games\\ZH\\generals.exe")));
    }

    void aDroppedModIsKeptOnlyWhenSavedInTheEditor_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("saved") << true;
        QTest::newRow("closed") << false;
    }

    void aDroppedModIsKeptOnlyWhenSavedInTheEditor() {
        QFETCH(bool, save);
        services->importFiles = &machine->importFiles();
        machine->Write("Downloads/Cool Mod/!Cool.gib", "big");
        machine->Write("Downloads/Cool Mod/Readme.txt", "for Zero Hour");
        Open();
        int pairs = -1;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            FrmAddMod* editor = window->addModDialog();
            if (editor && editor->isVisible()) {
                answer.stop();
                pairs = editor->lstResult->count();
                save ? editor->OKButton->click() : (void)editor->close();
            }
        });
        answer.start(20);
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(machine->HostPath("Downloads/Cool Mod").string()))});
        // Qt hands a drop only to the widget that took the drag when it entered.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(window.get(), &drop);
        QCOMPARE(pairs, 1); // the BIG file, into the selected game's folder
        QCOMPARE(Mods().contains(QStringLiteral("Cool Mod")), save);
        QCOMPARE(std::filesystem::exists(machine->HostPath("Vantrel/Mods/Cool Mod/!Cool.big")), save);
        QCOMPARE(std::filesystem::exists(machine->HostPath("Vantrel/Mods")), save);
        QCOMPARE(std::filesystem::exists(machine->HostPath("Vantrel/Cool Mod.vtl")), save);
        QVERIFY2(Status().contains(save ? u"was imported" : u"was not kept"), qPrintable(Status()));
    }

    void launchShowsTheCopyProgress() {
        Open();
        QStringList seen;
        connect(window->prgCopy, &QProgressBar::valueChanged, this,
                [&] { seen << window->lblStatus->text(); });
        Click(window->lstMods, "Example");
        QTest::mouseClick(window->btnLaunch, Qt::LeftButton);
        QVERIFY(!seen.isEmpty());
        QCOMPARE(seen.last(), QStringLiteral("Copying the mod: 2 of 2 entries, 0.0 of 0.0 MiB"));
        QCOMPARE(window->prgCopy->value(), 1000);
        QVERIFY(window->prgCopy->isHidden());
        QCOMPARE(window->lblStatus->text(), QStringLiteral("The game ended."));

        // A program that does not start is a failure, shown and kept on the status line.
        runner.startError = "C:\\Games\\Generals\\generals.exe was not found";
        QTest::mouseClick(window->btnLaunch, Qt::LeftButton);
        QCOMPARE(messages.shown.size(), 1u);
        QCOMPARE(Status(),
                 QStringLiteral("The launch failed: the game could not be started: C:\\Games\\Generals\\generals.exe was not found"));
    }

    void statusLineFollowsTheRun_data() {
        QTest::addColumn<QString>("mod");
        QTest::addColumn<bool>("worldbuilder");
        QTest::addColumn<int>("stagesTold"); // of WaitingForGame and GameRunning, in turn
        QTest::addColumn<bool>("starts");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("meanwhile"); // while the program runs, or as its failure is shown
        QTest::addColumn<QString>("after");
        const QString running = u"The game is running\u2026"_s, waiting = u"Waiting for the game to start\u2026"_s;
        const QString putBack = u" The game folder will be put back when it ends."_s;
        const QString ended = u"The game ended."_s;
        const QString failed = u"The launch failed: the game could not be started: gone"_s;
        QTest::newRow("the game runs") << "" << false << 2 << true << 0 << 1800.0 << running << ended;
        QTest::newRow("the store's client starts it") << "" << false << 1 << true << 0 << 1800.0 << waiting << ended;
        QTest::newRow("World Builder runs")
            << "" << true << 2 << true << 0 << 1800.0 << u"World Builder is running\u2026"_s << "World Builder ended.";
        QTest::newRow("a mod with pairs")
            << "Example" << false << 2 << true << 0 << 1800.0 << running + putBack << ended;
        QTest::newRow("ended at once, exit code 3")
            << "Example" << false << 2 << true << 3 << 0.2 << running + putBack
            << "The game ended after 0.2 s with exit code 3; the game folder was put back.";
        QTest::newRow("exit code 3, a BIG file alone")
            << "Alpha" << false << 2 << true << 3 << 1800.0 << running
            << "The game ended after 1800 s with exit code 3.";
        QTest::newRow("no game after waiting") << "" << false << 1 << false << 0 << 0.0 << waiting << failed;
        QTest::newRow("a mod's game not started")
            << "Example" << false << 0 << false << 0 << 0.0 << u"Starting the game\u2026"_s << failed;
        QTest::newRow("no World Builder")
            << "" << true << 0 << false << 0 << 0.0 << u"Starting World Builder\u2026"_s << failed;
    }

    void statusLineFollowsTheRun() {
        QFETCH(QString, mod);
        QFETCH(bool, worldbuilder);
        QFETCH(int, stagesTold);
        QFETCH(bool, starts);
        QFETCH(int, exitCode);
        QFETCH(double, seconds);
        QFETCH(QString, meanwhile);
        QFETCH(QString, after);
        runner.stages.resize(static_cast<std::size_t>(stagesTold));
        runner.startError = starts ? "" : "gone";
        runner.exitCode = exitCode;
        runner.seconds = seconds;
        Open();
        if (!mod.isEmpty()) {
            Click(window->lstMods, mod);
        }
        QString seen;
        runner.whileRunning = [&] { seen = Status(); };
        watched.shown = [&] { seen = Status(); };
        QTest::mouseClick(worldbuilder ? window->btnWorldbuilder : window->btnLaunch, Qt::LeftButton);
        QCOMPARE(seen, meanwhile);
        QCOMPARE(Status(), after);
    }

    void longStatusLinesFitTheLine_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("wider"); // pixels the window is made wider once the line is shown
        QTest::addColumn<QString>("shown"); // a pattern; \x{2026} is the ellipsis
        const QString twoPaths = QStringLiteral(
            R"(Could not copy "C:\Mods\Art.ini" to "C:\Program Files\EA Games\Command and Conquer Generals )"
            R"(Zero Hour\Data\INI\Object\AmericaTankCrusader.ini": access denied)");
        const QString unquoted = QStringLiteral(
            R"(The game could not be started: C:\Program Files\EA Games\Command and Conquer Generals Zero )"
            R"(Hour\generals.exe was not found)");
        QTest::newRow("the longer path shortened in its middle")
            << twoPaths << 0
            << R"(Could not copy "C:\\Mods\\Art\.ini" to "C:\\[^"\x{2026}]+\x{2026}[^"\x{2026}]*\.ini": access denied)";
        QTest::newRow("made wide enough, shown whole") << twoPaths << 2000 << QRegularExpression::escape(twoPaths);
        QTest::newRow("a path with blanks, unquoted")
            << unquoted << 0
            << R"(The game could not be started: C:\\[^\x{2026}]+\x{2026}[^\x{2026}]*\.exe was not found)";
        QTest::newRow("no path: cut after a word")
            << QStringLiteral("A launch did not finish and the game folders were put back as they were before it "
                              "began, except for the entries that were changed since then, which were set aside.")
            << 0 << R"(A launch did not finish [^\x{2026}]*\x{2026})";
    }

    void longStatusLinesFitTheLine() {
        QFETCH(QString, text);
        QFETCH(int, wider);
        QFETCH(QString, shown);
        Open();
        window->SetStatus(text);
        window->resize(window->width() + wider, window->height());
        QLabel* line = window->lblStatus;
        QVERIFY2(line->fontMetrics().horizontalAdvance(line->text()) <= line->contentsRect().width(),
                 qPrintable(line->text()));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(shown)).match(line->text()).hasMatch(),
                 qPrintable(line->text()));
        QCOMPARE(line->toolTip(), line->text() == text ? QString() : text);
        // Cut at its end, the line ends with a whole word.
        if (line->text().endsWith(u'\u2026')) {
            QVERIFY2(text.startsWith(line->text().chopped(1)) && !text.at(line->text().size() - 1).isLetterOrNumber(),
                     qPrintable(line->text()));
        }
    }

    void worldbuilderNeedsItsProgram_data() {
        QTest::addColumn<QString>("entry"); // written into Zero Hour's folder
        QTest::addColumn<bool>("enabled");
        QTest::newRow("none") << QString() << false;
        QTest::newRow("named as the disc installs it") << "WorldBuilder.exe" << true;
        QTest::newRow("a folder of that name") << "worldbuilder.exe/readme.txt" << false;
    }

    void worldbuilderNeedsItsProgram() {
        QFETCH(QString, entry);
        QFETCH(bool, enabled);
        if (!entry.isEmpty()) {
            machine->Write("Games/ZH/" + entry.toStdString(), "map editor");
        }
        Open();
        const QString zeroHour = At(QStringLiteral("C:\\Games\\ZH\\"));
        const QString why = enabled ? QString() : zeroHour + " has no worldbuilder.exe";
        QVERIFY(window->btnWorldbuilder->isEnabled());
        Click(window->lstGames, zeroHour);
        QCOMPARE(window->btnWorldbuilder->isEnabled(), enabled);
        QCOMPARE(window->btnWorldbuilder->toolTip(), why);
        // A launch enables the window's controls again, this one only where it can start something.
        QTest::mouseClick(window->btnLaunch, Qt::LeftButton);
        QCOMPARE(window->btnWorldbuilder->isEnabled(), enabled);
        QCOMPARE(window->btnWorldbuilder->toolTip(), why);
        Click(window->lstGames, At(QStringLiteral("C:\\Games\\Generals\\")));
        QVERIFY(window->btnWorldbuilder->isEnabled() && window->btnWorldbuilder->toolTip().isEmpty());
    }

    void gameLinesTellWhereTheFolderCameFrom() {
        values->generalsSource = "Steam";
        Open();
        QCOMPARE(window->lstGames->item(0)->toolTip(), At(QStringLiteral("C:\\Games\\Generals\\\nFound through: Steam")));
        QCOMPARE(window->lstGames->item(1)->toolTip(), At(QStringLiteral("C:\\Games\\ZH\\")));
    }

    void launchNeedsAGame() {
        values->gameSearch = "Vantrel looked in the registry and in the Steam libraries Z:\\home\\player\\.local\\"
                             "share\\Steam, D:\\SteamLibrary and E:\\Games\\SteamLibrary.";
        Open("", "");
        QVERIFY(window->lblNoGame && window->lblNoGame->isVisible());
        QCOMPARE(window->lblNoGame->text().toStdString(),
                 std::string(kNoGameFoundText) + " " +
                     std::string(QSysInfo::kernelType() == "winnt" ? kNoGameAdviceTextWindows : kNoGameAdviceText) +
                     " " + values->gameSearch);
        // Longer than the box, the text is laid out whole and scrolls into view.
        QVERIFY(window->lblNoGame->height() >= window->lblNoGame->heightForWidth(window->lblNoGame->width()));
        QVERIFY(window->lblNoGame->height() > window->lstGames->viewport()->height());
        for (auto* button : {window->btnLaunch, window->btnWorldbuilder}) {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QVERIFY(runner.commands.empty());
        QCOMPARE(messages.shown.size(), 2u);
        QCOMPARE(messages.shown[0].text, std::string("Please select the game to launch"));
    }

    void windowCannotBeClosedWhileTheGameRuns() {
        Open();
        bool stayedOpen = false;
        runner.whileRunning = [&] { stayedOpen = !window->close() && window->isVisible(); };
        QTest::mouseClick(window->btnLaunch, Qt::LeftButton);
        QVERIFY(stayedOpen);
        QVERIFY(window->close());
        QVERIFY(!guard.held);
    }

    void addWritesTheDefinitionAndRefillsTheList_data() {
        QTest::addColumn<bool>("ownUserData"); // the box ticked
        QTest::addColumn<QString>("lastLine");
        QTest::newRow("shared user data") << false << QString();
        QTest::newRow("own user data") << true << QStringLiteral("UserData=Own\r\n");
    }

    void addWritesTheDefinitionAndRefillsTheList() {
        QFETCH(bool, ownUserData);
        QFETCH(QString, lastLine);
        Open();
        WhenModal([&] {
            FrmAddMod* editor = window->addModDialog();
            QVERIFY(editor && editor->isVisible());
            QVERIFY(!window->btnAddMod->isEnabled());
            QVERIFY(editor->txtTitle->text().isEmpty());
            QVERIFY(!editor->chkOwnUserData->isChecked());
            QTest::keyClicks(editor->txtTitle, "Zulu");
            QTest::keyClicks(editor->txtLocation, "C:\\Mods\\Zulu.big");
            editor->AddItem("C:\\Mods\\Example\\Maps", "C:\\Games\\Generals\\Data");
            if (ownUserData) {
                // On the box itself: the row is wider than what a click there ticks.
                QCheckBox* box = editor->chkOwnUserData;
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
            }
            QTest::mouseClick(editor->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
        QCOMPARE(Mods(), (QStringList{"Alpha", "Example", "Zulu"}));
        QCOMPARE(QString::fromStdString(machine->Read("Vantrel/Zulu.vtl")),
                 QStringLiteral("Location=C:\\Mods\\Zulu.big\r\n[Folder]\r\nSource=C:\\Mods\\Example\\Maps\r\n"
                                "Destination=C:\\Games\\Generals\\Data\r\n") + lastLine);
        QCOMPARE(values->Mods[2].ownUserData, ownUserData);
        QVERIFY(window->btnAddMod->isEnabled());
        QVERIFY(window->addModDialog() && !window->addModDialog()->isVisible());
        QVERIFY(window->addModDialog()->lstSrc.empty() && window->addModDialog()->lstResult->count() == 0);
        QVERIFY2(!window->addModDialog()->chkOwnUserData->isChecked(), "the next mod starts with the box clear");
    }

    // A title the writer refuses leaves the editor open with everything entered, saying why.
    void aRefusedTitleKeepsTheEditorOpenWithItsPairs_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QString() << QString::fromUtf8(kMissingNameMessage.data());
        QTest::newRow("too long for a file name") << QString(300, 'a') << QString::fromUtf8(kTitleRefusedMessage.data());
        QTest::newRow("a wildcard") << QStringLiteral("What?") << QString::fromUtf8(kTitleRefusedMessage.data());
    }

    void aRefusedTitleKeepsTheEditorOpenWithItsPairs() {
        QFETCH(QString, title);
        QFETCH(QString, message);
        Open();
        messages.shown.clear();
        WhenModal([&] {
            FrmAddMod* editor = window->addModDialog();
            editor->AddItem("C:\\Mods\\Example\\Maps", "C:\\Games\\Generals\\Data");
            editor->txtTitle->setText(title);
            QTest::mouseClick(editor->OKButton, Qt::LeftButton);
            QVERIFY(editor->isVisible());
            QCOMPARE(messages.shown.size(), 1u);
            QCOMPARE(QString::fromStdString(messages.shown[0].text), message);
            QCOMPARE(editor->lstSrc.size(), 1u);
            editor->txtTitle->setText(QStringLiteral("Kept"));
            QTest::mouseClick(editor->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
        QCOMPARE(Mods(), (QStringList{"Alpha", "Example", "Kept"}));
        QVERIFY(machine->Read("Vantrel/Kept.vtl").find("Source=C:\\Mods\\Example\\Maps") != std::string::npos);
    }

    void enterInATextBoxDoesNotSave() {
        Open();
        WhenModal([&] {
            FrmAddMod* editor = window->addModDialog();
            QTest::keyClicks(editor->txtTitle, "Typed");
            QTest::keyClick(editor->txtTitle, Qt::Key_Return);
            QVERIFY2(editor->isVisible(), "Enter in the title must not press OK");
            QVERIFY(!fs::exists(machine->HostPath("Vantrel/Typed.vtl")));
            editor->close();
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
    }

    void closingTheEditorAbandonsTheEdit() {
        Open();
        WhenModal([&] {
            QTest::keyClicks(window->addModDialog()->txtTitle, "Abandoned");
            window->addModDialog()->AddItem("C:\\Mods\\Example\\Maps", "C:\\Games\\Generals\\Data");
            window->addModDialog()->close();
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
        QVERIFY2(!window->addModDialog(), "the closed editor is destroyed");
        QVERIFY(!fs::exists(machine->HostPath("Vantrel/Abandoned.vtl")));
        QCOMPARE(Mods(), (QStringList{"Alpha", "Example"}));
        QVERIFY(window->btnAddMod->isEnabled());
    }

    void editAfterATitleChangeKeepsBothDefinitions() {
        Open();
        Click(window->lstMods, "Example");
        WhenModal([&] {
            FrmAddMod* editor = window->addModDialog();
            QCOMPARE(editor->txtTitle->text(), QStringLiteral("Example"));
            QCOMPARE(editor->txtLocation->text(), At(QStringLiteral("C:\\Mods\\Example\\Example.big")));
            QCOMPARE(editor->lstResult->count(), 1);
            QCOMPARE(editor->lstResult->item(0)->text(), At(QStringLiteral("C:\\Games\\Generals\\Data\\Maps")));
            editor->txtTitle->setText(QStringLiteral("Example Two"));
            QTest::mouseClick(editor->OKButton, Qt::LeftButton);
        });
        QTest::mouseDClick(window->lstMods->viewport(), Qt::LeftButton, {},
                           window->lstMods->visualItemRect(ItemNamed(window->lstMods, "Example")).center());
        // Listed as NTFS orders the file names: a blank sorts before the dot.
        QCOMPARE(Mods(), (QStringList{"Alpha", "Example Two", "Example"}));
        QVERIFY(machine->Read("Vantrel/Example Two.vtl").starts_with(At("Location=C:\\Mods\\Example\\Example.big\r\n[Folder]")));
        QVERIFY(machine->Read("Vantrel/Example.vtl").starts_with(At("Location=C:\\Mods\\Example\\Example.big\r\n")));
        QVERIFY(!window->btnEditMod->isEnabled());
    }

    // A mod that keeps its own user data: the editor shows it and keeps it, its menu offers its
    // folder, and removing it keeps the folder, saying where.
    void aModsOwnUserDataIsKeptAndShown() {
        machine->Write("Vantrel/Own.vtl", At("Location=C:\\Mods\\Own.big\r\nUserData=Own\r\n"));
        machine->Write("Documents/Command and Conquer Generals Data (Own)/Options.ini", "mod's options");
        services->userDataFolder = [this](std::string_view) {
            return machine->WindowsPath("Documents\\Command and Conquer Generals Data");
        };
        Open();
        Click(window->lstMods, "Own");
        WhenModal([&] {
            QVERIFY(window->addModDialog()->chkOwnUserData->isChecked());
            QTest::mouseClick(window->addModDialog()->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnEditMod, Qt::LeftButton);
        QVERIFY(machine->Read("Vantrel/Own.vtl").ends_with("UserData=Own\r\n"));
        const std::string ownFolder = machine->WindowsPath("Documents\\Command and Conquer Generals Data (Own)");
        // Saved under a new name, it starts afresh; the old one's folder stays, and the player is told.
        Click(window->lstMods, "Own");
        WhenModal([&] {
            window->addModDialog()->txtTitle->setText(QStringLiteral("Own Two"));
            QTest::mouseClick(window->addModDialog()->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnEditMod, Qt::LeftButton);
        QCOMPARE(Status(), QString::fromStdString("Own Two keeps its own settings, maps, replays and saved games apart "
                                                  "from Own's, which stay in " + ownFolder + "."));
        const int own = static_cast<int>(Mods().indexOf("Own"));
        window->lstMods->setCurrentRow(own);
        QObject waiting;
        bool offered = false;
        QTimer::singleShot(0, &waiting, [&] {
            offered = window->mnuOpenModData->isEnabled();
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        });
        QTest::keyClick(window->lstMods, Qt::Key_Menu);
        QVERIFY2(offered, "the menu offers the mod's own folder");
        QTest::mouseClick(window->btnDelMod, Qt::LeftButton);
        QVERIFY(!Mods().contains("Own"));
        QCOMPARE(Status(), QString::fromStdString("Own was removed; its own settings, maps, replays and saved games stay in " +
                                                  ownFolder + "."));
        QVERIFY(fs::exists(machine->HostPath("Documents/Command and Conquer Generals Data (Own)/Options.ini")));
    }

    void editOfAnUnreadableDefinitionDoesNothing() {
        machine->Write("Vantrel/Broken.Mod.vtl", "Location=\r\n");
        Open();
        fs::remove(machine->HostPath("Vantrel/Broken.Mod.vtl")); // gone since the list was filled
        Click(window->lstMods, "Broken");
        QTest::mouseClick(window->btnEditMod, Qt::LeftButton);
        QVERIFY(!window->addModDialog());
        QVERIFY2(window->btnEditMod->isEnabled(), "no refill after a failed read");
    }

    void removeDeletesTheDefinition() {
        // Listed under one name, "Alpha.Beta.vtl" comes before "Alpha.vtl": removing it takes its own file.
        machine->Write("Vantrel/Alpha.Beta.vtl", "Location=C:\\Beta.big\r\n");
        Open();
        QCOMPARE(Mods(), (QStringList{"Alpha", "Alpha", "Example"}));
        window->lstMods->setCurrentRow(0);
        QTest::mouseClick(window->btnDelMod, Qt::LeftButton);
        QVERIFY(fs::exists(machine->HostPath("Vantrel/Alpha.vtl")));
        QVERIFY(!fs::exists(machine->HostPath("Vantrel/Alpha.Beta.vtl")));
        Click(window->lstMods, "Alpha");
        QTest::mouseClick(window->btnDelMod, Qt::LeftButton);
        QCOMPARE(Mods(), (QStringList{"Example"}));
        QVERIFY(!fs::exists(machine->HostPath("Vantrel/Alpha.vtl")));
        QVERIFY(!window->btnDelMod->isEnabled());
        // Each removed mod's shortcut goes with it.
        const auto target = [this](const std::string& name) {
            return ShortcutTarget{name, machine->WindowsPath("Vantrel\\" + name + ".vtl")};
        };
        // Those of each game too.
        std::vector<ShortcutTarget> removed = EveryGameOf(target("Alpha.Beta"));
        for (const auto& each : EveryGameOf(target("Alpha"))) {
            removed.push_back(each);
        }
        QCOMPARE(shortcuts.removed, removed);

        // A definition that cannot be deleted stays listed, and so does its shortcut.
        fs::permissions(machine->HostPath("Vantrel/Example.vtl"), fs::perms::owner_write, fs::perm_options::remove);
        Click(window->lstMods, "Example");
        QTest::mouseClick(window->btnDelMod, Qt::LeftButton);
        QCOMPARE(Mods(), (QStringList{"Example"}));
        QVERIFY(messages.shown.empty());
        QCOMPARE(shortcuts.removed.size(), removed.size());

        // A shortcut that cannot be removed is named; the mod is gone all the same.
        fs::permissions(machine->HostPath("Vantrel/Example.vtl"), fs::perms::owner_write, fs::perm_options::add);
        shortcuts.failure = "/apps/vantrel-Example.desktop: access denied";
        Click(window->lstMods, "Example");
        QTest::mouseClick(window->btnDelMod, Qt::LeftButton);
        QVERIFY(Mods().isEmpty());
        QCOMPARE(messages.shown.size(), 1u);
        QCOMPARE(messages.shown[0].text, std::string("Example was removed from the list, but its shortcut could not be "
                                                     "removed.\n/apps/vantrel-Example.desktop: access denied"));
    }

    // Opens the mod list's menu as `how` says, with the pointer on `row` for the right button, and
    // returns whether Create Shortcut was offered; it is chosen when offered and `choose` is set.
    bool OpenModMenu(const QString& how, int row, bool choose) {
        bool offered = false;
        QObject waiting; // the menu not shown, the wait ends with this call
        QTimer::singleShot(0, &waiting, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu != window->mnuMods) {
                return;
            }
            offered = window->mnuCreateShortcut->isEnabled();
            if (offered && choose) {
                QTest::keyClick(menu, Qt::Key_S);
            } else {
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        });
        QListWidget* list = window->lstMods;
        if (how == "right button") {
            const QPoint at = row < list->count() ? list->visualItemRect(list->item(row)).center()
                                                  : QPoint(5, list->viewport()->height() - 5);
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
            QApplication::sendEvent(list->viewport(), &event);
        } else if (how == "menu key") {
            QTest::keyClick(list, Qt::Key_Menu);
        } else if (how == "Shift+F10") {
            QTest::keyClick(list, Qt::Key_F10, Qt::ShiftModifier);
        } else {
            // As platforms that turn the menu key into a context menu event themselves send it.
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(2, 2), list->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(list, &event);
        }
        return offered;
    }

    void modMenuCreatesAShortcutForTheMod_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("selected"); // before the menu opens, -1 for none
        QTest::addColumn<int>("row");      // the mod the shortcut plays
        QTest::addColumn<QString>("name");
        // Listed as "Alpha", "Alpha", "Example": the first is Alpha.Beta.vtl.
        QTest::newRow("right button on a mod") << "right button" << 2 << 0 << "Alpha.Beta";
        QTest::newRow("right button, nothing selected") << "right button" << -1 << 1 << "Alpha";
        QTest::newRow("menu key") << "menu key" << 2 << 2 << "Example";
        QTest::newRow("Shift+F10") << "Shift+F10" << 0 << 0 << "Alpha.Beta";
        QTest::newRow("keyboard menu event") << "keyboard event" << 1 << 1 << "Alpha";
    }

    void modMenuCreatesAShortcutForTheMod() {
        QFETCH(QString, how);
        QFETCH(int, selected);
        QFETCH(int, row);
        QFETCH(QString, name);
        machine->Write("Vantrel/Alpha.Beta.vtl", "Location=C:\\Beta.big\r\n");
        Open();
        window->lstMods->setFocus();
        window->lstMods->setCurrentRow(selected);
        QVERIFY(OpenModMenu(how, row, true));
        const std::string file = machine->WindowsPath("Vantrel\\" + name.toStdString() + ".vtl");
        // The selected game (the first, Generals, at the start) and no option ticked.
        QCOMPARE(shortcuts.created, (std::vector<ShortcutTarget>{{name.toStdString(), file, "generals", ""}}));
        QCOMPARE(window->lstMods->currentRow(), row);
        QCOMPARE(window->lblStatus->text(), "Made a shortcut that plays " + name + ": /apps/" + name + ".desktop");
        QVERIFY(messages.shown.empty());
        if (how == "menu key") {
            Click(window->lstGames, QString::fromStdString(At("C:\\Games\\ZH\\")));
            window->chkRunInWindow->setChecked(true);
            window->chkNoIntro->setChecked(true);
            window->lstMods->setFocus();
            QVERIFY(OpenModMenu(how, row, true));
            QCOMPARE(shortcuts.created.back(), (ShortcutTarget{name.toStdString(), file, "zerohour", "-nologo -win"}));
        }
    }

    void modMenuOffersNothingWithoutAMod_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("canMake");
        QTest::newRow("right button below the mods") << "right button" << 0 << true;
        QTest::newRow("menu key with nothing selected") << "menu key" << -1 << true;
        QTest::newRow("no shortcuts on this system") << "menu key" << 0 << false;
    }

    void modMenuOffersNothingWithoutAMod() {
        QFETCH(QString, how);
        QFETCH(int, selected);
        QFETCH(bool, canMake);
        if (!canMake) {
            services->shortcuts = nullptr;
        }
        Open();
        window->lstMods->setCurrentRow(selected);
        QVERIFY(!OpenModMenu(how, window->lstMods->count(), true));
        QVERIFY(shortcuts.created.empty());
        QCOMPARE(window->lstMods->currentRow(), selected);
        QVERIFY(window->lblStatus->text().isEmpty());
    }

    void aShortcutThatCannotBeMadeSaysWhy() {
        shortcuts.failure = "/apps/vantrel-Example.desktop: access denied";
        Open();
        window->lstMods->setCurrentRow(1);
        QVERIFY(OpenModMenu("menu key", 1, true));
        QCOMPARE(shortcuts.created.size(), 1u);
        QCOMPARE(messages.shown.size(), 1u);
        QCOMPARE(messages.shown[0].text,
                 std::string("The shortcut to play Example could not be made.\n/apps/vantrel-Example.desktop: access denied"));
        QVERIFY(window->lblStatus->text().isEmpty());
        QCOMPARE(Mods(), (QStringList{"Alpha", "Example"}));
    }

    void editorPairsStayInStepAfterRemovals() {
        Open();
        FrmAddMod* editor = nullptr;
        WhenModal([&] {
            editor = window->addModDialog();
            QVERIFY(!editor->btnRemove->isEnabled());
            for (const char* name : {"A", "B", "C", "D"}) {
                editor->AddItem(std::string("C:\\Mods\\") + name, "C:\\Games\\Generals\\Data");
            }
            // B selected, then Remove pressed twice: the second press finds nothing selected.
            QCOMPARE(editor->lstResult->item(0)->toolTip(),
                     QString::fromUtf8("C:\\Mods\\A \u2192 C:\\Games\\Generals\\Data"));
            editor->lstResult->setCurrentRow(1);
            QVERIFY(editor->btnRemove->isEnabled());
            QTest::mouseClick(editor->btnRemove, Qt::LeftButton);
            QVERIFY(editor->lstResult->selectedItems().isEmpty());
            QTest::mouseClick(editor->btnRemove, Qt::LeftButton);
            QCOMPARE(editor->lstSrc, (std::vector<std::string>{"C:\\Mods\\A", "C:\\Mods\\C", "C:\\Mods\\D"}));
            QVERIFY(editor->btnRemove->isEnabled());
            editor->lstResult->setCurrentRow(2);
            QTest::mouseClick(editor->btnRemove, Qt::LeftButton);
            QCOMPARE(editor->lstSrc, (std::vector<std::string>{"C:\\Mods\\A", "C:\\Mods\\C"}));
            QCOMPARE(editor->lstResult->count(), 2);
            QCOMPARE(editor->lstResult->item(1)->text(), QStringLiteral("C:\\Games\\Generals\\Data\\C"));
            editor->txtTitle->setText(QStringLiteral("Pairs"));
            QTest::mouseClick(editor->OKButton, Qt::LeftButton);
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
        QCOMPARE(QString::fromStdString(machine->Read("Vantrel/Pairs.vtl")),
                 QStringLiteral("Location=\r\n[Folder]\r\nSource=C:\\Mods\\A\r\nDestination=C:\\Games\\Generals\\Data\r\n"
                                "[Folder]\r\nSource=C:\\Mods\\C\r\nDestination=C:\\Games\\Generals\\Data\r\n"));
    }

    void enterOpensTheHighlightedFolderAndOkTakesTheOpenOne() {
        machine->Write("Games/Generals/Data/INI/GameData.ini", "ini");
        Open();
        FrmAddMod* editor = nullptr;
        std::optional<std::string> placed;
        WhenModal([&] {
            editor = window->addModDialog();
            // The drive list shows every drive whole when it is opened.
            editor->cboDrive->showPopup();
            QAbstractItemView* drives = editor->cboDrive->view();
            QVERIFY(editor->cboDrive->count() >= 1);
            for (int row = 0; row < editor->cboDrive->count(); ++row) {
                const QModelIndex index = drives->model()->index(row, 0);
                QVERIFY2(drives->viewport()->width() >= drives->sizeHintForIndex(index).width(),
                         qPrintable(editor->cboDrive->itemText(row)));
            }
            editor->cboDrive->hidePopup();
            // In the editor's folder list Enter opens the highlighted folder and does nothing else.
            editor->lstFolder->setPath(machine->WindowsPath("Games\\Generals"));
            editor->lstFolder->setFocus();
            editor->lstFolder->setCurrentItem(editor->lstFolder->findItems(QStringLiteral("Data"), Qt::MatchEndsWith).front());
            QTest::keyClick(editor->lstFolder, Qt::Key_Return);
            QCOMPARE(editor->lstFolder->path(), machine->WindowsPath("Games\\Generals\\Data"));
            QTest::keyClick(editor->lstFolder, Qt::Key_Return);
            QVERIFY(editor->isVisible());
            WhenModal([&] {
                FrmAddFolder* placement = window->addFolderDialog();
                const QString game = QString::fromStdString(machine->WindowsPath("Games\\Generals"));
                QCOMPARE(placement->txtChosen->text(), game);
                // Arrowed to Data, the open folder stays the game's and stays marked; Enter opens Data.
                placement->lstFolder->setFocus();
                QTest::keyClick(placement->lstFolder, Qt::Key_Down);
                QVERIFY(placement->lstFolder->currentItem()->text().endsWith(QStringLiteral("Data")));
                QCOMPARE(placement->txtChosen->text(), game);
                const auto marked = [placement] {
                    QStringList bold;
                    for (int i = 0; i < placement->lstFolder->count(); ++i) {
                        if (placement->lstFolder->item(i)->font().bold()) {
                            bold << placement->lstFolder->item(i)->text().trimmed();
                        }
                    }
                    return bold;
                };
                QCOMPARE(marked(), QStringList{QStringLiteral("Generals")});
                QTest::keyClick(placement->lstFolder, Qt::Key_Return);
                QVERIFY(placement->isVisible());
                QCOMPARE(placement->txtChosen->text(), game + QStringLiteral("\\Data"));
                QCOMPARE(marked(), QStringList{QStringLiteral("Data")});
                // On the open folder, Enter is OK.
                QTest::keyClick(placement->lstFolder, Qt::Key_Return);
            });
            QTest::mouseClick(editor->btnAddFolder, Qt::LeftButton);
            placed = editor->lstDest.empty() ? std::nullopt : std::optional(editor->lstDest.back());
            editor->close();
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
        QCOMPARE(placed, std::optional(machine->WindowsPath("Games\\Generals\\Data")));
    }

    void bigFileDialogOpensWhereTheUserWorks() {
        machine->Write("Mods/Example/Example.big", "big");
        Open();
        QStringList opened;
        WhenModal([&] {
            FrmAddMod* editor = window->addModDialog();
            const auto browse = [&](const QString& location, const std::filesystem::path& goTo) {
                editor->txtLocation->setText(location);
                WhenModal([&] {
                    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                    QVERIFY(dialog);
                    opened << dialog->directory().absolutePath();
                    if (!goTo.empty()) {
                        dialog->setDirectory(QString::fromStdString(goTo.string()));
                    }
                    dialog->reject();
                });
                QTest::mouseClick(editor->btnBrowse, Qt::LeftButton);
            };
            // No BIG path yet: the C: drive. A BIG path: its folder. Then where the dialog was left.
            browse(QString(), machine->HostPath("Games"));
            browse(QString::fromStdString(machine->WindowsPath("Mods\\Example\\Example.big")), {});
            browse(QStringLiteral("C:\\No such folder\\Mod.big"), {});
            editor->close();
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
        const auto host = [this](std::string_view relative) {
            return QDir(QString::fromStdString(machine->HostPath(relative).string())).absolutePath();
        };
        // The machine's C: drive: the test machine's own root under Wine, the real one on Windows.
        const QString drive = At(std::string("C:\\")) == "C:\\" ? host("") : QStringLiteral("C:/");
        QCOMPARE(opened, (QStringList{drive, host("Mods/Example"), host("Mods/Example")}));
    }

    void displayLinesShowTheirLastNinetyCharacters_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("shown");
        const QString folder89 = "C:\\" + QString(80, 'd') + "\\Data"; // 89 characters with the backslash below
        QTest::newRow("90 characters") << "C:\\Mods\\x" << folder89.left(88) << folder89.left(88) + "\\x";
        QTest::newRow("91 characters") << "C:\\Mods\\xy" << folder89.left(88) << "..." + (folder89.left(88) + "\\xy").right(90);
        QTest::newRow("accented characters count once") << QString("C:\\Mods\\\u00e9") << folder89.left(88)
                                                        << folder89.left(88) + QString("\\\u00e9");
        QTest::newRow("file without selection") << "C:\\Mods\\" << "C:\\Games" << "C:\\Games\\";
        QTest::newRow("drive root source") << "D:\\" << "C:\\Games" << "C:\\Games\\";
        QTest::newRow("drive root destination") << "C:\\Mods\\Maps" << "C:\\" << "C:\\Maps";
    }

    void displayLinesShowTheirLastNinetyCharacters() {
        QFETCH(QString, source);
        QFETCH(QString, destination);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(PairDisplayLine(source.toStdString(), destination.toStdString())), shown);
    }

    void placementDialogStartsAtTheGameAndReportsOk() {
        Open("C:\\Games\\Generals\\", "C:\\Games\\ZH\\");
        window->lstGames->setCurrentRow(1);
        FrmAddMod* editor = nullptr;
        bool buttonDisabledMeanwhile = false;
        WhenModal([&] {
            editor = window->addModDialog();
            editor->lstFolder->setPath(machine->WindowsPath("Mods\\Example"));
            QCOMPARE(editor->lstFiles->count(), 1);
            // No file selected: nothing is added and the user is told to choose one.
            QTest::mouseClick(editor->btnAddFile, Qt::LeftButton);
            QVERIFY(editor->lstSrc.empty());
            QVERIFY(!window->addFolderDialog());
            QCOMPARE(messages.shown.size(), 1u);
            QCOMPARE(messages.shown[0].text, std::string(kChooseAFileMessage));
            editor->lstFiles->setCurrentRow(0);
            WhenModal([&] {
                FrmAddFolder* placement = window->addFolderDialog();
                QVERIFY(placement);
                buttonDisabledMeanwhile = !editor->btnAddFile->isEnabled();
                QCOMPARE(placement->windowTitle(), QStringLiteral("Choose location to place folder"));
                QCOMPARE(QString::fromStdString(placement->lstFolder->path()), At(QStringLiteral("C:\\Games\\ZH")));
                QTest::mouseClick(placement->OKButton, Qt::LeftButton);
            });
            QTest::mouseClick(editor->btnAddFile, Qt::LeftButton);
            QCOMPARE(editor->lstSrc, std::vector<std::string>{At("C:\\Mods\\Example\\Readme.txt")});
            QCOMPARE(editor->lstDest, std::vector<std::string>{At("C:\\Games\\ZH")});
            QVERIFY(editor->btnAddFile->isEnabled());
            // Closed with its close box, the placement adds nothing.
            WhenModal([&] { window->addFolderDialog()->close(); });
            QTest::mouseClick(editor->btnAddFolder, Qt::LeftButton);
            QCOMPARE(editor->lstSrc.size(), 1u);
            QVERIFY(!window->addFolderDialog());
            editor->close();
        });
        QTest::mouseClick(window->btnAddMod, Qt::LeftButton);
        QVERIFY(buttonDisabledMeanwhile);
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::UiTest)
#include "ui_test.moc"
