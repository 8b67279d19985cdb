// Each window on a small laptop screen (1280×800) at the scaling CTest sets for the run: every control
// on screen and every caption whole.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

#include <memory>

#include "mods/mod_catalogue.h"
#include "support/recording_messages.h"
#include "support/recording_runner.h"
#include "support/test_machine.h"
#include "ui/frm_add_folder.h"
#include "ui/frm_add_mod.h"
#include "ui/frm_main.h"

namespace vantrel {
namespace {

class FakeGuard final : public InstanceGuard {
public:
    bool IsAnotherInstanceOpen() override { return false; }
    bool Acquire() override { return true; }
    void Release() override {}
};

// Every visible control of `window` inside the screen's available area, its caption shown whole.
void CheckFits(QWidget& window) {
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect screen = window.screen()->availableGeometry();
    const QString where = QStringLiteral("%1 at %2x%3 (scale %4)")
                              .arg(window.objectName())
                              .arg(screen.width())
                              .arg(screen.height())
                              .arg(qgetenv("QT_SCALE_FACTOR").isEmpty() ? QByteArray("1") : qgetenv("QT_SCALE_FACTOR"));
    // Room for a title bar and borders, as a window manager would add them.
    QVERIFY2(window.width() + 8 <= screen.width() && window.height() + 32 <= screen.height(),
             qPrintable(where + QStringLiteral(": the window is %1x%2, font %3").arg(window.width()).arg(window.height()).arg(window.font().toString())));
    window.move(screen.topLeft() + QPoint(4, 28));
    for (auto* control : window.findChildren<QWidget*>()) {
        if (!control->isVisibleTo(&window) || control->isWindow() || control->size().isEmpty()) {
            continue;
        }
        const QString name = where + QStringLiteral(": ") + control->objectName() + QStringLiteral(" ") +
                             control->metaObject()->className();
        const QRect global(control->mapToGlobal(QPoint(0, 0)), control->size());
        QVERIFY2(screen.contains(global) && window.rect().contains(QRect(control->mapTo(&window, QPoint(0, 0)), control->size())),
                 qPrintable(name));
        const QFontMetrics metrics = control->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(control); label && label->pixmap().isNull() && !label->text().isEmpty()) {
            if (label->wordWrap()) {
                QVERIFY2(label->heightForWidth(label->width()) <= label->height(), qPrintable(name + label->text()));
            } else {
                QVERIFY2(label->sizeHint().width() <= label->width() && metrics.height() <= label->height(),
                         qPrintable(QStringLiteral("%1%2: needs %3x%4, has %5x%6")
                                        .arg(name, label->text())
                                        .arg(label->sizeHint().width())
                                        .arg(metrics.height())
                                        .arg(label->width())
                                        .arg(label->height())));
            }
        } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            const QSize text = metrics.size(0, QString(button->text()).remove(QLatin1Char('&')));
            QVERIFY2(text.width() <= button->width() && text.height() <= button->height(), qPrintable(name + button->text()));
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            QVERIFY2(combo->sizeHint().width() <= combo->width() && combo->sizeHint().height() <= combo->height(),
                     qPrintable(name));
        } else if (qobject_cast<QLineEdit*>(control)) {
            QVERIFY2(metrics.height() <= control->height(), qPrintable(name));
        } else if (auto* list = qobject_cast<QListWidget*>(control)) {
            // A list shows at least one whole line.
            QVERIFY2(list->viewport()->height() >= metrics.height(), qPrintable(name));
        }
    }
}

} // namespace

class ScreenFitTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TestMachine> machine;
    std::unique_ptr<ProgramValues> values;
    test::RecordingMessages messages;
    test::RecordingRunner runner;
    FakeGuard guard;
    std::unique_ptr<UiServices> services;

private slots:
    void init() {
        machine = std::make_unique<test::TestMachine>();
        machine->Write("Games/Generals/generals.exe", "game");
        machine->Write("Vantrel/Example.vtl", "Location=C:\\Mods\\Example.big\r\n");
        values = std::make_unique<ProgramValues>();
        values->definitionFolder = machine->WindowsPath("Vantrel");
        values->szGeneralsPath = machine->WindowsPath("Games\\Generals") + "\\";
        LoadModCatalogue(*values, machine->directoryListing(), machine->textFiles());
        services = std::make_unique<UiServices>(UiServices{*values, machine->textFiles(), machine->directoryListing(),
                                                           machine->singleFiles(), machine->swapFiles(), runner,
                                                           machine->diskBrowser(), messages, guard});
    }

    void cleanup() {
        services.reset();
        machine.reset();
    }

    void mainWindowFits() {
        FrmMain window(*services);
        window.SetStatus(QStringLiteral("The game is running. The installation will be restored when it ends."));
        CheckFits(window);
        // Made larger, the lists take the room and everything stays inside the window.
        const QSize listBefore = window.lstMods->size();
        const QPoint buttonBefore = window.btnWorldbuilder->pos();
        window.resize(window.size() + QSize(100, 80));
        QCOMPARE(window.lstMods->size(), listBefore + QSize(100, 80));
        QCOMPARE(window.btnWorldbuilder->pos(), buttonBefore + QPoint(100, 80));
        QVERIFY(window.rect().contains(window.prgCopy->geometry()));
    }

    void editorFits() {
        FrmAddMod editor(*services, [] { return std::nullopt; });
        CheckFits(editor);
    }

    void placementDialogFits() {
        FrmAddFolder placement(machine->diskBrowser(), values->szGeneralsPath);
        CheckFits(placement);
    }
};

} // namespace vantrel

QTEST_MAIN(vantrel::ScreenFitTest)
#include "screen_fit_test.moc"
