// What a save must never do: follow or clobber files that merely look like its
// temporary file, or write a HEX file the reader would refuse.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/buffer/hex_file.h"
#include "quenvar/fileio/atomic_file.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TTempDir;
using test::WriteText;

struct TBystanderCase {
  const char* FName;
  const char* FFileName;
  const char* FBystander;
  bool FLink;  // `ln -s victim <Bystander>`, else the user's own file
};

class SaveBystanders : public testing::TestWithParam<TBystanderCase> {};

TEST_P(SaveBystanders, AreLeftAlone) {
  const TBystanderCase& c = GetParam();
#ifdef _WIN32
  // The runtime has no symbolic links there (they need rights users seldom have).
  if (c.FLink) GTEST_SKIP() << "no symbolic links";
#endif
  TTempDir dir;
  WriteText(dir / "victim", "secret");
  if (c.FLink)
    fs::create_symlink(dir / "victim", dir / c.FBystander);
  else
    WriteText(dir / c.FBystander, "mine");
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(std::vector<std::uint8_t>{'Q', 'V'});
  TFileOps ops(editor);

  ASSERT_EQ(ops.SaveFile(dir / c.FFileName).FStatus, TSaveStatus::Saved);

  EXPECT_EQ(ReadText(dir / "victim"), "secret");
  EXPECT_FALSE(fs::is_symlink(dir / c.FFileName));
  EXPECT_EQ(c.FLink ? fs::read_symlink(dir / c.FBystander).string() : ReadText(dir / c.FBystander),
            c.FLink ? dir / "victim" : "mine");
  EXPECT_EQ(dir.Entries().size(), 3u);
}

void PrintTo(const TBystanderCase& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveBystanders,
    testing::Values(TBystanderCase{"BinLink", "dump.bin", "dump.bin.~save", true},
                    TBystanderCase{"BinFile", "dump.bin", "dump.bin.~save", false},
                    TBystanderCase{"HexLink", "dump.hex", "dump.hex.~tmp0", true},
                    TBystanderCase{"HexFile", "dump.hex", "dump.hex.~tmp0", false}),
    [](const auto& info) { return std::string(info.param.FName); });

// One byte over the reader's cap: binary files have no cap, HEX files are refused.
TEST(SaveFile, HexOverTheCapIsRefusedBinaryIsNot) {
  TTempDir dir;
  TCustomMPHexEditor editor;
  editor.LoadDataFromVector(std::vector<std::uint8_t>(kMaxHexImageSize + 1, 0x00));
  TFileOps ops(editor);

  const TSaveOutcome hex = ops.SaveFile(dir / "big.hex");
  EXPECT_EQ(hex.FStatus, TSaveStatus::Failed);
  EXPECT_EQ(hex.FMessage, "Cannot write " + (dir / "big.hex") + ".\r\n(Image larger than 16 MiB.)");
  EXPECT_TRUE(dir.Entries().empty());

  EXPECT_EQ(ops.SaveFile(dir / "big.bin").FStatus, TSaveStatus::Saved);
  EXPECT_EQ(fs::file_size(dir / "big.bin"), kMaxHexImageSize + 1);
}

// The output is created before the data exists (as before a chip read) and
// saved into later, in the format its name selects.
TEST(SaveFile, IntoAFileCreatedBefore) {
  TTempDir dir;
  TResult<TAtomicFile> hex = TAtomicFile::Create(dir / "out.hex");
  TResult<TAtomicFile> bin = TAtomicFile::Create(dir / "out.bin");
  ASSERT_TRUE(hex);
  ASSERT_TRUE(bin);
  TCustomMPHexEditor editor;
  editor.LoadDataFromBytes(std::vector<std::uint8_t>{0x5A});
  TFileOps ops(editor);

  const TSaveOutcome savedHex = ops.SaveFile(hex.Value());
  EXPECT_EQ(savedHex.FStatus, TSaveStatus::Saved) << savedHex.FMessage;
  EXPECT_EQ(savedHex.FFormat, TFileFormat::IntelHex);
  EXPECT_EQ(ops.SaveFile(bin.Value()).FFormat, TFileFormat::Binary);
  EXPECT_EQ(ReadText(dir / "out.hex"),
            ":100000005AFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFA5\r\n:00000001FF");
  EXPECT_EQ(ReadText(dir / "out.bin"), "Z");
  EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"out.bin", "out.hex"}));
}

}  // namespace
}  // namespace quenvar
