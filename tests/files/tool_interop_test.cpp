// HEX files made by other tools from a binary read back as that binary.
// objcopy marks 64 KiB segments with type 02 records, srec_cat with type 04
// records and 32-byte data records.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "quenvar/buffer/bin_file.h"
#include "quenvar/buffer/hex_file.h"
#include "quenvar/fileio/atomic_file.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TTempDir;

bool Installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct TToolCase {
  const char* FName;
  const char* FTool;
  // %in and %out are replaced by the binary's and the HEX file's paths.
  const char* FCommand;
  std::size_t FSize;
};

std::string Expand(std::string command, const std::string& in, const std::string& out) {
  command.replace(command.find("%in"), 3, "'" + in + "'");
  command.replace(command.find("%out"), 4, "'" + out + "'");
  return command;
}

class ToolMadeHex : public testing::TestWithParam<TToolCase> {};

TEST_P(ToolMadeHex, ReadsBackAsTheBinary) {
  const TToolCase& c = GetParam();
  if (!Installed(c.FTool)) GTEST_SKIP() << c.FTool << " is not installed";
  TTempDir dir;
  Bytes data(c.FSize);
  std::mt19937 rng(static_cast<unsigned>(c.FSize));
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  const std::string in = dir / "image.bin";
  const std::string out = dir / "image.hex";
  ASSERT_TRUE(WriteFileAtomically(in, data).Ok());
  ASSERT_EQ(std::system(Expand(c.FCommand, in, out).c_str()), 0);

  const TResult<TByteImage> text = ReadWholeFile(out);
  ASSERT_TRUE(text.Ok());
  const TResult<TByteImage> r =
      ReadHexFile({reinterpret_cast<const char*>(text->data()), text->size()});
  ASSERT_TRUE(r.Ok()) << "line " << r.Error().FLine;
  EXPECT_EQ(r->size(), data.size());
  EXPECT_TRUE(r.Value() == data);
}

constexpr const char* kObjcopy = "objcopy -I binary -O ihex %in %out";
constexpr const char* kSrecCat = "srec_cat %in -binary -o %out -intel";

void PrintTo(const TToolCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(Files, ToolMadeHex,
                         testing::Values(TToolCase{"Objcopy1", "objcopy", kObjcopy, 1},
                                         TToolCase{"Objcopy1000", "objcopy", kObjcopy, 1000},
                                         TToolCase{"Objcopy64K", "objcopy", kObjcopy, 65536},
                                         TToolCase{"Objcopy64KPlus1", "objcopy", kObjcopy, 65537},
                                         TToolCase{"Objcopy300K", "objcopy", kObjcopy, 300000},
                                         TToolCase{"SrecCat1", "srec_cat", kSrecCat, 1},
                                         TToolCase{"SrecCat1000", "srec_cat", kSrecCat, 1000},
                                         TToolCase{"SrecCat64K", "srec_cat", kSrecCat, 65536},
                                         TToolCase{"SrecCat64KPlus1", "srec_cat", kSrecCat, 65537},
                                         TToolCase{"SrecCat300K", "srec_cat", kSrecCat, 300000}),
                         [](const auto& info) { return std::string(info.param.FName); });

// The other way round: what this writer makes, objcopy turns back into the
// binary, padded to whole records.
TEST(ToolReadsOurHex, ObjcopyGivesPaddedBinary) {
  if (!Installed("objcopy")) GTEST_SKIP() << "objcopy is not installed";
  TTempDir dir;
  Bytes data(70001);
  std::mt19937 rng(7);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  const std::string text = WriteHexFile(data);
  const std::string hex = dir / "ours.hex";
  const std::string bin = dir / "back.bin";
  ASSERT_TRUE(
      WriteFileAtomically(hex, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()})
          .Ok());
  ASSERT_EQ(std::system(("objcopy -I ihex -O binary '" + hex + "' '" + bin + "'").c_str()), 0);
  const TResult<TByteImage> back = ReadWholeFile(bin);
  ASSERT_TRUE(back.Ok());
  // 70001 bytes end in a record holding one byte and 15 filler bytes.
  Bytes expected = data;
  expected.insert(expected.end(), 15, 0xFF);
  EXPECT_EQ(back->size(), 70016u);
  EXPECT_TRUE(back.Value() == expected);
}

}  // namespace
}  // namespace quenvar
