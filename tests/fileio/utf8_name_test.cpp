// File names beyond ASCII, on every system: this program names files in UTF-8,
// Windows in UTF-16. Each name must reach the disk as the user wrote it and
// come back the same through every way fileio reads, writes and locks.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "quenvar/fileio/atomic_file.h"
#include "quenvar/fileio/file_reader.h"
#include "quenvar/fileio/locked_file.h"
#include "quenvar/fileio/regular_file.h"
#include "quenvar/fileio/utf16.h"
#include "quenvar/fileio/utf8_path.h"
#include "temp_dir.h"

namespace quenvar {
namespace {

using test::TTempDir;

struct TNameCase {
  const char* Label;
  std::string Name;
};

void PrintTo(const TNameCase& c, std::ostream* os) {
  *os << c.Label;
}

class Utf8FileNames : public testing::TestWithParam<TNameCase> {};

TEST_P(Utf8FileNames, ArriveAndComeBackUnchanged) {
  TTempDir dir;
  const std::string name = GetParam().Name;
  const std::string path = dir / name;
  const std::vector<std::uint8_t> bytes{'Q', 0x00, 0xFF, '\n'};

  ASSERT_TRUE(WriteFileAtomically(path, bytes));
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
  EXPECT_EQ(Utf8OfPath(PathOfUtf8(path).filename()), name);

  const TFileExpected<std::vector<std::uint8_t>> whole = ReadRegularFile(path);
  ASSERT_TRUE(whole) << whole.Error().Reason;
  EXPECT_EQ(whole.Value(), bytes);

  {
    // Closed again before the save: Windows renames over no file in use.
    TFileExpected<TFileReader> reader = TFileReader::Open(path);
    ASSERT_TRUE(reader) << reader.Error().Reason;
    std::vector<std::uint8_t> read(8);
    read.resize(reader.Value().Read(read));
    EXPECT_EQ(read, bytes);
  }

  TFileExpected<TLockedFile> locked = TLockedFile::Open(path);
  ASSERT_TRUE(locked) << locked.Error().Reason;
  const TFileResult replaced = locked.Value().Replace(std::vector<std::uint8_t>{'2'});
  ASSERT_TRUE(replaced) << replaced.Error().Reason;
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
                         [](const auto& info) { return std::string(info.param.Label); });

struct TUtf16Case {
  const char* Label;
  std::string Utf8;
  std::optional<std::u16string> Utf16;  // none: no UTF-8
};

void PrintTo(const TUtf16Case& c, std::ostream* os) {
  *os << c.Label;
}

class Utf16Conversion : public testing::TestWithParam<TUtf16Case> {};

TEST_P(Utf16Conversion, BothWays) {
  const TUtf16Case& c = GetParam();
  EXPECT_EQ(Utf8ToUtf16(c.Utf8), c.Utf16);
  if (c.Utf16) {
    EXPECT_EQ(Utf16ToUtf8(*c.Utf16), c.Utf8);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, Utf16Conversion,
    testing::Values(TUtf16Case{"Ascii", "a.hex", u"a.hex"},
                    TUtf16Case{"TwoBytes", "\xD0\x9F", u"\u041F"},
                    TUtf16Case{"ThreeBytes", "\xE2\x82\xAC", u"\u20AC"},
                    TUtf16Case{"SurrogatePair", "\xF0\x9D\x84\x9E", u"\xD834\xDD1E"},
                    // Windows allows a lone surrogate in a name; it must survive.
                    TUtf16Case{"LoneSurrogate", "\xED\xA0\x80", std::u16string(1, 0xD800)},
                    TUtf16Case{"Overlong", "\xC0\xAF", std::nullopt},
                    TUtf16Case{"CutShort", "\xE2\x82", std::nullopt},
                    TUtf16Case{"AboveTheLast", "\xF4\x90\x80\x80", std::nullopt}),
    [](const auto& info) { return std::string(info.param.Label); });

}  // namespace
}  // namespace quenvar
