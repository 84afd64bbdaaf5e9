#include "quenvar/app/hex_preview.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>

#include "quenvar/buffer/custom_mp_hex_editor.h"

namespace quenvar {

namespace {
constexpr std::uint32_t BytesPerRow = 16;
}

THexPreview::THexPreview(TCustomMPHexEditor& Editor, QWidget* Parent)
    : QAbstractScrollArea(Parent), FEditor(Editor) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setFamilies({QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"),
                    QStringLiteral("Monospace")});
  font.setPixelSize(12);
  setFont(font);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  Refresh();
}

int THexPreview::RowHeight() const {
  return QFontMetrics(font()).height();
}

QString THexPreview::RowText(std::uint32_t Row) const {
  const std::uint32_t start = Row * BytesPerRow;
  QString text = QStringLiteral("%1:").arg(start, 4, 16, QLatin1Char('0')).toUpper();
  QString chars;
  for (std::uint32_t i = 0; i < BytesPerRow; ++i) {
    const std::uint32_t pos = start + i;
    if (pos < FEditor.DataLength()) {
      const std::uint8_t byte = FEditor.ByteAt(pos);
      text += QStringLiteral(" %1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
      chars += (byte >= 0x20 && byte < 0x7F) ? QChar(byte) : QLatin1Char('.');
    } else {
      text += QStringLiteral("   ");
    }
  }
  return text + QStringLiteral("  ") + chars;
}

void THexPreview::Refresh() {
  const std::uint32_t rows = (FEditor.DataLength() + BytesPerRow - 1) / BytesPerRow;
  const int visible = qMax(1, viewport()->height() / qMax(1, RowHeight()));
  verticalScrollBar()->setRange(0, qMax(0, static_cast<int>(rows) - visible));
  verticalScrollBar()->setPageStep(visible);
  viewport()->update();
}

void THexPreview::resizeEvent(QResizeEvent* Event) {
  QAbstractScrollArea::resizeEvent(Event);
  Refresh();
}

void THexPreview::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), Qt::white);
  painter.setPen(Qt::black);
  const int height = RowHeight();
  const std::uint32_t rows = (FEditor.DataLength() + BytesPerRow - 1) / BytesPerRow;
  const int ascent = QFontMetrics(font()).ascent();
  std::uint32_t row = static_cast<std::uint32_t>(verticalScrollBar()->value());
  for (int y = 0; y < viewport()->height() && row < rows; y += height, ++row) {
    painter.drawText(4, y + ascent, RowText(row));
  }
}

}  // namespace quenvar
