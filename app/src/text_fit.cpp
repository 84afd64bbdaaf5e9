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

QString LogLineText(const std::string& Line) {
  QString text = QString::fromStdString(Line);
  const qsizetype size = text.size();
  if (size >= 3 && text.endsWith(QLatin1String(" s")) && text[size - 3].isDigit()) {
    text[size - 2] = QChar::Nbsp;
  }
  return text;
}

QString NoBreakAfterSlash(QString Text) {
  return Text.replace(QLatin1Char('/'), QStringLiteral("/\u2060"));
}

}  // namespace quenvar
