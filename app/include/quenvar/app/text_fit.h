#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <string>

namespace quenvar {

// The largest pixel size from MaxPixels down to MinPixels at which Text, laid
// out with Flags (Qt::TextWordWrap and alignment), fits into Box. The fonts of
// a Linux desktop run wider than the ones the layout was drawn for, and text
// must never be clipped. Returns MinPixels when nothing fits.
int FitPixelSize(QFont font, const QString& text, const QRect& box, int flags, int maxPixels,
                 int minPixels);

// The interface font of the windows: DejaVu Sans where a font is not named.
QFont UiFont(int pixelSize, bool bold = false);

// A log line as the log shows it: a number's unit at the end of the line
// ("12.34 s") stays with the number, so a narrow log never wraps the unit
// onto a line of its own.
QString LogLineText(const std::string& line);

// Text for word wrapping that never breaks after a slash: "90S/LS4433" is
// one name. An invisible word joiner follows each slash.
QString NoBreakAfterSlash(QString text);

}  // namespace quenvar
