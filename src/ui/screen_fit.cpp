#include "ui/screen_fit.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QScreen>
#include <algorithm>

namespace vantrel {
namespace {

// The line height, in pixels, that the windows' preferred sizes were drawn for.
constexpr double kDesignLineHeight = 17.0;

} // namespace

QSize AvailableRoom(const QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    const QSize available = screen ? screen->availableGeometry().size() : QSize(1024, 768);
    QSize frame = window.frameGeometry().size() - window.geometry().size();
    if (!window.isVisible() || frame.isEmpty()) {
        // Not known before the window manager has framed it: allow for a title bar and borders.
        frame = QSize(8, 32);
    }
    return available - frame;
}

double SmallestPointSize(const QWidget& window) {
    return kSmallestPointSize / std::clamp(window.devicePixelRatioF(), 1.0, 2.0);
}

QFont ScaledFont(const QFont& font, double factor, double smallest) {
    QFont scaled = font;
    if (font.pointSizeF() > 0) {
        scaled.setPointSizeF(std::max(smallest, font.pointSizeF() * factor));
    } else if (font.pixelSize() > 0) {
        scaled.setPixelSize(std::max(8, static_cast<int>(font.pixelSize() * factor)));
    }
    return scaled;
}

void FitDialogToScreen(QWidget& window, QSize preferred) {
    const QSize room = AvailableRoom(window);
    const QFont base = QApplication::font(&window);
    QFont font = base;
    window.setFont(font);
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Some font engines give a caption a size hint a pixel shorter than its line: keep it whole.
        for (auto* label : window.findChildren<QLabel*>()) {
            if (!label->wordWrap()) {
                label->setMinimumHeight(label->fontMetrics().height());
            }
        }
        if (window.layout()) {
            window.layout()->activate();
        }
        const QSize needed = window.minimumSizeHint();
        if ((needed.width() <= room.width() && needed.height() <= room.height()) ||
            font.pointSizeF() == SmallestPointSize(window)) {
            break;
        }
        const double factor = std::min(static_cast<double>(room.width()) / needed.width(),
                                       static_cast<double>(room.height()) / needed.height());
        font = ScaledFont(font, std::min(0.97, factor), SmallestPointSize(window));
        window.setFont(font);
    }
    // The preferred size grows with a larger font, as the controls do.
    const double lines = std::max(1.0, QFontMetrics(window.font()).height() / kDesignLineHeight);
    window.resize((preferred * lines).boundedTo(room).expandedTo(window.minimumSizeHint()));
}

} // namespace vantrel
