// Settings store operations (each one opens and parses the file afresh) and
// the main window's re-render after a model change: a gauge step during a
// read, and a log line.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "quenvar/app/main_form.h"
#include "quenvar/app/qt_event_loop.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/stack/programmer_stack.h"

namespace {

using namespace quenvar;

// The stack with no programmer plugged in.
struct TNoProgrammer {
  TQtEventLoop FLoop;
  TProgrammerStack FStack{FLoop};
  TNoProgrammer() {
    TStackOptions options;
    options.FMakeBackend = [] { return std::make_shared<TSimHidBackend>(); };
    if (!FStack.Open(options)) std::abort();
  }
};

struct TStore {
  QTemporaryDir FDir;
  TRegistryEdit FEdit;
  TStore() {
    FEdit.SetRegKey("\\software\\Quenvar\\");
    FEdit.SetConfigRoot(FDir.path().toStdString());
    FEdit.PutInteger("Verify after program", 1);
    FEdit.PutInteger("Update buffer from file", 1);
    FEdit.PutInteger("Language", 2);
    FEdit.PutInteger("Last Device", 0);
  }
};

void BenchSettingsPutInteger(benchmark::State& state) {
  TStore store;
  std::int32_t value = 0;
  for (auto _ : state) store.FEdit.PutInteger("Last Device", value++ & 15);
}
BENCHMARK(BenchSettingsPutInteger);

void BenchSettingsHasAndGetInteger(benchmark::State& state) {
  TStore store;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store.FEdit.HasValue("Language"));
    benchmark::DoNotOptimize(store.FEdit.GetInteger("Language", 2));
  }
}
BENCHMARK(BenchSettingsHasAndGetInteger);

void BenchRenderGaugeStep(benchmark::State& state) {
  TStore store;
  TNoProgrammer none;
  TErrorBox box;
  TMainForm form(none.FStack, store.FEdit, box);
  TWindowModel& window = form.Presenter().Window();
  for (int i = 0; i < state.range(0); ++i) window.AddLine("line " + std::to_string(i));
  window.SetGaugeMax(1 << 20);
  std::int64_t position = 0;
  for (auto _ : state) window.SetGaugePosition(++position & 0xFFFFF);
}
BENCHMARK(BenchRenderGaugeStep)->Arg(10)->Arg(1000);

void BenchRenderLogLine(benchmark::State& state) {
  TStore store;
  TNoProgrammer none;
  TErrorBox box;
  TMainForm form(none.FStack, store.FEdit, box);
  TWindowModel& window = form.Presenter().Window();
  const auto refill = [&] {
    window.ClearLog();
    for (int i = 0; i < state.range(0); ++i) window.AddLine("line " + std::to_string(i));
  };
  refill();
  int added = 0;
  for (auto _ : state) {
    window.AddLine("one more line");
    if (++added == 256) {
      state.PauseTiming();
      refill();
      added = 0;
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BenchRenderLogLine)->Arg(10)->Arg(1000);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
