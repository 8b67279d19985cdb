// Making a window fit the screen it opens on, whatever its size, scaling and font.
#pragma once

#include <QFont>
#include <QSize>
#include <QWidget>

namespace vantrel {

// The smallest font a window is shrunk to on an unscaled screen; below it text stops being readable.
inline constexpr double kSmallestPointSize = 5.0;

// The same floor for `window`'s screen, in its logical points: a screen scaled to 200 % draws each
// point twice as large, so text half as many points tall reads the same.
[[nodiscard]] double SmallestPointSize(const QWidget& window);

// The room a top-level window may take on its screen: the screen's available area less the
// window's frame (a typical title bar and border before the window was first shown).
[[nodiscard]] QSize AvailableRoom(const QWidget& window);

// `font` made `factor` times its size, never below `smallest` points.
[[nodiscard]] QFont ScaledFont(const QFont& font, double factor, double smallest);

// For a window with a layout: shrinks its font until the layout's minimum size fits the room, then
// sizes the window to `preferred` (at the usual font; larger with a larger one) within the room. The
// lists take whatever room is left.
void FitDialogToScreen(QWidget& window, QSize preferred);

} // namespace vantrel
