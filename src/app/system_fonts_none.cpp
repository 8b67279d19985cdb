#include "app/system_fonts.h"

namespace vantrel {

void LoadSystemFontConfiguration() {}

} // namespace vantrel
