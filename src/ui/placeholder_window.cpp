#include "ui/placeholder_window.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/version.h"

namespace vantrel {

PlaceholderWindow::PlaceholderWindow(const ProgramValues& values, InstanceGuard& guard) : guard_(guard) {
    setWindowTitle(QStringLiteral("Vantrel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Vantrel, version %1.%2.%3")
                                     .arg(kVersionMajor)
                                     .arg(kVersionMinor)
                                     .arg(kVersionRevision)));
    layout->addWidget(new QLabel(QStringLiteral("Game Titles Found:")));
    auto* games = new QListWidget;
    for (const auto* folder : {&values.szGeneralsPath, &values.szZeroHourPath}) {
        if (!folder->empty()) {
            games->addItem(QString::fromStdString(*folder));
        }
    }
    layout->addWidget(games);
    layout->addWidget(new QLabel(QStringLiteral("Mods Found:")));
    auto* mods = new QListWidget;
    for (int i = 0; i < values.nModCount; ++i) {
        mods->addItem(QString::fromStdString(values.Mods[static_cast<std::size_t>(i)].szName));
    }
    layout->addWidget(mods);
    // Taken while this window is open, so that a second interactive start is refused.
    (void)guard_.Acquire();
}

PlaceholderWindow::~PlaceholderWindow() {
    guard_.Release();
}

} // namespace vantrel
