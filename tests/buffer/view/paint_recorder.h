#pragma once

#include <QColor>
#include <QPaintDevice>
#include <QRectF>
#include <QSize>
#include <memory>
#include <ostream>
#include <set>
#include <vector>

class QPaintEngine;

namespace quenvar::test {

// A paint device that keeps what was painted on it, in order and in the colour it was painted
// in: fills and outlines as rectangles, text as the bounding box of each glyph contour. So a test
// can ask which colour landed where, whatever the font, its hinting or antialiasing.
class TPaintRecorder : public QPaintDevice {
 public:
  enum class TKind { Fill, Line, Ink };
  struct TOp {
    TKind FKind;
    QColor FColor;
    QRectF FBox;  // device pixels
  };

  explicit TPaintRecorder(QSize size);
  ~TPaintRecorder() override;

  QPaintEngine* paintEngine() const override;
  const std::vector<TOp>& Ops() const { return FOps; }

  // The colour of the last fill that covers point.
  QColor FillAt(QPointF point) const;
  // The colours of the glyph contours whose centre lies in box.
  std::set<QRgb> InkIn(const QRectF& box) const;
  // The glyph contours that a later fill or line painted over.
  std::vector<QRectF> CoveredInk() const;

 protected:
  int metric(PaintDeviceMetric metric) const override;

 private:
  QSize FSize;
  std::vector<TOp> FOps;
  std::unique_ptr<QPaintEngine> FEngine;
};

}  // namespace quenvar::test

// For GoogleTest's messages; QRectF lives in the global namespace, where lookup finds this.
inline void PrintTo(const QRectF& r, std::ostream* os) {
  *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
