// The system's own font setup, which the first window otherwise waits for.
#pragma once

namespace vantrel {

// Loads the system's font configuration ahead of the first window; safe on any thread, and
// nothing to do where the system keeps its fonts ready.
void LoadSystemFontConfiguration();

} // namespace vantrel
