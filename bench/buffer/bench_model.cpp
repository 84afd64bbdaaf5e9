// Memory of a large buffer (content plus change marks) and the cost of edits on it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"

namespace {

constexpr std::size_t kMb64 = 64u * 1024 * 1024;

// Resident set size of this process in bytes (Linux).
long long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * 4096;
}

void BenchMemory64MB(benchmark::State& state) {
  const std::string file = "/tmp/quenvar_bench_64mb.bin";
  {
    std::ofstream out(file, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(i * 31);
    for (int i = 0; i < 64; ++i)
      out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  for (auto _ : state) {
    const long long before = ResidentBytes();
    auto editor = std::make_unique<quenvar::TCustomMPHexEditor>();
    if (!editor->LoadDataFromFile(file)) state.SkipWithError("load failed");
    editor->SetReadOnlyView(false);
    editor->SetMaxUndo(1);  // the benchmark measures data and marks, not the history
    // Mark every other byte of the first megabyte: marks cost the same however many are set.
    for (std::uint32_t i = 0; i < (1u << 20); i += 2)
      editor->WriteByte(i, static_cast<std::uint8_t>(editor->ByteAt(i) ^ 0xFF));
    const long long after = ResidentBytes();
    const double model =
        static_cast<double>(editor->DataLength() + editor->ChangeMarks().MemoryBytes());
    state.counters["data_bytes"] = static_cast<double>(editor->DataLength());
    state.counters["marks_bytes"] = static_cast<double>(editor->ChangeMarks().MemoryBytes());
    state.counters["model_ratio"] = model / static_cast<double>(kMb64);
    state.counters["rss_growth_bytes"] = static_cast<double>(after - before);
    state.counters["rss_ratio"] = static_cast<double>(after - before) / static_cast<double>(kMb64);
    const std::uint8_t one[1] = {0};
    editor->InsertBytes(0, one);  // the first growth must not double the reservation
    state.counters["heap_ratio_after_insert"] =
        static_cast<double>(editor->MemoryBytes()) / static_cast<double>(kMb64);
    benchmark::DoNotOptimize(editor.get());
  }
  std::remove(file.c_str());
}
BENCHMARK(BenchMemory64MB)->Iterations(1)->Unit(benchmark::kMillisecond);

void BenchInsertByteAtStart(benchmark::State& state) {
  quenvar::TCustomMPHexEditor editor;
  editor.LoadDataFromVector(std::vector<std::uint8_t>(static_cast<std::size_t>(state.range(0)), 1));
  editor.SetReadOnlyView(false);
  editor.SetMaxUndo(1);
  editor.WriteByte(5, 9);  // one mark, so the marks really shift
  const std::uint8_t b[1] = {7};
  for (auto _ : state) {
    editor.InsertBytes(0, b);
    editor.DeleteBytes(0, 1);
  }
}
BENCHMARK(BenchInsertByteAtStart)
    ->Arg(64 * 1024)
    ->Arg(static_cast<int>(kMb64))
    ->Unit(benchmark::kMicrosecond);

void BenchOverwriteNibble(benchmark::State& state) {
  quenvar::TCustomMPHexEditor editor;
  editor.LoadDataFromVector(std::vector<std::uint8_t>(kMb64, 0));
  editor.SetReadOnlyView(false);
  editor.SetMaxUndo(4096);
  std::uint8_t v = 0;
  for (auto _ : state) editor.WriteNibble(12345678, false, ++v & 0x0F);
}
BENCHMARK(BenchOverwriteNibble);

}  // namespace
