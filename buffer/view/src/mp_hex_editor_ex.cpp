#include "quenvar/buffer/mp_hex_editor_ex.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "quenvar/buffer/hex_view_font.h"

namespace quenvar {

namespace {

constexpr int kBytesPerRow = THexLayout::kBytesPerRow;
const char kHexDigits[] = "0123456789ABCDEF";

// The character column shows bytes as they are: printable ASCII and the Latin-1 upper half;
// control codes appear as dots.
QChar ByteChar(std::uint8_t b) {
  if ((b >= 0x20 && b < 0x7F) || b >= 0xA0) return QChar(b);
  return QChar('.');
}

}  // namespace

TMPHexEditorEx::TMPHexEditorEx(QWidget* parent) : QAbstractScrollArea(parent) {
  FTextFont = HexViewFont();
  const QFontMetrics fm(FTextFont);
  FCharW = GridAdvance(FTextFont);
  FRowH = fm.boundingRect(QStringLiteral("yY")).height() + 2;
  FRowH = std::max(FRowH, fm.height() + 2);
  FAscent = fm.ascent() + 1;
  FRaw = QRawFont::fromFont(FTextFont);
  const QList<quint32> dot = FRaw.glyphIndexesForString(QStringLiteral("."));
  for (int c = 0; c < 256; ++c) {
    const QList<quint32> g = FRaw.glyphIndexesForString(QString(QChar(c)));
    FGlyphs[c] = (!g.isEmpty() && g[0] != 0) ? g[0] : (dot.isEmpty() ? 0 : dot[0]);
  }
  FColors.FBackground = palette().color(QPalette::Base);
  FColors.FActiveFieldBackground = FColors.FBackground;

  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  verticalScrollBar()->setSingleStep(1);

  FEditor.FOnViewChanged = [this] { ModelChanged(); };
  FEditor.FOnBusy = [](bool busy) {
    if (busy) {
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QGuiApplication::restoreOverrideCursor();
    }
  };
  UpdateScrollBar();
}

THexLayout TMPHexEditorEx::Layout() const {
  const unsigned chars =
      static_cast<unsigned>(FEditor.OffsetFormat().Prefix().size() +
                            FEditor.OffsetFormat().Suffix().size() + FEditor.OffsetDigits());
  return THexLayout(FCharW, FRowH, chars);
}

int TMPHexEditorEx::TopRow() const {
  return verticalScrollBar()->value();
}

QSize TMPHexEditorEx::sizeHint() const {
  return QSize(Layout().TotalWidth() + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
               FRowH * 20 + 2 * frameWidth());
}

void TMPHexEditorEx::UpdateScrollBar() {
  const THexLayout l = Layout();
  const int page = l.FullRows(viewport()->height());
  const long long rows = FEditor.DataRowCount();
  const long long max = std::max<long long>(rows - page, 0);
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(page);
  bar->setRange(0, static_cast<int>(std::min<long long>(max, 0x7FFFFFFF)));
}

void TMPHexEditorEx::ScrollToCaret() {
  const THexLayout l = Layout();
  const int page = l.FullRows(viewport()->height());
  const long long row = THexLayout::RowOf(FEditor.Caret().FPosition);
  QScrollBar* bar = verticalScrollBar();
  if (row < bar->value()) {
    bar->setValue(static_cast<int>(row));
  } else if (row >= bar->value() + page) {
    bar->setValue(static_cast<int>(row - page + 1));
  }
}

void TMPHexEditorEx::ModelChanged() {
  UpdateScrollBar();
  ScrollToCaret();
  viewport()->update();
}

void TMPHexEditorEx::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBar();
}

void TMPHexEditorEx::scrollContentsBy(int, int) {
  viewport()->update();
}

void TMPHexEditorEx::paintEvent(QPaintEvent* event) {
  QPainter p(viewport());
  PaintTo(p, event->rect());
}

void TMPHexEditorEx::PaintTo(QPainter& p, const QRect& area) const {
  const THexLayout l = Layout();
  const TCustomMPHexEditor& e = FEditor;
  const std::uint32_t length = e.DataLength();
  const std::uint32_t top = static_cast<std::uint32_t>(TopRow());
  const int firstRow = std::max(area.top(), 0) / FRowH;
  const int lastRow = std::max(area.bottom(), 0) / FRowH;
  const std::uint32_t dataRows = e.DataRowCount();
  const TCaret caret = e.Caret();
  const std::uint32_t caretRow = THexLayout::RowOf(caret.FPosition);
  const std::uint32_t selFirst = e.SelStart();
  const std::uint32_t selCount = e.SelCount();
  const QColor highlight = palette().color(QPalette::Highlight);
  const QColor highlightText = palette().color(QPalette::HighlightedText);

  p.setFont(FTextFont);
  p.fillRect(area, FColors.FBackground);

  // All text of the viewport is collected per colour and drawn as a few glyph runs: no text
  // layout per cell, so a repaint costs the same whatever the buffer's size.
  struct TRun {
    QColor FColor;
    QList<quint32> FGlyphs;
    QList<QPointF> FPositions;
  };
  std::vector<TRun> runs;
  auto put = [&runs](const QColor& color, quint32 glyph, int x, int y) {
    auto it =
        std::find_if(runs.begin(), runs.end(), [&](const TRun& r) { return r.FColor == color; });
    if (it == runs.end()) it = runs.insert(runs.end(), TRun{color, {}, {}});
    it->FGlyphs.push_back(glyph);
    it->FPositions.push_back(QPointF(x, y));
  };

  for (int r = firstRow; r <= lastRow; ++r) {
    const std::uint64_t row = std::uint64_t{top} + static_cast<std::uint64_t>(r);
    if (row >= dataRows) break;
    const int y = r * FRowH;
    const int baseline = y + FAscent;
    const std::uint32_t rowStart = static_cast<std::uint32_t>(row * kBytesPerRow);

    const bool current = row == caretRow;
    p.fillRect(QRect(0, y, l.OffsetColumnWidth(), FRowH),
               current ? FColors.FCurrentOffsetBackground : FColors.FOffsetBackground);
    const std::string offset = e.OffsetText(static_cast<std::uint32_t>(row));
    for (std::size_t i = 0; i < offset.size(); ++i)
      put(current ? FColors.FCurrentOffset : FColors.FOffset,
          FGlyphs[static_cast<unsigned char>(offset[i])], FCharW / 2 + static_cast<int>(i) * FCharW,
          baseline);

    const int count = static_cast<int>(
        std::min<std::uint64_t>(kBytesPerRow, length > rowStart ? length - rowStart : 0));
    for (int c = 0; c < count; ++c) {
      const std::uint32_t pos = rowStart + static_cast<std::uint32_t>(c);
      const std::uint8_t b = e.ByteAt(pos);
      const bool selected = pos >= selFirst && pos - selFirst < selCount;
      QColor back;
      QColor text;
      if (selected) {
        back = highlight;
        text = highlightText;
      } else if (e.IsChanged(pos)) {
        back = FColors.FChangedBackground;
        text = FColors.FChangedText;
      } else {
        text = (c % 2) ? FColors.FOddColumn : FColors.FEvenColumn;
      }
      if (back.isValid()) {
        // A selection runs on through the gap to the next selected byte of the row.
        const bool joined = selected && c + 1 < count && pos + 1 - selFirst < selCount;
        p.fillRect(QRect(l.HexCellX(c), y, (joined ? 3 : 2) * FCharW, FRowH), back);
        p.fillRect(QRect(l.CharCellX(c), y, FCharW, FRowH), back);
      }
      put(text, FGlyphs[static_cast<unsigned char>(kHexDigits[b >> 4])], l.HexCellX(c), baseline);
      put(text, FGlyphs[static_cast<unsigned char>(kHexDigits[b & 0x0F])], l.HexDigitX(c, true),
          baseline);
      put(text, FGlyphs[ByteChar(b).unicode()], l.CharCellX(c), baseline);
    }
    if (FDrawGridLines) {
      p.setPen(FColors.FGrid);
      p.drawLine(l.OffsetColumnWidth(), y + FRowH - 1, l.TotalWidth(), y + FRowH - 1);
    }
  }
  // Caret: a frame on the nibble or character in the active field, a dotted one on the same
  // byte in the other field; in insert mode a bar before the cell instead of the frame. It is
  // painted under the text and the bar sits on the cell's left edge, so no glyph stroke is ever
  // hidden by it ("BB" must not read as "3B").
  if (caretRow >= top && caretRow - top <= static_cast<std::uint32_t>(lastRow)) {
    const int y = static_cast<int>(caretRow - top) * FRowH;
    const int col = THexLayout::ColumnOf(caret.FPosition);
    const bool hexActive = caret.FField == THexField::Hex;
    const QRect hexCell(l.HexDigitX(col, hexActive && caret.FLowNibble), y,
                        hexActive ? FCharW : 2 * FCharW, FRowH);
    const QRect charCell(l.CharCellX(col), y, FCharW, FRowH);
    const QRect active = hexActive ? hexCell : charCell;
    const QRect other = hexActive ? charCell : hexCell;
    const QColor frame = hasFocus() ? FColors.FCursorFrame : FColors.FNonFocusCursorFrame;
    if (e.InsertMode()) {
      p.fillRect(QRect(active.left() - 1, y, 2, FRowH), frame);
    } else if (FFocusFrame) {
      p.setPen(QPen(frame, 1));
      p.drawRect(active.adjusted(0, 0, -1, -1));
    }
    p.setPen(QPen(frame, 1, Qt::DotLine));
    p.drawRect(other.adjusted(0, 0, -1, -1));
  }
  for (const TRun& run : runs) {
    QGlyphRun glyphs;
    glyphs.setRawFont(FRaw);
    glyphs.setGlyphIndexes(run.FGlyphs);
    glyphs.setPositions(run.FPositions);
    p.setPen(run.FColor);
    p.drawGlyphRun(QPointF(0, 0), glyphs);
  }
}

void TMPHexEditorEx::keyPressEvent(QKeyEvent* event) {
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const int page = Layout().FullRows(viewport()->height());
  auto move = [&](TCaretMove m) { FEditor.MoveCaret(m, shift, page); };
  switch (event->key()) {
    case Qt::Key_Left:
      return move(TCaretMove::Left);
    case Qt::Key_Right:
      return move(TCaretMove::Right);
    case Qt::Key_Up:
      return move(TCaretMove::Up);
    case Qt::Key_Down:
      return move(TCaretMove::Down);
    case Qt::Key_PageUp:
      return move(TCaretMove::PageUp);
    case Qt::Key_PageDown:
      return move(TCaretMove::PageDown);
    case Qt::Key_Home:
      return move(ctrl ? TCaretMove::DataStart : TCaretMove::RowStart);
    case Qt::Key_End:
      return move(ctrl ? TCaretMove::DataEnd : TCaretMove::RowEnd);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return FEditor.SwitchField();
    case Qt::Key_Backspace:
      FEditor.Backspace();
      return;
    case Qt::Key_Delete:
      FEditor.DeleteKey();
      return;
    case Qt::Key_Insert:
      if (!FEditor.ReadOnlyView()) FEditor.SetInsertMode(!FEditor.InsertMode());
      return;
    default:
      break;
  }
  if (event->matches(QKeySequence::Copy)) return CopySelection();
  if (event->matches(QKeySequence::SelectAll)) return FEditor.SelectAll();
  const QString text = event->text();
  if (!ctrl && text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() < 0x100) {
    FEditor.TypeKey(static_cast<char>(text[0].unicode()));
    return;
  }
  QAbstractScrollArea::keyPressEvent(event);
}

bool TMPHexEditorEx::focusNextPrevChild(bool) {
  return false;
}  // Tab switches fields

void TMPHexEditorEx::PlaceCaret(const QPoint& at, bool extend) {
  const THexLayout::THit hit = Layout().HitTest(
      at.x(), at.y(), static_cast<std::uint32_t>(TopRow()), FEditor.MaxCaretPosition());
  FEditor.SetCaret({hit.FPosition, hit.FLowNibble, hit.FField}, extend);
}

void TMPHexEditorEx::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  PlaceCaret(event->position().toPoint(), event->modifiers() & Qt::ShiftModifier);
}

void TMPHexEditorEx::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) PlaceCaret(event->position().toPoint(), true);
}

void TMPHexEditorEx::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TMPHexEditorEx::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void TMPHexEditorEx::CopySelection() const {
  const std::vector<std::uint8_t> bytes = FEditor.SelectedBytes();
  if (bytes.empty()) return;
  QString text;
  if (FEditor.Caret().FField == THexField::Hex) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (i) text += QLatin1Char(' ');
      text += QLatin1Char(kHexDigits[bytes[i] >> 4]);
      text += QLatin1Char(kHexDigits[bytes[i] & 0x0F]);
    }
  } else {
    for (std::uint8_t b : bytes) text += ByteChar(b);
  }
  QGuiApplication::clipboard()->setText(text);
}

}  // namespace quenvar
