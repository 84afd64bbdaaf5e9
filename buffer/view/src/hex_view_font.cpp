#include "quenvar/buffer/hex_view_font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>
#include <algorithm>

namespace quenvar {

namespace {

// Everything the view places on its grid: the offsets and hex digits, the character column's
// letters, the dot it shows for control codes, and the space.
constexpr char kGridChars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz .";

QFont Sized(QFont font, int pixelSize) {
  font.setPixelSize(pixelSize);
  return font;
}

}  // namespace

bool HasEvenAdvances(const QFont& font) {
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QLatin1Char(kGridChars[0]));
  if (width <= 0) return false;
  for (const char c : kGridChars) {
    if (c != '\0' && metrics.horizontalAdvance(QLatin1Char(c)) != width) return false;
  }
  return true;
}

int GridAdvance(const QFont& font) {
  const QFontMetrics metrics(font);
  int widest = 1;
  for (const char c : kGridChars) {
    if (c != '\0') widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(c)));
  }
  return widest;
}

QFont PickEvenFont(const QList<QFont>& candidates, int pixelSize) {
  for (const QFont& candidate : candidates) {
    const QFont font = Sized(candidate, pixelSize);
    if (HasEvenAdvances(font)) return font;
  }
  // The families the database calls fixed pitch first; its flag comes from fontconfig's spacing
  // field, which some monospaced fonts lack, so the others are measured after them.
  const QStringList families = QFontDatabase::families();
  for (const bool fixedPitch : {true, false}) {
    for (const QString& family : families) {
      if (QFontDatabase::isFixedPitch(family) != fixedPitch) continue;
      QFont font(family);
      font.setStyleHint(QFont::TypeWriter);
      font = Sized(font, pixelSize);
      if (HasEvenAdvances(font)) return font;
    }
  }
  return Sized(candidates.isEmpty() ? QFont() : candidates.front(), pixelSize);
}

QFont HexViewFont() {
  QFont courier(QStringLiteral("Courier New"));
  courier.setStyleHint(QFont::TypeWriter);
  QFont dejaVu(QStringLiteral("DejaVu Sans Mono"));
  dejaVu.setStyleHint(QFont::TypeWriter);
  return PickEvenFont({courier, QFontDatabase::systemFont(QFontDatabase::FixedFont), dejaVu}, 13);
}

}  // namespace quenvar
