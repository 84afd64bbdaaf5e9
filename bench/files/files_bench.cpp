// Intel HEX parse and write throughput, counted in image bytes.
// Writes the 16 MiB test file to $QUENVAR_BENCH_HEX_OUT when set, so that
// other tools can be timed on the very same input. With $QUENVAR_BENCH_HEX_IN
// set, BenchOpenHexFile opens that file into the window's buffer model the way
// File > open does (bench/cli/convert.sh times it against objcopy).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/buffer/hex_file.h"

namespace {

std::vector<std::uint8_t> RandomImage(std::size_t size) {
  std::vector<std::uint8_t> b(size);
  std::mt19937 rng(42);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

void BenchParseHex(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::string text = quenvar::WriteHexFile(RandomImage(size));
  if (const char* out = std::getenv("QUENVAR_BENCH_HEX_OUT"); out && size == (16u << 20))
    std::ofstream(out, std::ios::binary) << text;
  for (auto _ : state) {
    quenvar::TResult<quenvar::TByteImage> r = quenvar::ReadHexFile(text);
    if (!r.Ok()) state.SkipWithError("refused");
    benchmark::DoNotOptimize(r.Ok() ? r->data() : nullptr);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
  state.counters["text_bytes"] = static_cast<double>(text.size());
}

void BenchWriteHex(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::vector<std::uint8_t> image = RandomImage(size);
  for (auto _ : state) {
    std::string text = quenvar::WriteHexFile(image);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

// One open per iteration into a fresh buffer, as the first open of a run:
// reading, both passes, handing the image to the buffer; no painting.
void BenchOpenHexFile(benchmark::State& state) {
  const char* in = std::getenv("QUENVAR_BENCH_HEX_IN");
  if (in == nullptr) {
    state.SkipWithError("QUENVAR_BENCH_HEX_IN is not set");
    return;
  }
  std::size_t length = 0;
  for (auto _ : state) {
    quenvar::TCustomMPHexEditor editor;
    quenvar::TFileOps files(editor);
    // Timed by hand: giving the buffer back afterwards is no part of the open.
    const auto start = std::chrono::steady_clock::now();
    const quenvar::TOpenOutcome o = files.OpenFile(std::string(in), 1);
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (o.FLoad.FStatus != quenvar::TLoadStatus::Loaded) state.SkipWithError("not loaded");
    length = editor.DataLength();
  }
  state.counters["image_bytes"] = static_cast<double>(length);
}

}  // namespace

BENCHMARK(BenchOpenHexFile)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BenchParseHex)->Arg(64 << 10)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BenchWriteHex)->Arg(64 << 10)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
