// The program's own banner and icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPainter>
#include <QPixmap>

namespace vantrel {

// The 240 x 78 banner of the main window.
[[nodiscard]] QPixmap DrawBanner();
// Draws the banner and matches the fonts the main window uses, once the application object exists,
// so that the window finds them ready.
void PrepareArtwork();
// The program icon.
[[nodiscard]] QIcon DrawIcon();
// Paints the icon into a square of `size` pixels from the painter's origin: the one drawing behind
// the window's icon and the icon files installed for the desktop.
void PaintIcon(QPainter& painter, int size);

} // namespace vantrel
