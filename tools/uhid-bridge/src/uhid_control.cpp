#include "quenvar/uhid/uhid_control.h"

#include <charconv>
#include <string>
#include <vector>

namespace quenvar {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (i < line.size()) {
    while (i < line.size() && blank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !blank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

std::optional<TUhidCommand> ParseUhidCommand(std::string_view line) {
  const std::vector<std::string_view> w = Words(line);
  if (w.size() == 1) {
    if (w[0] == "unplug") return TUhidCommand{TUhidCommandKind::Unplug};
    if (w[0] == "replug" || w[0] == "plug") return TUhidCommand{TUhidCommandKind::Replug};
    if (w[0] == "stats") return TUhidCommand{TUhidCommandKind::Stats};
    if (w[0] == "quit") return TUhidCommand{TUhidCommandKind::Quit};
    return std::nullopt;
  }
  if (w.size() == 2 && w[0] == "unplug-after") {
    std::uint64_t n = 0;
    const char* end = w[1].data() + w[1].size();
    const auto [ptr, ec] = std::from_chars(w[1].data(), end, n);
    if (ec != std::errc() || ptr != end || n == 0) return std::nullopt;
    return TUhidCommand{TUhidCommandKind::UnplugAfter, n};
  }
  return std::nullopt;
}

}  // namespace quenvar
