#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "quenvar/buffer/hex_file.h"

namespace quenvar {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ff(std::size_t n) {
  return Bytes(n, 0xFF);
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct TAccepted {
  const char* FName;
  std::string FText;
  Bytes FImage;
};

class HexReadAccepted : public testing::TestWithParam<TAccepted> {};

TEST_P(HexReadAccepted, GivesImage) {
  const TResult<TByteImage> r = ReadHexFile(GetParam().FText);
  ASSERT_TRUE(r.Ok()) << r.Error().FText << " in line " << r.Error().FLine;
  EXPECT_EQ(r.Value(), GetParam().FImage);
}

void PrintTo(const TAccepted& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Reader, HexReadAccepted,
    testing::Values(
        // The worked example: 16 filler bytes, then the record's 4 bytes.
        TAccepted{"WorkedExample", ":0400100001020304E2\r\n:00000001FF\r\n",
                  Cat(Ff(16), {0x01, 0x02, 0x03, 0x04})},
        TAccepted{"EndRecordOnly", ":00000001FF", {}},
        TAccepted{"EndRecordOnlyWithLineEnd", ":00000001FF\r\n", {}},
        TAccepted{"LfLineEnds", ":0400100001020304E2\n:00000001FF\n",
                  Cat(Ff(16), {0x01, 0x02, 0x03, 0x04})},
        TAccepted{"MixedLineEnds",
                  ":020000001122CB\n:02000200445563\r\n:00000001FF",
                  {0x11, 0x22, 0x44, 0x55}},
        TAccepted{"LowerCaseHex", ":02000000abcd86\n:00000001ff\n", {0xAB, 0xCD}},
        // The first character is never looked at.
        TAccepted{"NoColon", "X0400100001020304E2\r\n#00000001FF",
                  Cat(Ff(16), {0x01, 0x02, 0x03, 0x04})},
        TAccepted{"RecordAt0100Only", ":02010000AABB98\r\n:00000001FF",
                  Cat(Ff(0x100), {0xAA, 0xBB})},
        TAccepted{"LaterRecordOverwrites",
                  ":0400000001020304F2\n:02000100AAABA8\n:00000001FF",
                  {0x01, 0xAA, 0xAB, 0x04}},
        TAccepted{"GapBetweenRecords",
                  ":0100000011EE\n:0100040022D9\n:00000001FF",
                  {0x11, 0xFF, 0xFF, 0xFF, 0x22}},
        // Nothing after the first end record is read, not even garbage.
        TAccepted{"GarbageAfterEnd",
                  ":0100000011EE\r\n:00000001FF\r\nthis is not hex\r\n:0Z\r\n",
                  {0x11}},
        TAccepted{"SecondEndIgnored", ":00000001FF\n:0100000011EE\n:00000001FF", {}},
        // An end record that names bytes still counts for the length.
        TAccepted{"EndRecordAddressCountsForLength", ":00001001EF", Ff(0x10)},
        // ... but the base of an address record does not move it.
        TAccepted{"BaseDoesNotMoveEndRecord", ":020000040001F9\n:00000001FF", {}},
        TAccepted{"BaseDoesNotMoveEndRecordAddress", ":020000040001F9\n:00001001EF", Ff(0x10)},
        // Unknown types are data at their address.
        TAccepted{"OtherTypeIsData", ":020000060607EB\n:00000001FF", {0x06, 0x07}},
        // Extended linear address 0000: the record sets the base, it is no data.
        TAccepted{"LinearBaseZeroIsNoData", ":020000040000FA\n:00000001FF", {}},
        TAccepted{"LinearBaseZeroThenData",
                  ":020000040000FA\n:0400000001020304F2\n:00000001FF",
                  {0x01, 0x02, 0x03, 0x04}},
        TAccepted{"LinearBaseOne", ":020000040001F9\n:0400000001020304F2\n:00000001FF",
                  Cat(Ff(0x10000), {0x01, 0x02, 0x03, 0x04})},
        TAccepted{"LinearBaseOneWithAddress", ":020000040001F9\n:01000200AA53\n:00000001FF",
                  Cat(Ff(0x10002), {0xAA})},
        // Segment base 1000 x 16 = 0x10000.
        TAccepted{"SegmentBase", ":020000021000EC\n:0400000001020304F2\n:00000001FF",
                  Cat(Ff(0x10000), {0x01, 0x02, 0x03, 0x04})},
        TAccepted{"BaseBackToZero",
                  ":020000040001F9\n:01000000AA55\n:020000040000FA\n:01000000BB44\n:00000001FF",
                  Cat({0xBB}, Cat(Ff(0xFFFF), {0xAA}))},
        // Start addresses are checked by checksum and otherwise ignored.
        TAccepted{"StartAddressesIgnored",
                  ":0400000300001234B3\n:04000005000000CD2A\n:0100000011EE\n:00000001FF",
                  {0x11}},
        // Pass 1 looks at no checksum, so a bad checksum after the end is harmless.
        TAccepted{"BadChecksumAfterEnd", ":00000001FF\n:0100000011EF\n", {}},
        // Trailing text before the checksum is summed like any other pair.
        TAccepted{"ExtraPairBeforeChecksum", ":0100000011AA44\n:00000001FF", {0x11}}),
    [](const auto& info) { return std::string(info.param.FName); });

// What a refusal names: its kind and its first failing line.
struct TRefusal {
  TErrorKind FKind;
  std::size_t FLine;
};

struct TRefused {
  const char* FName;
  std::string FText;
  TRefusal FError;
};

class HexReadRefused : public testing::TestWithParam<TRefused> {};

TEST_P(HexReadRefused, GivesErrorAndLine) {
  const TResult<TByteImage> r = ReadHexFile(GetParam().FText);
  ASSERT_FALSE(r.Ok());
  EXPECT_EQ(r.Error().FKind, GetParam().FError.FKind);
  EXPECT_EQ(r.Error().FLine, GetParam().FError.FLine);
  // The error carries the English message of its kind and line.
  EXPECT_EQ(r.Error().FText, HexErrorMessage(r.Error(), 1));
}

constexpr auto kNoHex = TErrorKind::NoHexFile;
constexpr auto kCsum = TErrorKind::WrongChecksum;
constexpr auto kBroken = TErrorKind::BrokenData;
constexpr auto kLarge = TErrorKind::ImageTooLarge;

void PrintTo(const TRefused& c, std::ostream* os) {
  *os << c.FName;
}

INSTANTIATE_TEST_SUITE_P(
    Reader, HexReadRefused,
    testing::Values(
        TRefused{"EmptyFile", "", {kNoHex, 1}},
        TRefused{"NoEndRecord", ":0400100001020304E2\r\n", {kNoHex, 2}},
        TRefused{"NoEndRecordNoLineEnd", ":0400100001020304E2", {kNoHex, 2}},
        TRefused{"EmptyLineBeforeEnd", ":0400100001020304E2\r\n\r\n:00000001FF", {kNoHex, 2}},
        TRefused{"ColonOnly", ":\n:00000001FF", {kNoHex, 1}},
        TRefused{"NoAddress", ":04\n:00000001FF", {kNoHex, 1}},
        TRefused{"NoType", ":040010\n:00000001FF", {kNoHex, 1}},
        TRefused{"CountNotHex", ":G400100001020304E2\n:00000001FF", {kNoHex, 1}},
        TRefused{"AddressNotHex", ":04001X0001020304E2\n:00000001FF", {kNoHex, 1}},
        TRefused{"TypeNotHex", ":040010Q001020304E2\n:00000001FF", {kNoHex, 1}},
        // Structure is checked for all lines before any checksum.
        TRefused{"StructureBeforeChecksum", ":0400000001020304F3\n\n:00000001FF", {kNoHex, 2}},
        TRefused{"DataChecksumWrong", ":0400000001020304F3\n:00000001FF", {kCsum, 1}},
        TRefused{"EndRecordChecksumWrong", ":0100000011EE\r\n:00000001FE\r\n", {kCsum, 2}},
        TRefused{
            "OnlyFirstBadLineReported", ":0100000011EF\n:0100010022DF\n:00000001FF", {kCsum, 1}},
        TRefused{"StartAddressChecksumWrong", ":0400000300001234B4\n:00000001FF", {kCsum, 1}},
        TRefused{"BaseChecksumWrong", ":020000040001FA\n:00000001FF", {kCsum, 1}},
        // Broken data in the second pass names its line.
        TRefused{"DataNotHex", ":0100000011EE\n:04000000010G0304F2\n:00000001FF", {kBroken, 2}},
        TRefused{"ChecksumNotHex", ":0400000001020304ZZ\n:00000001FF", {kBroken, 1}},
        TRefused{"EndChecksumNotHex", ":00000001F \n", {kBroken, 1}},
        TRefused{"LineShorterThanCount", ":04000000AABB97\n:00000001FF", {kBroken, 1}},
        // Two data bytes plus the checksum would be read as four data bytes.
        TRefused{"CountReachesIntoChecksum", ":030000000102FA\n:00000001FF", {kBroken, 1}},
        // Malformed address records.
        TRefused{"BaseWithOneByte", ":0100000401FA\n:00000001FF", {kNoHex, 1}},
        TRefused{"BaseNotHex", ":02000004XXXXFA\n:00000001FF", {kNoHex, 1}},
        TRefused{"BaseTooShort", ":02000004000\n:00000001FF", {kNoHex, 1}},
        // More than 16 MiB is refused before anything is allocated.
        TRefused{"ImageOverLimit", ":020000040100F9\n:0100000000FF\n:00000001FF", {kLarge, 2}},
        TRefused{"ImageFarOverLimit",
                 ":02000004FFFFFC\n:10FFF00000000000000000000000000000000000F0\n:00000001FF",
                 {kLarge, 2}},
        TRefused{"SegmentBaseIsNotOverLimit",
                 ":02000002FFFFFE\n:01FFFF000001\n:00000001FE",
                 {kCsum, 3}}),
    [](const auto& info) { return std::string(info.param.FName); });

TEST(HexReadLimit, ImageOfExactly16MiBIsAccepted) {
  // Base 0x00FF0000 + address 0xFFFF + 1 byte = 0x01000000.
  const TResult<TByteImage> r = ReadHexFile(":0200000400FFFB\n:01FFFF00AB56\n:00000001FF");
  ASSERT_TRUE(r.Ok());
  ASSERT_EQ(r->size(), 0x1000000u);
  EXPECT_EQ(r->back(), 0xAB);
  EXPECT_EQ(r->front(), 0xFF);
  EXPECT_EQ((*r)[0xFFFFFE], 0xFF);
}

struct TMessage {
  TRefusal FError;
  std::uint8_t FLanguage;
  const char* FText;
};

class HexErrorMessages : public testing::TestWithParam<TMessage> {};

std::string MessageName(const testing::TestParamInfo<TMessage>& info) {
  const TErrorKind kind = info.param.FError.FKind;
  const char* name = kind == kNoHex    ? "NoHexFile"
                     : kind == kCsum   ? "WrongChecksum"
                     : kind == kBroken ? "BrokenData"
                                       : "ImageTooLarge";
  return std::string(name) + "Line" + std::to_string(info.param.FError.FLine) + "Language" +
         std::to_string(info.param.FLanguage);
}

TEST_P(HexErrorMessages, AreExact) {
  const TError error(GetParam().FError.FKind, "", 0, "", GetParam().FError.FLine);
  EXPECT_EQ(HexErrorMessage(error, GetParam().FLanguage), GetParam().FText);
}

void PrintTo(const TMessage& c, std::ostream* os) {
  *os << c.FText;
}

INSTANTIATE_TEST_SUITE_P(
    Reader, HexErrorMessages,
    testing::Values(
        TMessage{{kNoHex, 3}, 0, "Fehler in Datei. Keine Hex-Datei."},
        TMessage{{kNoHex, 3}, 1, "Error in file. No hex file."},
        TMessage{{kNoHex, 3}, 2, "Входной файл не hex файл."},
        TMessage{{kCsum, 9}, 0, "Fehler in Datei. Falsche CSUM."},
        TMessage{{kCsum, 9}, 1, "Error in file. Wrong CSUM."},
        TMessage{{kCsum, 9}, 2, "Ошибка входного файла.Не правильная CheckSum."},
        TMessage{{kBroken, 12}, 0, "Fehler in Datei. Fehlerhafte Daten in Zeile 12."},
        TMessage{{kBroken, 12}, 1, "Error in file. Broken data in line 12."},
        TMessage{{kBroken, 4096}, 2, "Ошибка входного файла. Неверные данные в строке 4096."},
        TMessage{{kNoHex, 1}, 7, "Error in file. No hex file."},
        TMessage{{kLarge, 2}, 0, "Fehler in Datei. Keine Hex-Datei. Abbild größer als 16 MiB."},
        TMessage{{kLarge, 2}, 1, "Error in file. No hex file. Image larger than 16 MiB."},
        TMessage{{kLarge, 2}, 2, "Входной файл не hex файл. Образ больше 16 МиБ."}),
    MessageName);

}  // namespace
}  // namespace quenvar
