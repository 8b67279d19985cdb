// The program's own banner and icon, drawn in code.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantrel {

// The 240 x 78 banner of the main window.
[[nodiscard]] QPixmap DrawBanner();
// The program icon.
[[nodiscard]] QIcon DrawIcon();

} // namespace vantrel
