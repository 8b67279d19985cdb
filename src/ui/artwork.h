// The program's own banner and icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantrel {

// The 240 x 78 banner of the main window.
[[nodiscard]] QPixmap DrawBanner();
// Draws the banner and matches the fonts the main window uses, once the application object exists,
// so that the window finds them ready.
void PrepareArtwork();
// The program icon.
[[nodiscard]] QIcon DrawIcon();

} // namespace vantrel
