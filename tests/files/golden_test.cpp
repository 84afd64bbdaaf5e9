// Files kept under data/ exactly as other programs and editors leave them.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "case_name.h"
#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/hex_file.h"

namespace quenvar {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string DataFile(const char* name) {
  return std::string(QUENVAR_FILES_TEST_DATA) + "/" + name;
}

std::string TextOf(const char* name) {
  const TResult<TByteImage> f = ReadWholeFile(DataFile(name));
  if (!f) {
    ADD_FAILURE() << f.Error().FText;
    return {};
  }
  return {f->begin(), f->end()};
}

// 00..0F at 0, DE AD BE EF at 0x20, CA FE at 0x10000 (after a linear base of 1).
Bytes GoldenImage() {
  Bytes b(0x10002, 0xFF);
  for (int i = 0; i < 16; ++i) b[i] = static_cast<std::uint8_t>(i);
  b[0x20] = 0xDE;
  b[0x21] = 0xAD;
  b[0x22] = 0xBE;
  b[0x23] = 0xEF;
  b[0x10000] = 0xCA;
  b[0x10001] = 0xFE;
  return b;
}

class GoldenRead : public testing::TestWithParam<const char*> {};

TEST_P(GoldenRead, GivesTheSameImage) {
  const std::string text = TextOf(GetParam());
  ASSERT_FALSE(text.empty());
  const TResult<TByteImage> r = ReadHexFile(text);
  ASSERT_TRUE(r.Ok());
  EXPECT_EQ(r.Value(), GoldenImage());
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenRead,
                         testing::Values("golden_crlf.hex", "golden_lf.hex", "golden_lower.hex"),
                         [](const auto& info) { return test::CaseName(info.param); });

TEST(GoldenWrite, WorkedExampleFile) {
  Bytes data(20);
  for (int i = 0; i < 20; ++i) data[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(WriteHexFile(data), TextOf("written_20.hex"));
}

TEST(GoldenFiles, LineEndsAreAsNamed) {
  // Guards the files themselves against line-end conversion by a checkout.
  EXPECT_EQ(TextOf("golden_lf.hex").find('\r'), std::string::npos);
  EXPECT_EQ(TextOf("golden_crlf.hex").substr(43, 2), "\r\n");
  EXPECT_EQ(TextOf("written_20.hex").substr(43, 2), "\r\n");
}

}  // namespace
}  // namespace quenvar
