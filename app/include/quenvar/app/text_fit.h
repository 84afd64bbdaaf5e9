#pragma once

#include <QFont>
#include <QRect>
#include <QString>

namespace quenvar {

// The largest pixel size from MaxPixels down to MinPixels at which Text, laid
// out with Flags (Qt::TextWordWrap and alignment), fits into Box. The fonts of
// a Linux desktop run wider than the ones the layout was drawn for, and text
// must never be clipped. Returns MinPixels when nothing fits.
int FitPixelSize(QFont Font, const QString& Text, const QRect& Box, int Flags, int MaxPixels,
                 int MinPixels);

// The interface font of the windows: DejaVu Sans where a font is not named.
QFont UiFont(int PixelSize, bool Bold = false);

}  // namespace quenvar
