#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "quenvar/buffer/hex_file.h"

namespace quenvar {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Counting(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i);
  return b;
}

struct TWritten {
  const char* FName;
  Bytes FData;
  std::string FText;
};

class HexWrite : public testing::TestWithParam<TWritten> {};

TEST_P(HexWrite, GivesExactText) {
  EXPECT_EQ(WriteHexFile(GetParam().FData), GetParam().FText);
}

void PrintTo(const TWritten& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Writer, HexWrite,
    testing::Values(TWritten{"Empty", {}, ":00000001FF"},
                    TWritten{"OneByte",
                             {0x5A},
                             ":100000005AFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFA5\r\n"
                             ":00000001FF"},
                    // The worked example: 20 bytes 00..13 give two records and the end record.
                    TWritten{"TwentyBytes", Counting(20),
                             ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                             ":1000100010111213FFFFFFFFFFFFFFFFFFFFFFFFA6\r\n"
                             ":00000001FF"},
                    TWritten{"ThirtyTwoBytes", Counting(32),
                             ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                             ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                             ":00000001FF"},
                    TWritten{"AllFf", Bytes(32, 0xFF),
                             ":10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\r\n"
                             ":10001000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0\r\n"
                             ":00000001FF"},
                    TWritten{"SixteenBytes", Bytes(16, 0xA5),
                             ":10000000A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A0\r\n"
                             ":00000001FF"}),
    [](const auto& info) { return std::string(info.param.FName); });

// Around the first 64 KiB boundary of a zero-filled buffer.
TEST(HexWriteAbove64K, ExtendedLinearAddressBeforeEachBoundary) {
  const std::string text = WriteHexFile(Bytes(0x10010, 0x00));
  const std::string zeros(32, '0');
  const std::string lastBelow = ":10FFF000" + zeros + "01\r\n";
  const std::string boundary = ":020000040001F9\r\n";
  const std::string firstAbove = ":10000000" + zeros + "F0\r\n";
  const std::string expectedTail = lastBelow + boundary + firstAbove + ":00000001FF";
  ASSERT_GE(text.size(), expectedTail.size());
  EXPECT_EQ(text.substr(text.size() - expectedTail.size()), expectedTail);
  // 4097 data records of 45 characters, one address record of 17, the end record of 11.
  EXPECT_EQ(text.size(), 4097u * 45 + 17 + 11);
  EXPECT_EQ(text.find(":02000004"), 4096u * 45);
}

TEST(HexWriteAbove64K, ThirdSegmentGetsBaseTwo) {
  const std::string text = WriteHexFile(Bytes(0x20001, 0x11));
  EXPECT_NE(text.find(":020000040001F9\r\n"), std::string::npos);
  EXPECT_NE(text.find(":020000040002F8\r\n:1000000011FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFEE\r\n"
                      ":00000001FF"),
            std::string::npos);
}

TEST(HexWriteAbove64K, ExactlyOneSegmentHasNoAddressRecord) {
  const std::string text = WriteHexFile(Bytes(0x10000, 0x00));
  EXPECT_EQ(text.find(":02000004"), std::string::npos);
  EXPECT_EQ(text.size(), 4096u * 45 + 11);
}

// Write then read gives the image padded with FF to a multiple of 16.
TEST(HexRoundTrip, RandomImagesUpTo1MiB) {
  std::mt19937 rng(20260);
  const std::size_t sizes[] = {0,     1,     15,    16,     17,     255,     4096,         65535,
                               65536, 65537, 65552, 131071, 300001, 1 << 20, (1 << 20) - 3};
  for (std::size_t size : sizes) {
    Bytes data(size);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    const TResult<TByteImage> r = ReadHexFile(WriteHexFile(data));
    ASSERT_TRUE(r.Ok()) << size;
    ASSERT_EQ(r->size(), (size + 15) / 16 * 16) << size;
    EXPECT_TRUE(std::equal(data.begin(), data.end(), r->begin())) << size;
    EXPECT_TRUE(std::all_of(r->begin() + static_cast<std::ptrdiff_t>(size), r->end(),
                            [](std::uint8_t b) { return b == 0xFF; }))
        << size;
  }
}

}  // namespace
}  // namespace quenvar
