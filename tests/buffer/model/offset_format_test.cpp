#include "quenvar/buffer/offset_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"

namespace quenvar {
namespace {

TEST(OffsetFormat, DefaultFormatParts) {
  TOffsetFormat f;
  EXPECT_EQ(f.Text(), "-!10:0x|");
  EXPECT_TRUE(f.AutoDigits());
  EXPECT_EQ(f.Radix(), 16u);
  EXPECT_EQ(f.Prefix(), "0x");
  EXPECT_EQ(f.Suffix(), "");
}

TEST(OffsetFormat, FormatsValues) {
  struct TCase {
    const char* FFormat;
    unsigned long long FValue;
    unsigned FDigits;
    const char* FText;
  };
  const TCase cases[] = {
      {"-!10:0x|", 0, 1, "0x0"},
      {"-!10:0x|", 0x7F0, 3, "0x7F0"},
      {"-!10:0x|", 0x10, 4, "0x0010"},
      {"-!10:0x|", 0xABCDEF0, 7, "0xABCDEF0"},
      {"-!A:|", 2048, 6, "002048"},
      {"-!2:b|h", 5, 1, "b101h"},
      {"-!8:|o", 64, 3, "100o"},
      {"4!10:$|", 0x3F, 2, "$3F"},  // a digit count below the value's own width pads nothing
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FFormat);
    TOffsetFormat f;
    ASSERT_TRUE(f.Assign(c.FFormat));
    EXPECT_EQ(f.Format(c.FValue, c.FDigits), c.FText);
  }
}

TEST(OffsetFormat, RefusesBadFormatsAndKeepsThePreviousOne) {
  struct TCase {
    const char* FFormat;
    const char* FError;
  };
  const TCase cases[] = {
      {"-!10:0x", "Missing char in offset format: -!10:0x"},
      {"-!100x|", "Missing char in offset format: -!100x|"},
      {"", "Missing char in offset format: "},
      {"-!1:0x|", "Invalid radix in offset format (1h), allowed: 02h..10h"},
      {"-!11:0x|", "Invalid radix in offset format (11h), allowed: 02h..10h"},
      {"-!0:|", "Invalid radix in offset format (0h), allowed: 02h..10h"},
      {"-!FF:|", "Invalid radix in offset format (ffh), allowed: 02h..10h"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FFormat);
    TCustomMPHexEditor e;
    std::vector<std::uint8_t> data(40, 0);
    e.LoadDataFromBytes(data);
    const TResult<void> r = e.SetOffsetFormat(c.FFormat);
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.Error(), TError(TErrorKind::BadOption, c.FError));
    EXPECT_EQ(e.OffsetFormat().Text(), "-!10:0x|");
    EXPECT_EQ(e.OffsetText(2), "0x20");
  }
}

// Rows include the two fixed rows; the digit count follows the start of the last data row.
TEST(OffsetFormat, RowCountAndAutomaticDigits) {
  struct TCase {
    std::uint32_t FLength;
    bool FInsert;
    std::uint32_t FRows;
    const char* FLastOffset;
  };
  const TCase cases[] = {
      {0, false, 3, "0x0"},         {0, true, 3, "0x0"},         {1, false, 3, "0x0"},
      {16, false, 3, "0x0"},        {16, true, 4, "0x10"},       {17, false, 4, "0x10"},
      {17, true, 4, "0x10"},        {256, false, 18, "0xF0"},    {256, true, 19, "0x100"},
      {257, false, 19, "0x100"},    {2048, false, 130, "0x7F0"}, {2048, true, 131, "0x800"},
      {4097, false, 259, "0x1000"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.FLength << (c.FInsert ? " insert" : ""));
    TCustomMPHexEditor e;
    e.LoadDataFromVector(std::vector<std::uint8_t>(c.FLength, 0x55));
    e.SetInsertMode(c.FInsert);
    EXPECT_EQ(e.RowCount(), c.FRows);
    EXPECT_EQ(e.OffsetText(e.RowCount() - 3), c.FLastOffset);
  }
}

TEST(OffsetFormat, TwoKilobyteBufferShowsThreeDigits) {
  TCustomMPHexEditor e;
  e.LoadDataFromVector(std::vector<std::uint8_t>(2048, 0));
  ASSERT_EQ(e.DataRowCount(), 128u);
  EXPECT_EQ(e.OffsetText(0), "0x000");
  EXPECT_EQ(e.OffsetText(1), "0x010");
  EXPECT_EQ(e.OffsetText(127), "0x7F0");
}

}  // namespace
}  // namespace quenvar
