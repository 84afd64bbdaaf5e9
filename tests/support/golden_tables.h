#pragma once
// The reviewed copies of the chip table and the 24xx table (tests/golden), read
// once. Tests compare the program's tables and what it does with each row
// against these, so no test restates a table of its own.

#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#ifndef QUENVAR_GOLDEN_DIR
#error "QUENVAR_GOLDEN_DIR names the folder of the reviewed tables"
#endif

namespace quenvar::test {

struct TGoldenChip {
  std::uint8_t FSignature[3];
  std::string FName;
  std::string FFlash;  // as the size box shows it
  std::uint32_t FEeprom;
  std::string FFamily;  // instruction, combined-byte, two-byte, lock-only
  bool FFuseRead;
  std::vector<std::uint8_t> FGreyed;
  std::uint8_t FPageCode;
  std::uint8_t FEepromCode;
  std::int32_t FEepromBytes;
  std::vector<std::string> FItems;
};

struct TGoldenEepromType {
  std::string FMenu;
  std::string FCaption;
  std::string FDevice;
  std::string FSize;
  std::uint16_t FCode;
  std::uint16_t FPage;
};

namespace golden_detail {

inline std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return parts;
    start = end + separator.size();
  }
}

// The rows of a table file: lines that are neither empty nor comments, split into fields.
inline std::vector<std::vector<std::string>> Rows(const char* file, std::size_t fields) {
  std::ifstream in(std::string(QUENVAR_GOLDEN_DIR) + "/" + file);
  if (!in) throw std::runtime_error(std::string("cannot read the golden table ") + file);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    rows.push_back(Split(line, " | "));
    if (rows.back().size() != fields)
      throw std::runtime_error(std::string(file) + ": a row of the wrong width: " + line);
  }
  return rows;
}

inline unsigned Hex(const std::string& text) {
  return static_cast<unsigned>(std::stoul(text, nullptr, 16));
}

}  // namespace golden_detail

inline const std::vector<TGoldenChip>& GoldenChips() {
  static const std::vector<TGoldenChip> kChips = [] {
    using namespace golden_detail;
    std::vector<TGoldenChip> out;
    for (const auto& f : Rows("chips.txt", 11)) {
      TGoldenChip c{};
      const std::vector<std::string> sig = Split(f[0], " ");
      for (std::size_t i = 0; i < 3; ++i)
        c.FSignature[i] = static_cast<std::uint8_t>(Hex(sig.at(i)));
      c.FName = f[1];
      c.FFlash = f[2];
      c.FEeprom = static_cast<std::uint32_t>(std::stoul(f[3]));
      c.FFamily = f[4];
      c.FFuseRead = f[5] == "yes";
      if (f[6] != "-")
        for (const std::string& index : Split(f[6], " "))
          c.FGreyed.push_back(static_cast<std::uint8_t>(std::stoul(index)));
      c.FPageCode = static_cast<std::uint8_t>(Hex(f[7]));
      c.FEepromCode = static_cast<std::uint8_t>(Hex(f[8]));
      c.FEepromBytes = std::stoi(f[9]);
      c.FItems = Split(f[10], ", ");
      out.push_back(std::move(c));
    }
    return out;
  }();
  return kChips;
}

inline const std::vector<TGoldenEepromType>& GoldenEepromTypes() {
  static const std::vector<TGoldenEepromType> kTypes = [] {
    std::vector<TGoldenEepromType> out;
    for (const auto& f : golden_detail::Rows("eeprom_types.txt", 6))
      out.push_back({f[0], f[1], f[2], f[3], static_cast<std::uint16_t>(std::stoul(f[4])),
                     static_cast<std::uint16_t>(std::stoul(f[5]))});
    return out;
  }();
  return kTypes;
}

}  // namespace quenvar::test
