// One report round trip through the whole link: WriteReport -> echo model ->
// reader thread -> hand-over -> data handler on the UI loop -> next write.
// Also the memory one listed and one claimed device take.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "quenvar/hid/jv_hid_device_controller.h"
#include "quenvar/hid/sim_hid_backend.h"
#include "quenvar/hid/ui_loop.h"

namespace {

// Live heap bytes of the process, for the per-device figure.
std::atomic<long long> LiveBytes{0};

}  // namespace

void* operator new(std::size_t size) {
  auto* p = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
  if (!p) throw std::bad_alloc();
  *p = size;
  LiveBytes += static_cast<long long>(size);
  return reinterpret_cast<char*>(p) + sizeof(std::max_align_t);
}
void operator delete(void* p) noexcept {
  if (!p) return;
  auto* base = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - sizeof(std::max_align_t));
  LiveBytes -= static_cast<long long>(*base);
  std::free(base);
}
void operator delete(void* p, std::size_t) noexcept {
  operator delete(p);
}

namespace {

using namespace quenvar;

class TEcho : public ISimDeviceModel {
 public:
  void OnOutputReport(std::span<const std::uint8_t> report, ISimDeviceHost& host) override {
    host.PushInputReport(report);
  }
};

void BenchReportRoundTrip(benchmark::State& state) {
  auto sim = std::make_shared<TSimHidBackend>();
  TUiLoop loop;
  sim->Plug(0x0451, 0x3210, std::make_shared<TEcho>());
  TJvHidDeviceController ctl(sim, loop.Poster());
  std::uint64_t received = 0;
  ctl.SetOnDeviceData(
      [&received](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++received; });
  TJvHidDevice* dev = nullptr;
  if (!ctl.ClaimById(dev, 0x0451, 0x3210)) {
    state.SkipWithError("no device");
    return;
  }
  std::uint8_t report[65] = {0, 1, 2, 3};
  std::size_t written = 0;
  for (auto _ : state) {
    const std::uint64_t want = received + 1;
    dev->WriteReport(report, sizeof report, written);
    while (received < want) loop.ProcessEvents(std::chrono::milliseconds(100));
    ++report[1];
  }
  delete dev;
}
BENCHMARK(BenchReportRoundTrip)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

void BenchDeviceMemory(benchmark::State& state) {
  auto sim = std::make_shared<TSimHidBackend>();
  TUiLoop loop;
  TJvHidDeviceController ctl(sim, loop.Poster());
  ctl.SetOnDeviceData([](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {});
  long long listed = 0;
  long long claimed = 0;
  for (auto _ : state) {
    const auto plug = sim->Plug(0x0451, 0x3210, nullptr);
    const long long before = LiveBytes.load();
    ctl.DeviceChange();  // builds the listed device object
    const long long afterList = LiveBytes.load();
    TJvHidDevice* dev = nullptr;
    ctl.ClaimById(dev, 0x0451, 0x3210);  // reader thread object and its report buffer
    const long long afterClaim = LiveBytes.load();
    listed = afterList - before;
    claimed = afterClaim - before;
    state.PauseTiming();
    delete dev;
    sim->Unplug(plug);
    ctl.DeviceChange();
    state.ResumeTiming();
  }
  state.counters["bytes_listed_device"] = static_cast<double>(listed);
  state.counters["bytes_claimed_device"] = static_cast<double>(claimed);
  state.counters["sizeof_TJvHidDevice"] = sizeof(TJvHidDevice);
}
BENCHMARK(BenchDeviceMemory)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
