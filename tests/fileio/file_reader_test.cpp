// Reading a file in passes: pieces as asked, each pass from the first byte,
// and the refusals with the system's own words.
#include "quenvar/fileio/file_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "case_name.h"
#include "system_texts.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using test::TTempDir;
using test::WriteText;

std::string ReadInPieces(TFileReader& file, std::size_t piece) {
  std::string all;
  std::vector<std::uint8_t> buffer(piece);
  for (std::size_t n; (n = file.Read(buffer)) > 0;) all.append(buffer.begin(), buffer.begin() + n);
  return all;
}

TEST(FileReader, EveryPassReadsTheWholeFileInPieces) {
  TTempDir dir;
  const std::string name = dir / "text.hex";
  WriteText(name, ":00000001FF\r\n");
  TResult<TFileReader> file = TFileReader::Open(name);
  ASSERT_TRUE(file.Ok());
  EXPECT_EQ(file.Value().SizeHint(), 13u);
  EXPECT_EQ(ReadInPieces(file.Value(), 5), ":00000001FF\r\n");
  EXPECT_EQ(ReadInPieces(file.Value(), 5), "");
  file.Value().Rewind();
  EXPECT_EQ(ReadInPieces(file.Value(), 13), ":00000001FF\r\n");
  EXPECT_FALSE(file.Value().Failure().has_value());
}

struct TRefusal {
  std::string FName;
  std::string FLeaf;  // below the temporary folder
  std::string FReason;
  int FCode;
};

void PrintTo(const TRefusal& c, std::ostream* os) {
  *os << c.FName;
}

class FileReaderRefuses : public testing::TestWithParam<TRefusal> {};

TEST_P(FileReaderRefuses, WithTheSystemsReason) {
  TTempDir dir;
  const std::string path = dir / GetParam().FLeaf;
  const TResult<TFileReader> file = TFileReader::Open(path);
  ASSERT_FALSE(file.Ok());
  EXPECT_EQ(file.Error(), (TError{TErrorKind::Open, GetParam().FReason, GetParam().FCode, path}));
}

INSTANTIATE_TEST_SUITE_P(
    Open, FileReaderRefuses,
    testing::Values(TRefusal{"missing", "none.hex", test::MissingFileReason().FText,
                             test::MissingFileReason().FCode},
                    TRefusal{"folder", "", test::FolderReason().FText, test::FolderReason().FCode}),
    [](const auto& info) { return test::CaseName(info.param.FName); });

}  // namespace
}  // namespace quenvar
