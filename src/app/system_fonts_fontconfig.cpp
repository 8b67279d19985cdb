#include "app/system_fonts.h"

#include <fontconfig/fontconfig.h>

namespace vantrel {

void LoadSystemFontConfiguration() {
    // Reads the configuration and the font caches once; Qt's font database then finds them loaded.
    (void)FcInit();
}

} // namespace vantrel
