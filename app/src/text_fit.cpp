#include "quenvar/app/text_fit.h"

#include <QFontMetrics>
#include <QStringList>

namespace quenvar {

int FitPixelSize(QFont font, const QString& text, const QRect& box, int flags, int maxPixels,
                 int minPixels) {
  for (int pixels = maxPixels; pixels > minPixels; --pixels) {
    font.setPixelSize(pixels);
    const QRect needed = QFontMetrics(font).boundingRect(box, flags, text);
    if (needed.width() <= box.width() && needed.height() <= box.height()) return pixels;
  }
  return minPixels;
}

QFont UiFont(int pixelSize, bool bold) {
  QFont font;
  font.setFamilies(QStringList{QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}

QString LogLineText(const std::string& line) {
  QString text = QString::fromStdString(line);
  const qsizetype size = text.size();
  if (size >= 3 && text.endsWith(QLatin1String(" s")) && text[size - 3].isDigit()) {
    text[size - 2] = QChar::Nbsp;
  }
  return text;
}

QString NoBreakAfterSlash(QString text) {
  return text.replace(QLatin1Char('/'), QStringLiteral("/\u2060"));
}

}  // namespace quenvar
