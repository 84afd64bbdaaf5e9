// Programming and verifying a full ATmega128 (128 KB) through the whole stack:
// the stack's driver, HID controller, simulated backend, simulated programmer
// and UI loop.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "quenvar/core/programmer_driver.h"
#include "quenvar/sim/sim_programmer.h"
#include "quenvar/stack/hex_editor_buffer.h"
#include "sim_stack.h"

namespace quenvar {
namespace {

double CpuSeconds(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Keeps how the last operation ended, and nothing else: the measurement is of
// the driver and the link, not of a listener.
struct TLastResult final : IDriverEvents {
  std::optional<TOperationResult> FResult;
  void OnFinished(TOperationResult result) override { FResult = result; }
};

// One programmer plugged into the simulated stack; the controller is one per process.
struct TStack {
  explicit TStack(bool realTiming) : FSim(Config(realTiming)) {
    FSim.Driver().SetListener(&FEvents);
    FSim.Attach();
    if (!FSim.Driver().HasProgrammer()) throw std::runtime_error("no programmer");
    std::vector<std::uint8_t> image(131072);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
    FSim.FEditor.LoadDataFromBytes(image);
    FSim.Driver().SelectIsp();
    FSim.Driver().SetVerifyAfterProgram(true);
  }
  static TSimConfig Config(bool realTiming) {
    TSimConfig config;
    config.FIsp.FChipName = "ATmega128";
    config.FRealTiming = realTiming;
    return config;
  }
  // Program with verify; true when it ended successfully.
  bool Run() {
    TProgrammerDriver& driver = FSim.Driver();
    if (!driver.AdmitImage(TRequestedOperation::ProgramFlash)) return false;
    FEvents.FResult.reset();
    driver.StartOperation(TRequestedOperation::ProgramFlash);
    const bool done = FSim.RunUntilIdle(std::chrono::minutes(2));
    return done && FEvents.FResult == TOperationResult::Success;
  }

  test::TSimStack FSim;
  TLastResult FEvents;
};

// The same operation without the link's threads: the simulated programmer
// answers inside the write and the replies are fed straight to the driver. This
// is the driver's own cost (plus the simulator's).
class TDirectDevice final : public IProgrammerDevice,
                            public IProgrammerPort,
                            public ISimDeviceHost {
 public:
  explicit TDirectDevice(std::shared_ptr<TSimProgrammer> programmer)
      : FProgrammer(std::move(programmer)) {}
  bool PluggedIn() const override { return true; }
  std::size_t OutputReportLength() override { return 65; }
  bool WriteReport(std::span<const std::uint8_t> report) override {
    FProgrammer->OnOutputReport(report, *this);
    return true;
  }
  IProgrammerDevice* ClaimProgrammer(std::uint16_t, std::uint16_t) override { return this; }
  void ReleaseProgrammer(IProgrammerDevice*) override {}
  void PushInputReport(std::span<const std::uint8_t> report, std::chrono::microseconds) override {
    std::array<std::uint8_t, 65> r{};
    std::copy_n(report.begin(), std::min(report.size(), r.size()), r.begin());
    FPending.push_back(r);
  }
  void RequestUnplug() override {}

  std::shared_ptr<TSimProgrammer> FProgrammer;
  std::deque<std::array<std::uint8_t, 65>> FPending;
};

void BenchProgramVerifyATmega128DriverOnly(benchmark::State& state) {
  TSimConfig config;
  config.FIsp.FChipName = "ATmega128";
  config.FRealTiming = false;
  TDirectDevice device(std::make_shared<TSimProgrammer>(config));
  TCustomMPHexEditor editor;
  THexEditorBuffer buffer(editor);
  TProgrammerDriver driver(TProgrammerDriver::TPorts{&device, &buffer, nullptr});
  driver.DeviceChange();
  std::vector<std::uint8_t> image(131072);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 5);
  editor.LoadDataFromBytes(image);
  driver.SelectIsp();
  driver.SetVerifyAfterProgram(true);
  for (auto _ : state) {
    driver.StartOperation(TRequestedOperation::ProgramFlash);
    while (!device.FPending.empty()) {
      const auto report = device.FPending.front();
      device.FPending.pop_front();
      driver.HidData(report[0], std::span<const std::uint8_t>(report.data() + 1, 64));
    }
    if (driver.ProtocolStateValue() != TProtocolState::Idle) {
      state.SkipWithError("operation did not end");
      return;
    }
  }
  state.counters["us_per_chunk"] =
      benchmark::Counter(2.0 * 2260 * static_cast<double>(state.iterations()) * 1e-6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BenchProgramVerifyATmega128DriverOnly)->Unit(benchmark::kMillisecond);

// 131072 / 58 rounded up, for the write and again for the verify.
constexpr double kChunkRoundTrips = 2.0 * 2260;

void BenchProgramVerifyATmega128NoTiming(benchmark::State& state) {
  TStack stack(false);
  for (auto _ : state) {
    if (!stack.Run()) {
      state.SkipWithError("operation failed");
      return;
    }
  }
  state.counters["us_per_chunk"] =
      benchmark::Counter(kChunkRoundTrips * static_cast<double>(state.iterations()) * 1e-6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BenchProgramVerifyATmega128NoTiming)->Unit(benchmark::kMillisecond)->UseRealTime();

// With the simulated USB frames and programming times the wall time is set by
// the device; the process's CPU time (driver, link and simulator together, so an
// upper bound of the application's part) should be a small share of it.
void BenchProgramVerifyATmega128RealTiming(benchmark::State& state) {
  TStack stack(true);
  double cpu = 0;
  double ui = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpu0 = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double ui0 = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const auto wall0 = std::chrono::steady_clock::now();
    if (!stack.Run()) {
      state.SkipWithError("operation failed");
      return;
    }
    cpu += CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    ui += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - ui0;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  }
  // Process: every thread, the simulator included. UI thread: the driver, the
  // writes (and the simulator's handling of each report, which runs in them).
  state.counters["process_cpu_pct"] = wall > 0 ? 100.0 * cpu / wall : 0;
  state.counters["ui_thread_cpu_pct"] = wall > 0 ? 100.0 * ui / wall : 0;
  state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
}
BENCHMARK(BenchProgramVerifyATmega128RealTiming)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
}  // namespace quenvar
