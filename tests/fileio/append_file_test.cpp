// The append-only line file: whole lines after whatever the file held, a line
// a crash cut short kept alone, and the refusals with the system's own words.
#include "quenvar/fileio/append_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "case_name.h"
#include "system_texts.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using test::ReadText;
using test::TTempDir;
using test::WriteText;

struct TAppendCase {
  std::string FName;
  std::optional<std::string> FBefore;  // none: no file yet
  std::string FAfter;
};

void PrintTo(const TAppendCase& c, std::ostream* os) {
  *os << c.FName;
}

class AppendFile : public testing::TestWithParam<TAppendCase> {};

TEST_P(AppendFile, AddsWholeLines) {
  TTempDir dir;
  // A name in UTF-8 that is no ASCII: Windows must get it in UTF-16.
  const std::string path = dir / "\xD0\xB6\xD1\x83\xD1\x80\xD0\xBD\xD0\xB0\xD0\xBB.jsonl";
  if (GetParam().FBefore) WriteText(path, *GetParam().FBefore);
  {
    TResult<TAppendFile> file = TAppendFile::Open(path);
    ASSERT_TRUE(file.Ok()) << file.Error().FText;
    EXPECT_TRUE(file.Value().AppendLine(R"({"n":1})").Ok());
  }
  // A second writer after the first let go, as the next run of a station.
  TResult<TAppendFile> again = TAppendFile::Open(path);
  ASSERT_TRUE(again.Ok());
  EXPECT_TRUE(again.Value().AppendLine("").Ok());
  EXPECT_TRUE(again.Value().AppendLine(R"({"n":2})").Ok());
  EXPECT_EQ(ReadText(path), GetParam().FAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Append, AppendFile,
    testing::Values(TAppendCase{"new file", std::nullopt, "{\"n\":1}\n\n{\"n\":2}\n"},
                    TAppendCase{"empty file", "", "{\"n\":1}\n\n{\"n\":2}\n"},
                    TAppendCase{"whole lines", "a\r\nb\n", "a\r\nb\n{\"n\":1}\n\n{\"n\":2}\n"},
                    TAppendCase{"cut line", "{\"n\":0,", "{\"n\":0,\n{\"n\":1}\n\n{\"n\":2}\n"}),
    [](const auto& info) { return test::CaseName(info.param.FName); });

TEST(AppendFileRefuses, FoldersAndMissingFoldersWithTheSystemsReason) {
  TTempDir dir;
  const struct {
    std::string FPath;
    test::TSystemReason FReason;
  } cases[] = {{dir / "", test::FolderReason()},
               {dir / "none/log.jsonl", test::MissingFolderReason()}};
  for (const auto& c : cases) {
    const TResult<TAppendFile> file = TAppendFile::Open(c.FPath);
    ASSERT_FALSE(file.Ok()) << c.FPath;
    EXPECT_EQ(file.Error(), (TError{TErrorKind::Open, c.FReason.FText, c.FReason.FCode, c.FPath}));
  }
}

}  // namespace
}  // namespace quenvar
