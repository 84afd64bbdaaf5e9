// Programming and verifying 128 KiB into an ATmega128 on 1, 2, 4 and 8
// simulated programmers at once, with the simulator's realistic timing (USB
// frames, page writes), through quenvar-cli's production run: one driver per
// programmer on one event loop. The wall time of N against the time of one
// tells whether the host ever becomes the bottleneck; the process CPU per
// programmer (the simulated programmers' own work included) what one costs.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "quenvar/cli/cli.h"

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The wall time of one programmer, measured first in the same run.
double OneProgrammerSeconds = 0;

std::string ImageFile() {
  static const std::string kPath = [] {
    std::string name = (std::filesystem::temp_directory_path() /
                        ("quenvar-bench-gang-" + std::to_string(::getpid()) + ".bin"))
                           .string();
    std::ofstream out(name, std::ios::binary);
    for (int i = 0; i < 131072; ++i) out.put(static_cast<char>(i * 13 + 5));
    return name;
  }();
  return kPath;
}

void BmGangProgramVerify128K(benchmark::State& state) {
  const int programmers = static_cast<int>(state.range(0));
  const std::vector<std::string> args{
      "--simulate=isp=ATmega128,timing=real,programmers=" + std::to_string(programmers),
      "--programmer",
      "all",
      "--quiet",
      "write-flash",
      ImageFile()};
  double wall = 0;
  double cpu = 0;
  for (auto _ : state) {
    std::ostringstream out;
    std::ostringstream err;
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int status = quenvar::RunCli(args, out, err);
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cpu = CpuSeconds() - cpuStart;
    if (status != 0) state.SkipWithError(("exit status " + std::to_string(status)).c_str());
  }
  if (programmers == 1) OneProgrammerSeconds = wall;
  state.counters["wall_s"] = wall;
  state.counters["vs_one"] = OneProgrammerSeconds > 0 ? wall / OneProgrammerSeconds : 0;
  state.counters["cpu_s_per_programmer"] = cpu / programmers;
  state.counters["cpu_share_per_programmer"] = cpu / programmers / wall;
}
// One is registered first, so the others compare with it.
BENCHMARK(BmGangProgramVerify128K)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Arg(8)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(ImageFile().c_str());
  return 0;
}
