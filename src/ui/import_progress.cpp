#include "ui/import_progress.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <thread>

namespace vantrel {

std::optional<GameId> AskForGame(QWidget* parent) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vantrel"),
                    QStringLiteral("Which game is the mod for?"), QMessageBox::Cancel, parent);
    QPushButton* generals = box.addButton(QStringLiteral("&Generals"), QMessageBox::AcceptRole);
    QPushButton* zeroHour = box.addButton(QStringLiteral("&Zero Hour"), QMessageBox::AcceptRole);
    box.setDefaultButton(zeroHour);
    box.exec();
    if (box.clickedButton() == generals) {
        return GameId::Generals;
    }
    if (box.clickedButton() == zeroHour) {
        return GameId::ZeroHour;
    }
    return std::nullopt;
}

ImportResult ImportWithProgress(QWidget* parent, const ProgramValues& values, ImportServices services,
                                const ImportRequest& request) {
    // The thread reports through these; the dialog reads them a few times a second.
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic<bool> cancelled{false};
    std::atomic<bool> finished{false};
    services.progress = [&](const ImportProgress& progress) {
        done = progress.done;
        total = progress.total;
        return !cancelled.load();
    };
    ImportResult result;
    QProgressDialog dialog(QStringLiteral("Importing the mod…"), QStringLiteral("Cancel"), 0, 1000, parent);
    dialog.setWindowTitle(QStringLiteral("Vantrel"));
    dialog.setWindowModality(Qt::WindowModal);
    // Shown at once: until it is, the window below would take clicks and drops.
    dialog.setMinimumDuration(0);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    QEventLoop loop;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        const std::uint64_t all = total.load();
        dialog.setValue(all == 0 ? 0 : static_cast<int>(1000 * std::min(done.load(), all) / all));
        if (dialog.wasCanceled()) {
            cancelled = true;
            dialog.setLabelText(QStringLiteral("Cancelling; taking away what was unpacked…"));
        }
        if (finished.load()) {
            loop.quit();
        }
    });
    // The thread works on its own copy of the catalogue, which the window may read meanwhile.
    std::thread worker([&, values] {
        try {
            result = ImportMod(values, services, request);
        } catch (const std::exception& error) {
            result.error = std::string("The import stopped: ") + error.what();
        }
        finished = true;
    });
    timer.start(50);
    loop.exec();
    worker.join();
    return result;
}

} // namespace vantrel
