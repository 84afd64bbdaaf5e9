// Painting one full viewport of the hex view, offscreen, into an image.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <vector>

#include "quenvar/buffer/mp_hex_editor_ex.h"

namespace {

void PaintViewport(benchmark::State& state) {
  const std::size_t size = static_cast<std::size_t>(state.range(0));
  quenvar::TMPHexEditorEx view;
  view.resize(649, 601);
  view.show();
  std::vector<std::uint8_t> data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 13);
  view.Model().LoadDataFromVector(std::move(data));
  view.Model().SetReadOnlyView(false);
  // Caret and a few changed bytes in the middle of the buffer, scrolled there.
  const std::uint32_t middle = static_cast<std::uint32_t>(size / 2) & ~15u;
  for (std::uint32_t i = 0; i < 8; ++i) view.Model().WriteByte(middle + 3 * i, 0xEE);
  view.Model().SetCaret({middle + 5, true, quenvar::THexField::Hex});
  QApplication::processEvents();
  QImage image(view.viewport()->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&image);
    view.PaintTo(p, image.rect());
    p.end();
    benchmark::DoNotOptimize(image.constBits());
  }
  state.counters["rows"] = view.Layout().TouchedRows(image.height());
}
BENCHMARK(PaintViewport)
    ->Name("BenchPaintViewport/64KB")
    ->Arg(64 * 1024)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PaintViewport)
    ->Name("BenchPaintViewport/64MB")
    ->Arg(64 * 1024 * 1024)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
