#pragma once

// A plain read-only rendering of the memory buffer: offset, 16 bytes in hex
// and as characters per row, in a monospaced font, with a vertical scroll
// bar. It stands in where the full hex view widget is not built.

#include <QAbstractScrollArea>

namespace quenvar {

class TCustomMPHexEditor;

class THexPreview : public QAbstractScrollArea {
  Q_OBJECT

 public:
  THexPreview(TCustomMPHexEditor& Editor, QWidget* Parent = nullptr);

  // Re-reads the buffer after a change.
  void Refresh();
  // The text of one row, e.g. "0010: 41 42 ...  AB..".
  QString RowText(std::uint32_t Row) const;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  int RowHeight() const;
  TCustomMPHexEditor& FEditor;
};

}  // namespace quenvar
