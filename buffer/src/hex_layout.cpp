#include "quenvar/buffer/hex_layout.h"

#include <algorithm>

namespace quenvar {

THexLayout::THexLayout(int charWidth, int rowHeight, unsigned offsetChars)
    : FCw(std::max(charWidth, 1)), FRh(std::max(rowHeight, 1)), FOffsetChars(offsetChars) {}

int THexLayout::FullRows(int height) const {
  return std::max(height / FRh, 1);
}

int THexLayout::TouchedRows(int height) const {
  return std::max((height + FRh - 1) / FRh, 1);
}

THexLayout::THit THexLayout::HitTest(int x, int y, std::uint32_t topRow,
                                     std::uint32_t maxPosition) const {
  THit hit;
  const std::uint64_t row =
      std::uint64_t{topRow} + static_cast<std::uint64_t>(std::max(y, 0) / FRh);
  int column = 0;
  if (x >= CharAreaX() - FCw / 2) {
    hit.FField = THexField::Chars;
    column = std::clamp((x - CharAreaX()) / FCw, 0, kBytesPerRow - 1);
    if (x < CharAreaX()) column = 0;
  } else if (x >= OffsetColumnWidth()) {
    const int inArea = x - OffsetColumnWidth();
    column = std::min(inArea / (3 * FCw), kBytesPerRow - 1);
    hit.FLowNibble = inArea - column * 3 * FCw >= FCw;
  }
  const std::uint64_t pos = row * kBytesPerRow + static_cast<std::uint64_t>(column);
  if (pos > maxPosition) {
    hit.FPosition = maxPosition;
    hit.FLowNibble = false;
  } else {
    hit.FPosition = static_cast<std::uint32_t>(pos);
  }
  return hit;
}

}  // namespace quenvar
