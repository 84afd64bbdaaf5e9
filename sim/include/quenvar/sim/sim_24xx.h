#pragma once
// The 24xx serial EEPROM in the simulated socket. Its type is fixed like a real
// chip in a socket; the application's size code and page size say only what
// the user selected, and may be wrong.

#include <cstdint>
#include <span>
#include <vector>

#include "quenvar/sim/sim_chip_table.h"

namespace quenvar {

class TSim24xx {
 public:
  // A fresh chip: all FF.
  explicit TSim24xx(const TSim24xxModel& model);

  const TSim24xxModel& Model() const { return *FModel; }
  std::vector<std::uint8_t>& Content() { return FContent; }
  const std::vector<std::uint8_t>& Content() const { return FContent; }

  // Addresses wrap at the chip's real size.
  std::uint8_t Read(std::uint32_t address) const;

  // One I2C page-write cycle: the chip's address counter advances inside the
  // page of `address` only, so bytes past the page end wrap to its start.
  void PageWrite(std::uint32_t address, std::span<const std::uint8_t> bytes);

  // What the programmer does for `bytes` at `address` with the page size the
  // application named: one page-write cycle per run that ends at a multiple of
  // `appPageSize` or at the end of `bytes`. Returns the number of cycles.
  std::uint32_t WriteRuns(std::uint32_t address, std::span<const std::uint8_t> bytes,
                          std::uint32_t appPageSize);

  // Erase as the programmer does it: FF written over the size the
  // application's size code names, in pages of the application's page size.
  // Returns the number of page-write cycles.
  std::uint32_t Erase(std::uint8_t sizeCode, std::uint8_t appPageSize);

 private:
  const TSim24xxModel* FModel;
  std::vector<std::uint8_t> FContent;
};

}  // namespace quenvar
