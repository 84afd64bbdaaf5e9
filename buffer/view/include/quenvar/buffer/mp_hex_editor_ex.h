#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QRawFont>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/hex_layout.h"

class QPainter;

namespace quenvar {

// The hex view: renders a TCustomMPHexEditor it owns (offset column, 16 hex cells, character
// column), paints only the rows in sight and turns keys and clicks into model calls.
// The widget uses the model's OnViewChanged and OnBusy itself; the application takes OnChange.
class TMPHexEditorEx : public QAbstractScrollArea {
 public:
  struct TColors {
    QColor Background;
    QColor ChangedBackground{255, 255, 168};
    QColor ChangedText{128, 0, 0};            // maroon
    QColor CursorFrame{0, 0, 128};            // navy
    QColor NonFocusCursorFrame{0, 255, 255};  // aqua
    QColor Offset{0, 0, 0};
    QColor OddColumn{0, 0, 0};
    QColor EvenColumn{0, 0, 0};
    QColor CurrentOffsetBackground{192, 220, 192};  // money green
    QColor OffsetBackground{215, 228, 242};         // inactive caption gradient
    QColor CurrentOffset{255, 255, 255};            // button highlight
    QColor Grid{240, 240, 240};                     // button face
    QColor ActiveFieldBackground;
  };

  explicit TMPHexEditorEx(QWidget* parent = nullptr);

  TCustomMPHexEditor& Model() { return Editor; }
  const TCustomMPHexEditor& Model() const { return Editor; }

  TColors Colors;
  bool FocusFrame = true;
  bool DrawGridLines = false;

  const QFont& EditorFont() const { return TextFont; }
  THexLayout Layout() const;
  int TopRow() const;
  // Paints the rows that meet area (viewport coordinates) onto painter.
  void PaintTo(QPainter& painter, const QRect& area) const;
  void ScrollToCaret();
  void CopySelection() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void ModelChanged();
  void UpdateScrollBar();
  void PlaceCaret(const QPoint& at, bool extend);

  TCustomMPHexEditor Editor;
  QFont TextFont;
  QRawFont Raw;
  quint32 Glyphs[256] = {};  // glyph of each Latin-1 character, "." where the font has none
  int CharW = 8;
  int RowH = 17;
  int Ascent = 12;
};

}  // namespace quenvar
