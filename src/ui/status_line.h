// How the main window's one-line status fits its width without losing what matters in it.
#pragma once

#include <QFontMetrics>
#include <QString>

namespace vantrel {

// `text` shortened to fit `width`: first the middle of its paths (quoted text or a word that holds a
// slash or backslash), the longest first, each down to a few characters at either end; then, when no
// path is left to shorten, its end from a blank on. Text that fits is returned as it is.
[[nodiscard]] QString FitStatusLine(const QString& text, const QFontMetrics& metrics, int width);

} // namespace vantrel
