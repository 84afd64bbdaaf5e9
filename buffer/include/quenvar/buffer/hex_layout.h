#pragma once

#include <cstdint>

#include "quenvar/buffer/undo_history.h"

namespace quenvar {

// Where things are on the hex view, in pixels, for a fixed-width font: the offset column, 16 hex
// cells of two digits and a gap, a one-character gap, then 16 character cells.
class THexLayout {
 public:
  static constexpr int kBytesPerRow = 16;

  THexLayout(int charWidth, int rowHeight, unsigned offsetChars);

  int CharWidth() const { return FCw; }
  int RowHeight() const { return FRh; }
  // One character wider than the offset text.
  int OffsetColumnWidth() const { return (static_cast<int>(FOffsetChars) + 1) * FCw; }
  int HexCellX(int column) const { return OffsetColumnWidth() + column * 3 * FCw; }
  int HexDigitX(int column, bool lowNibble) const {
    return HexCellX(column) + (lowNibble ? FCw : 0);
  }
  int CharAreaX() const { return HexCellX(kBytesPerRow) + FCw; }
  int CharCellX(int column) const { return CharAreaX() + column * FCw; }
  int TotalWidth() const { return CharCellX(kBytesPerRow) + FCw; }

  // Whole rows that fit the height (at least 1), and rows touched by it (for painting).
  int FullRows(int height) const;
  int TouchedRows(int height) const;

  static std::uint32_t RowOf(std::uint32_t offset) { return offset / kBytesPerRow; }
  static int ColumnOf(std::uint32_t offset) { return static_cast<int>(offset % kBytesPerRow); }

  struct THit {
    THexField FField = THexField::Hex;
    std::uint32_t FPosition = 0;
    bool FLowNibble = false;
    bool operator==(const THit&) const = default;
  };
  // The byte under a point of the data area, with topRow the first data row shown; positions
  // beyond maxPosition are pulled back onto it.
  THit HitTest(int x, int y, std::uint32_t topRow, std::uint32_t maxPosition) const;

 private:
  int FCw;
  int FRh;
  unsigned FOffsetChars;
};

}  // namespace quenvar
