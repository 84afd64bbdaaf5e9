#include <gtest/gtest.h>

#include "quenvar/buffer/hex_layout.h"

namespace quenvar {
namespace {

// Characters 8 px wide, rows 17 px high, offset text "0x000" (5 characters):
// offset column 0..47, hex cells at 48 + 24 * column, characters from 440 (48 + 384 + 8).
TEST(HexLayout, ColumnPositions) {
  const THexLayout l(8, 17, 5);
  EXPECT_EQ(l.OffsetColumnWidth(), 48);
  EXPECT_EQ(l.HexCellX(0), 48);
  EXPECT_EQ(l.HexDigitX(0, true), 56);
  EXPECT_EQ(l.HexCellX(15), 408);
  EXPECT_EQ(l.CharAreaX(), 440);
  EXPECT_EQ(l.CharCellX(15), 560);
  EXPECT_EQ(l.TotalWidth(), 576);
}

TEST(HexLayout, RowAndColumnOfOffset) {
  struct TCase {
    std::uint32_t FOffset;
    std::uint32_t FRow;
    int FColumn;
  };
  const TCase cases[] = {
      {0, 0, 0}, {15, 0, 15}, {16, 1, 0}, {0x7F5, 0x7F, 5}, {0xFFFFFFFF, 0x0FFFFFFF, 15}};
  for (const TCase& c : cases) {
    EXPECT_EQ(THexLayout::RowOf(c.FOffset), c.FRow) << c.FOffset;
    EXPECT_EQ(THexLayout::ColumnOf(c.FOffset), c.FColumn) << c.FOffset;
  }
}

TEST(HexLayout, RowsInHeight) {
  const THexLayout l(8, 17, 5);
  struct TCase {
    int FHeight;
    int FFull;
    int FTouched;
  };
  const TCase cases[] = {{0, 1, 1}, {16, 1, 1}, {17, 1, 1}, {18, 1, 2}, {601, 35, 36}};
  for (const TCase& c : cases) {
    EXPECT_EQ(l.FullRows(c.FHeight), c.FFull) << c.FHeight;
    EXPECT_EQ(l.TouchedRows(c.FHeight), c.FTouched) << c.FHeight;
  }
}

TEST(HexLayout, HitTest) {
  const THexLayout l(8, 17, 5);
  using H = THexLayout::THit;
  struct TCase {
    int FX;
    int FY;
    std::uint32_t FTop;
    std::uint32_t FMax;
    H FHit;
  };
  const THexField x = THexField::Hex;
  const THexField c = THexField::Chars;
  const TCase cases[] = {
      {48, 0, 0, 1000, {x, 0, false}},
      {55, 0, 0, 1000, {x, 0, false}},
      {56, 0, 0, 1000, {x, 0, true}},
      {71, 16, 0, 1000, {x, 0, true}},
      {72, 17, 0, 1000, {x, 17, false}},
      {420, 34, 0, 1000, {x, 47, true}},
      {10, 40, 3, 1000, {x, 80, false}},
      {436, 0, 0, 1000, {c, 0, false}},
      {440, 0, 0, 1000, {c, 0, false}},
      {447, 0, 0, 1000, {c, 0, false}},
      {448, 0, 0, 1000, {c, 1, false}},
      {900, 0, 0, 1000, {c, 15, false}},
      {100, 500, 0, 37, {x, 37, false}},
      {60, -5, 0, 1000, {x, 0, true}},
      {60, 17, 0xFFFFFFF, 0xFFFFFFFF, {x, 0xFFFFFFFF, false}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.FX << "," << c.FY);
    const H h = l.HitTest(c.FX, c.FY, c.FTop, c.FMax);
    EXPECT_EQ(h.FField, c.FHit.FField);
    EXPECT_EQ(h.FPosition, c.FHit.FPosition);
    EXPECT_EQ(h.FLowNibble, c.FHit.FLowNibble);
  }
}

}  // namespace
}  // namespace quenvar
