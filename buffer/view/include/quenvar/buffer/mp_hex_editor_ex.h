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
    QColor FBackground;
    QColor FChangedBackground{255, 255, 168};
    QColor FChangedText{128, 0, 0};            // maroon
    QColor FCursorFrame{0, 0, 128};            // navy
    QColor FNonFocusCursorFrame{0, 255, 255};  // aqua
    QColor FOffset{0, 0, 0};
    QColor FOddColumn{0, 0, 0};
    QColor FEvenColumn{0, 0, 0};
    QColor FCurrentOffsetBackground{192, 220, 192};  // money green
    QColor FOffsetBackground{215, 228, 242};         // inactive caption gradient
    QColor FCurrentOffset{255, 255, 255};            // button highlight
    QColor FGrid{240, 240, 240};                     // button face
    QColor FActiveFieldBackground;
  };

  explicit TMPHexEditorEx(QWidget* parent = nullptr);

  TCustomMPHexEditor& Model() { return FEditor; }
  const TCustomMPHexEditor& Model() const { return FEditor; }

  TColors FColors;
  bool FFocusFrame = true;
  bool FDrawGridLines = false;

  const QFont& EditorFont() const { return FTextFont; }
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

  TCustomMPHexEditor FEditor;
  QFont FTextFont;
  QRawFont FRaw;
  quint32 FGlyphs[256] = {};  // glyph of each Latin-1 character, "." where the font has none
  int FCharW = 8;
  int FRowH = 17;
  int FAscent = 12;
};

}  // namespace quenvar
