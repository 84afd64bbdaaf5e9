// File names beyond ASCII, on every system: this program names files in UTF-8,
// Windows in UTF-16. Each name must reach the disk as the user wrote it and
// come back the same through every way fileio reads, writes and locks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/file_reader.h"
#include "quenvar/fileio/locked_file.h"
#include "quenvar/fileio/regular_file.h"
#include "quenvar/fileio/utf8_path.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using test::TTempDir;

struct TNameCase {
  const char* FLabel;
  std::string FName;
};

void PrintTo(const TNameCase& c, std::ostream* os) {
  *os << c.FLabel;
}

class Utf8FileNames : public testing::TestWithParam<TNameCase> {};

TEST_P(Utf8FileNames, ArriveAndComeBackUnchanged) {
  TTempDir dir;
  const std::string name = GetParam().FName;
  const std::string path = dir / name;
  const std::vector<std::uint8_t> bytes{'Q', 0x00, 0xFF, '\n'};

  ASSERT_TRUE(WriteFileAtomically(path, bytes));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
  EXPECT_EQ(Utf8OfPath(PathOfUtf8(path).filename()), name);

  const TResult<std::vector<std::uint8_t>> whole = ReadRegularFile(path);
  ASSERT_TRUE(whole) << whole.Error().FText;
  EXPECT_EQ(whole.Value(), bytes);

  {
    // Closed again before the save: Windows renames over no file in use.
    TResult<TFileReader> reader = TFileReader::Open(path);
    ASSERT_TRUE(reader) << reader.Error().FText;
    std::vector<std::uint8_t> read(8);
    read.resize(reader.Value().Read(read));
    EXPECT_EQ(read, bytes);
  }

  TResult<TLockedFile> locked = TLockedFile::Open(path);
  ASSERT_TRUE(locked) << locked.Error().FText;
  const TResult<void> replaced = locked.Value().Replace(std::vector<std::uint8_t>{'2'});
  ASSERT_TRUE(replaced) << replaced.Error().FText;
  EXPECT_EQ(locked.Value().ReadAll().Value(), std::vector<std::uint8_t>{'2'});
  locked.Value().Unlock();
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
}

INSTANTIATE_TEST_SUITE_P(Names, Utf8FileNames,
                         testing::Values(TNameCase{"Cyrillic", "Прошивка.hex"},
                                         TNameCase{"LatinWithSpace", "Größe ü.bin"},
                                         TNameCase{"ChineseAndEuro", "固件€.hex"},
                                         TNameCase{"BeyondTheBmp",
                                                   "\xF0\x9D\x84\x9E clef.bin"}),  // U+1D11E
                         [](const auto& info) { return std::string(info.param.FLabel); });

}  // namespace
}  // namespace quenvar
