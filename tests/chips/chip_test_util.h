#pragma once
// Small formatters so expectations can be written as the literal text of the
// bytes ("58 00 00|50 00 00").

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/fuses.h"
#include "quenvar/core/log_line.h"

namespace quenvar::test {

inline std::string Hex2(std::uint8_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

inline std::string RecordsText(const std::vector<TFuseRecord>& records) {
  std::string text;
  for (const TFuseRecord& r : records) {
    if (!text.empty()) text += '|';
    text += Hex2(r[0]) + " " + Hex2(r[1]) + " " + Hex2(r[2]);
  }
  return text;
}

inline std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += '|';
    text += line;
  }
  return text;
}

// Log lines as the English window shows them, joined like Joined().
inline std::string Joined(const std::vector<TLogLine>& lines) {
  std::vector<std::string> texts;
  texts.reserve(lines.size());
  for (const TLogLine& line : lines) texts.push_back(RenderLogLine(line, 1));
  return Joined(texts);
}

inline const TChipInfo& Chip(std::string_view name) {
  const TChipInfo* chip = FindChipByName(name);
  if (chip == nullptr) throw std::invalid_argument("no chip " + std::string(name));
  return *chip;
}

}  // namespace quenvar::test
