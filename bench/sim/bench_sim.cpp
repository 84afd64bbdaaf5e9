// How fast the simulated programmer answers: whole reads, chunked writes and
// verifies, and fuse reads, with a host that only counts reports.

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "quenvar/sim/sim_programmer.h"

namespace {

using quenvar::ISimDeviceHost;
using quenvar::TSimConfig;
using quenvar::TSimProgrammer;

class TCountingHost final : public ISimDeviceHost {
 public:
  void PushInputReport(std::span<const std::uint8_t> report,
                       std::chrono::microseconds /*delay*/) override {
    FReports += 1;
    FBytes += report.size();
  }
  void RequestUnplug() override {}
  std::size_t FReports = 0;
  std::size_t FBytes = 0;
};

TSimConfig Config(const char* chip, const char* socket) {
  TSimConfig config;
  config.FIsp.FChipName = chip;
  config.FSocket = socket;
  config.FRealTiming = false;
  return config;
}

std::array<std::uint8_t, 65> Report(std::uint8_t target, std::uint8_t command, std::uint8_t b3,
                                    std::uint8_t b4 = 0, std::uint8_t b5 = 0) {
  std::array<std::uint8_t, 65> r{};
  r[1] = target;
  r[2] = command;
  r[3] = b3;
  r[4] = b4;
  r[5] = b5;
  return r;
}

// Streams the whole 128 KiB flash of an ATmega128: 2081 data reports.
void BenchReadFlash128K(benchmark::State& state) {
  TSimProgrammer sim(Config("ATmega128", "24AA256"));
  const auto request = Report(5, 5, 128);
  for (auto _ : state) {
    TCountingHost host;
    sim.OnOutputReport(request, host);
    benchmark::DoNotOptimize(host.FReports);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 131072);
}
BENCHMARK(BenchReadFlash128K);

// Writes then verifies 8 KiB of ATmega8 flash in 58-byte chunks, as the
// application sends them.
void BenchWriteVerifyFlash8K(benchmark::State& state) {
  TSimProgrammer sim(Config("ATmega8", "24AA256"));
  constexpr std::size_t kSize = 8192;
  for (auto _ : state) {
    TCountingHost host;
    sim.OnOutputReport(Report(5, 2, 0), host);
    for (std::uint8_t command : {std::uint8_t{3}, std::uint8_t{4}}) {
      for (std::size_t pos = 0; pos < kSize; pos += 58) {
        const std::size_t n = std::min<std::size_t>(58, kSize - pos);
        auto r = Report(5, command, static_cast<std::uint8_t>(n), pos + n < kSize ? 1 : 0, 32);
        for (std::size_t i = 0; i < n; ++i) r[6 + i] = static_cast<std::uint8_t>(pos + i);
        sim.OnOutputReport(r, host);
      }
    }
    benchmark::DoNotOptimize(host.FReports);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * kSize);
}
BENCHMARK(BenchWriteVerifyFlash8K);

// Writes all 64 KiB of a 24AA512 in the socket in 32-byte chunks.
void BenchWriteSocket64K(benchmark::State& state) {
  TSimProgrammer sim(Config("ATmega8", "24AA512"));
  constexpr std::size_t kSize = 65536;
  for (auto _ : state) {
    TCountingHost host;
    for (std::size_t pos = 0; pos < kSize; pos += 32) {
      auto r = Report(3, 3, 32, pos + 32 < kSize ? 130 : 0, 128);
      sim.OnOutputReport(r, host);
    }
    benchmark::DoNotOptimize(host.FReports);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize);
}
BENCHMARK(BenchWriteSocket64K);

// One fuse read of an ATmega128: eight records.
void BenchFuseRead(benchmark::State& state) {
  TSimProgrammer sim(Config("ATmega128", "24AA256"));
  auto r = Report(5, 8, 8);
  const std::uint8_t records[] = {0x58, 0, 0, 0x50, 0, 0, 0x58, 8, 0, 0x50, 8, 0,
                                  0x38, 0, 0, 0x38, 0, 1, 0x38, 0, 2, 0x38, 0, 3};
  std::copy(std::begin(records), std::end(records), r.begin() + 4);
  for (auto _ : state) {
    TCountingHost host;
    sim.OnOutputReport(r, host);
    benchmark::DoNotOptimize(host.FBytes);
  }
}
BENCHMARK(BenchFuseRead);

}  // namespace
