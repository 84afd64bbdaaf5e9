#include "paint_recorder.h"

#include <QPaintEngine>
#include <QPainterPath>

namespace quenvar::test {

namespace {

class TRecordingEngine : public QPaintEngine {
 public:
  explicit TRecordingEngine(std::vector<TPaintRecorder::TOp>& ops)
      : QPaintEngine(QPaintEngine::AllFeatures), FOps(ops) {}

  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState&) override {}
  Type type() const override { return QPaintEngine::User; }
  void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}

  void drawRects(const QRectF* rects, int count) override {
    for (int i = 0; i < count; ++i) {
      const QRectF& r = rects[i];
      if (state->brush().style() != Qt::NoBrush)
        Add(TPaintRecorder::TKind::Fill, state->brush().color(), r);
      if (state->pen().style() != Qt::NoPen) {
        // A one-pixel outline: the four edges.
        const QColor c = state->pen().color();
        Add(TPaintRecorder::TKind::Line, c, QRectF(r.left(), r.top(), 1, r.height() + 1));
        Add(TPaintRecorder::TKind::Line, c, QRectF(r.right(), r.top(), 1, r.height() + 1));
        Add(TPaintRecorder::TKind::Line, c, QRectF(r.left(), r.top(), r.width() + 1, 1));
        Add(TPaintRecorder::TKind::Line, c, QRectF(r.left(), r.bottom(), r.width() + 1, 1));
      }
    }
  }
  // QPaintEngine draws text as glyph outlines filled in the pen's colour.
  void drawTextItem(const QPointF& at, const QTextItem& item) override {
    FInText = true;
    QPaintEngine::drawTextItem(at, item);
    FInText = false;
  }
  void drawPath(const QPainterPath& path) override {
    const TPaintRecorder::TKind kind =
        FInText ? TPaintRecorder::TKind::Ink : TPaintRecorder::TKind::Fill;
    for (const QPolygonF& contour : path.toSubpathPolygons())
      Add(kind, state->brush().color(), contour.boundingRect());
  }

 private:
  void Add(TPaintRecorder::TKind kind, const QColor& color, const QRectF& box) {
    FOps.push_back({kind, color, state->transform().mapRect(box)});
  }

  std::vector<TPaintRecorder::TOp>& FOps;
  bool FInText = false;
};

}  // namespace

TPaintRecorder::TPaintRecorder(QSize size)
    : FSize(size), FEngine(std::make_unique<TRecordingEngine>(FOps)) {}

TPaintRecorder::~TPaintRecorder() = default;

QPaintEngine* TPaintRecorder::paintEngine() const {
  return FEngine.get();
}

int TPaintRecorder::metric(PaintDeviceMetric metric) const {
  switch (metric) {
    case PdmWidth:
      return FSize.width();
    case PdmHeight:
      return FSize.height();
    case PdmDepth:
      return 32;
    case PdmDevicePixelRatio:
      return 1;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
      return 96;
    case PdmDevicePixelRatioScaled:
      return static_cast<int>(devicePixelRatioFScale());
    default:
      return 0;
  }
}

QColor TPaintRecorder::FillAt(QPointF point) const {
  QColor color;
  for (const TOp& op : FOps)
    if (op.FKind == TKind::Fill && op.FBox.contains(point)) color = op.FColor;
  return color;
}

std::set<QRgb> TPaintRecorder::InkIn(const QRectF& box) const {
  std::set<QRgb> colors;
  for (const TOp& op : FOps)
    if (op.FKind == TKind::Ink && box.contains(op.FBox.center())) colors.insert(op.FColor.rgb());
  return colors;
}

std::vector<QRectF> TPaintRecorder::CoveredInk() const {
  std::vector<QRectF> covered;
  for (std::size_t i = 0; i < FOps.size(); ++i) {
    if (FOps[i].FKind != TKind::Ink) continue;
    for (std::size_t j = i + 1; j < FOps.size(); ++j) {
      if (FOps[j].FKind != TKind::Ink && FOps[j].FBox.intersects(FOps[i].FBox)) {
        covered.push_back(FOps[i].FBox);
        break;
      }
    }
  }
  return covered;
}

}  // namespace quenvar::test
