#pragma once
// Running the command line in-process against temporary files.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "quenvar/cli/cli.h"
#include "temp_dir.h"

namespace quenvar::cli_test {

using test::ReadBytes;
using test::ReadText;
using test::TTempDir;
using test::WriteBytes;
using test::WriteText;

struct TRun {
  int FStatus = -1;
  std::string FOut;
  std::string FErr;
};

inline TRun Cli(const std::vector<std::string>& args, const TCliEnvironment& env = {}) {
  std::ostringstream out;
  std::ostringstream err;
  TRun r;
  r.FStatus = RunCli(args, out, err, env);
  r.FOut = out.str();
  r.FErr = err.str();
  return r;
}

// Durations depend on the machine: the digits are masked, the line's shape is
// kept ("Duration: 12.34 s" becomes "Duration: #.## s"; other lines stay).
inline std::string Masked(const std::string& text) {
  static const char* const kPrefixes[] = {"Duration: ", "Dauer: ", "Время выполнения : "};
  std::string out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    for (const char* prefix : kPrefixes) {
      const std::string p(prefix);
      if (line.rfind(p, 0) != 0 || line.size() < p.size() + 6) continue;
      const std::string value = line.substr(p.size());
      const std::size_t dot = value.find('.');
      const bool digits =
          dot != std::string::npos && dot > 0 && value.size() == dot + 5 &&
          value.compare(dot + 3, 2, " s") == 0 &&
          std::all_of(value.begin(), value.begin() + static_cast<std::ptrdiff_t>(dot),
                      [](char c) { return c >= '0' && c <= '9'; }) &&
          std::isdigit(static_cast<unsigned char>(value[dot + 1])) &&
          std::isdigit(static_cast<unsigned char>(value[dot + 2]));
      if (digits) line = p + "#.## s";
    }
    out += line;
    if (end < text.size()) out += '\n';
    start = end + 1;
  }
  return out;
}

inline bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Reproducible pseudo-random image.
inline std::vector<std::uint8_t> Noise(std::size_t size, std::uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(gen());
  return bytes;
}

}  // namespace quenvar::cli_test
