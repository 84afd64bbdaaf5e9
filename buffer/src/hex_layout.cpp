#include "quenvar/buffer/hex_layout.h"

#include <algorithm>

namespace quenvar {

THexLayout::THexLayout(int charWidth, int rowHeight, unsigned offsetChars)
    : Cw(std::max(charWidth, 1)), Rh(std::max(rowHeight, 1)), OffsetChars(offsetChars) {}

int THexLayout::FullRows(int height) const {
  return std::max(height / Rh, 1);
}

int THexLayout::TouchedRows(int height) const {
  return std::max((height + Rh - 1) / Rh, 1);
}

THexLayout::THit THexLayout::HitTest(int x, int y, std::uint32_t topRow,
                                     std::uint32_t maxPosition) const {
  THit hit;
  const std::uint64_t row = std::uint64_t{topRow} + static_cast<std::uint64_t>(std::max(y, 0) / Rh);
  int column = 0;
  if (x >= CharAreaX() - Cw / 2) {
    hit.Field = THexField::Chars;
    column = std::clamp((x - CharAreaX()) / Cw, 0, BytesPerRow - 1);
    if (x < CharAreaX()) column = 0;
  } else if (x >= OffsetColumnWidth()) {
    const int inArea = x - OffsetColumnWidth();
    column = std::min(inArea / (3 * Cw), BytesPerRow - 1);
    hit.LowNibble = inArea - column * 3 * Cw >= Cw;
  }
  const std::uint64_t pos = row * BytesPerRow + static_cast<std::uint64_t>(column);
  if (pos > maxPosition) {
    hit.Position = maxPosition;
    hit.LowNibble = false;
  } else {
    hit.Position = static_cast<std::uint32_t>(pos);
  }
  return hit;
}

}  // namespace quenvar
