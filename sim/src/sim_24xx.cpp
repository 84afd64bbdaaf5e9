#include "quenvar/sim/sim_24xx.h"

#include <algorithm>

namespace quenvar {

TSim24xx::TSim24xx(const TSim24xxModel& model) : FModel(&model), FContent(model.FSize, 0xFF) {}

std::uint8_t TSim24xx::Read(std::uint32_t address) const {
  return FContent[address % FContent.size()];
}

void TSim24xx::PageWrite(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  const std::uint32_t page = std::max<std::uint32_t>(FModel->FPageSize, 1);
  const std::uint32_t start = address % static_cast<std::uint32_t>(FContent.size());
  const std::uint32_t base = start / page * page;
  std::uint32_t offset = start - base;
  for (std::uint8_t b : bytes) {
    FContent[base + offset] = b;
    offset = (offset + 1) % page;
  }
}

std::uint32_t TSim24xx::WriteRuns(std::uint32_t address, std::span<const std::uint8_t> bytes,
                                  std::uint32_t appPageSize) {
  const std::uint32_t page = std::max<std::uint32_t>(appPageSize, 1);
  std::uint32_t cycles = 0;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::uint32_t a = address + static_cast<std::uint32_t>(pos);
    const std::size_t room = page - a % page;
    const std::size_t run = std::min(room, bytes.size() - pos);
    PageWrite(a, bytes.subspan(pos, run));
    pos += run;
    ++cycles;
  }
  return cycles;
}

std::uint32_t TSim24xx::Erase(std::uint8_t sizeCode, std::uint8_t appPageSize) {
  const std::uint32_t total = Sim24xxSizeFromCode(sizeCode);
  const std::uint32_t page = std::max<std::uint32_t>(appPageSize, 1);
  const std::vector<std::uint8_t> blank(page, 0xFF);
  std::uint32_t cycles = 0;
  for (std::uint32_t a = 0; a < total; a += page) {
    const std::uint32_t run = std::min(page, total - a);
    cycles += WriteRuns(a, std::span(blank).first(run), page);
  }
  return cycles;
}

}  // namespace quenvar
