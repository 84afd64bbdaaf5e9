#include "quenvar/app/text_fit.h"

#include <QFontMetrics>
#include <QStringList>

namespace quenvar {

int FitPixelSize(QFont Font, const QString& Text, const QRect& Box, int Flags, int MaxPixels,
                 int MinPixels) {
  for (int pixels = MaxPixels; pixels > MinPixels; --pixels) {
    Font.setPixelSize(pixels);
    const QRect needed = QFontMetrics(Font).boundingRect(Box, Flags, Text);
    if (needed.width() <= Box.width() && needed.height() <= Box.height()) return pixels;
  }
  return MinPixels;
}

QFont UiFont(int PixelSize, bool Bold) {
  QFont font;
  font.setFamilies(QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
  font.setPixelSize(PixelSize);
  font.setBold(Bold);
  return font;
}

}  // namespace quenvar
