#include "quenvar/core/fuses.h"

#include <gtest/gtest.h>

#include "chip_test_util.h"
#include "quenvar/core/chip_texts.h"

namespace quenvar {
namespace {

using test::Chip;
using test::RecordsText;

// ---------------------------------------------------------------- read records

TEST(FuseReadRecords, EveryChip) {
  const char* kNoExt = "58 00 00|50 00 00|58 08 00";
  const char* kExt = "58 00 00|50 00 00|58 08 00|50 08 00";
  const std::string cal1 = "|38 00 00";
  const std::string cal2 = "|38 00 00|38 00 01";
  const std::string cal4 = "|38 00 00|38 00 01|38 00 02|38 00 03";
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"AT90S1200", ""},
      {"ATtiny12", "58 00 00|50 00 00|38 00 00"},
      {"ATtiny15L", "58 00 00|50 00 00|38 00 00"},
      {"ATtiny13", kNoExt + cal1},
      {"AT90S2313", ""},
      {"AT90S/LS2323", "58 00 00"},
      {"AT90S/LS2343", "58 00 00"},
      {"AT90S/LS2333", "58 00 00|50 00 00"},
      {"ATtiny22", "58 00 00"},
      {"ATtiny26", kNoExt + cal4},
      {"ATtiny2313", kExt + cal2},
      {"AT90S/LS4433", "58 00 00|50 00 00"},
      {"ATmega48", kExt + cal1},
      {"AT90S8515", ""},
      {"AT90S/LS8535", "58 00 00"},
      {"ATmega8515", kNoExt + cal1},
      {"ATmega8", kNoExt + cal4},
      {"ATmega8535", kNoExt + cal4},
      {"ATmega88", kExt + cal1},
      {"AT90pwm2", kExt + cal1},
      {"AT90pwm3", kExt + cal1},
      {"ATmega16", kNoExt + cal1},
      {"ATmega162", kExt + cal1},
      {"ATmega169", kExt + cal1},
      {"ATmega168", kExt + cal1},
      {"ATmega165", kExt + cal1},
      {"ATmega32", kNoExt + cal4},
      {"ATmega64", kExt + cal4},
      {"ATmega128", kExt + cal4},
  };
  ASSERT_EQ(cases.size(), ChipTable().size());
  for (const auto& [name, want] : cases) {
    EXPECT_EQ(RecordsText(FuseReadRecords(&Chip(name))), want) << name;
  }
  EXPECT_EQ(RecordsText(FuseReadRecords(nullptr)), "");
}

// ---------------------------------------------------------------- read reply

// Boxes changed by a reply, as one character per box in list order: '1'
// checked, '0' unchecked. Fails when a box is skipped or set twice.
std::string BoxesText(const TFuseReadout& readout) {
  std::string text;
  for (const TFuseBoxChange& change : readout.FBoxes) {
    if (change.FIndex != text.size())
      return "box " + std::to_string(change.FIndex) + " out of order";
    text += change.FChecked ? '1' : '0';
  }
  return text;
}

struct TReplyCase {
  const char* FName;
  const char* FBoxes;
  const char* FLog;
};

// Reply 'r' D5 3C 96 E1 11 22 33 44: every byte distinct so a byte taken from
// the wrong position shows. A box is checked where its bit is 0:
//   D5 = 1101 0101, 3C = 0011 1100, 96 = 1001 0110, E1 = 1110 0001.
TEST(MapFuseReply, EveryChipWithDistinctBytes) {
  const std::vector<std::uint8_t> reply = {'r', 0xD5, 0x3C, 0x96, 0xE1, 0x11, 0x22, 0x33, 0x44};
  // lock bits 5..0 -> 101010; lock bits 0,1 -> 01; lock bits 1,2 -> 10;
  // combined bits 7,6,0,5 -> 0001; low 7..0 -> 11000011; high 7..0 -> 01101001;
  // high 4..0 -> 01001; ext 7..0 -> 00011110.
  const TReplyCase cases[] = {
      {"AT90S1200", "", ""},
      {"AT90S2313", "", ""},
      {"AT90S8515", "", ""},
      {"ATtiny12",
       "10"
       "11000011",
       "Calibration Byte 0: 96"},
      {"ATtiny15L",
       "10"
       "110011",
       "Calibration Byte 0: 96"},
      {"ATtiny13",
       "01"
       "01001"
       "11000011",
       "Calibration Byte 0: E1"},
      {"AT90S/LS2323", "0001", ""},
      {"AT90S/LS2343", "0001", ""},
      {"ATtiny22", "0001", ""},
      {"AT90S/LS8535", "0001", ""},
      {"AT90S/LS2333",
       "10"
       "110000",
       ""},
      {"AT90S/LS4433",
       "10"
       "110000",
       ""},
      {"ATtiny26",
       "01"
       "01001"
       "11000011",
       "Calibration Byte 0: E1|Calibration Byte 1: 11|Calibration Byte 2: 22|"
       "Calibration Byte 3: 33"},
      {"ATtiny2313",
       "01"
       "0"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11|Calibration Byte 1: 22"},
      {"ATmega48",
       "01"
       "0"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"ATmega8515",
       "101010"
       "01101001"
       "11000011",
       "Calibration Byte 0: E1"},
      {"ATmega16",
       "101010"
       "01101001"
       "11000011",
       "Calibration Byte 0: E1"},
      {"ATmega8",
       "101010"
       "01101001"
       "11000011",
       "Calibration Byte 0: E1|Calibration Byte 1: 11|Calibration Byte 2: 22|"
       "Calibration Byte 3: 33"},
      {"ATmega8535",
       "101010"
       "01101001"
       "11000011",
       "Calibration Byte 0: E1|Calibration Byte 1: 11|Calibration Byte 2: 22|"
       "Calibration Byte 3: 33"},
      {"ATmega32",
       "101010"
       "01101001"
       "11000011",
       "Calibration Byte 0: E1|Calibration Byte 1: 11|Calibration Byte 2: 22|"
       "Calibration Byte 3: 33"},
      {"ATmega88",
       "101010"
       "110"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"ATmega168",
       "101010"
       "110"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"AT90pwm2",
       "101010"
       "00011110"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"AT90pwm3",
       "101010"
       "00011110"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"ATmega162",
       "101010"
       "1111"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"ATmega169",
       "101010"
       "111"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"ATmega165",
       "101010"
       "111"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11"},
      {"ATmega64",
       "101010"
       "10"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11|Calibration Byte 1: 22|Calibration Byte 2: 33|"
       "Calibration Byte 3: 44"},
      {"ATmega128",
       "101010"
       "10"
       "01101001"
       "11000011",
       "Calibration Byte 0: 11|Calibration Byte 1: 22|Calibration Byte 2: 33|"
       "Calibration Byte 3: 44"},
  };
  ASSERT_EQ(std::size(cases), ChipTable().size());
  for (const TReplyCase& c : cases) {
    const TChipInfo& chip = Chip(c.FName);
    const TFuseReadout readout = MapFuseReply(&chip, reply);
    EXPECT_EQ(BoxesText(readout), c.FBoxes) << c.FName;
    EXPECT_EQ(test::Joined(readout.FLogLines), c.FLog) << c.FName;
    // A chip that is read at all has every one of its boxes set.
    if (chip.FFamily != TFuseFamily::LockOnly) {
      EXPECT_EQ(readout.FBoxes.size(), chip.FFuseItems.size()) << c.FName;
    }
  }
}

TEST(MapFuseReply, DescribedReplies) {
  struct TCase {
    const char* FName;
    std::vector<std::uint8_t> FReply;
    const char* FBoxes;
    const char* FLog;
  };
  const TCase cases[] = {
      // Low byte 6A checks SPIEN, CKDIV8, SUT0 and CKSEL0; lock and high FF check nothing.
      {"ATtiny13",
       {'r', 0xFF, 0x6A, 0xFF, 0x9F},
       "00"
       "00000"
       "10010101",
       "Calibration Byte 0: 9F"},
      // Lock bit 1 and FSTRT checked, Lock bit 2 and SPIEN not.
      {"AT90S/LS2323", {'r', 0x7E}, "1010", ""},
      // Factory state of an ATmega8: high D9, low E1, calibration A5 A6 A7 A8.
      {"ATmega8",
       {'r', 0xFF, 0xE1, 0xD9, 0xA5, 0xA6, 0xA7, 0xA8},
       "000000"
       "00100110"
       "00011110",
       "Calibration Byte 0: A5|Calibration Byte 1: A6|Calibration Byte 2: A7|"
       "Calibration Byte 3: A8"},
      // ATmega88 factory state: extended F9 (BOOTSZ1/0 programmed), high DF, low 62.
      {"ATmega88",
       {'r', 0xFF, 0x62, 0xDF, 0xF9, 0x80},
       "000000"
       "110"
       "00100000"
       "10011101",
       "Calibration Byte 0: 80"},
      // All programmed / all erased.
      {"ATtiny2313",
       {'r', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
       "11"
       "1"
       "11111111"
       "11111111",
       "Calibration Byte 0: 00|Calibration Byte 1: 00"},
      {"ATmega128",
       {'r', 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       "000000"
       "00"
       "00000000"
       "00000000",
       "Calibration Byte 0: FF|Calibration Byte 1: FF|Calibration Byte 2: FF|"
       "Calibration Byte 3: FF"},
      // Only lock bits 1 and 2 of the old lock byte count.
      {"AT90S/LS4433",
       {'r', 0xF9, 0xC0},
       "11"
       "111111",
       ""},
      {"AT90S/LS4433",
       {'r', 0x06, 0x3F},
       "00"
       "000000",
       ""},
      {"ATtiny15L",
       {'r', 0xF9, 0x0D, 0x5A},
       "11"
       "111110",
       "Calibration Byte 0: 5A"},
  };
  for (const TCase& c : cases) {
    const TFuseReadout readout = MapFuseReply(&Chip(c.FName), c.FReply);
    EXPECT_EQ(BoxesText(readout), c.FBoxes) << c.FName;
    EXPECT_EQ(test::Joined(readout.FLogLines), c.FLog) << c.FName;
  }
}

TEST(MapFuseReply, NoChipOrShortReplyChangesNothingMissing) {
  const std::vector<std::uint8_t> full = {'r', 0, 0, 0, 0, 0, 0, 0, 0};
  const TFuseReadout none = MapFuseReply(nullptr, full);
  EXPECT_TRUE(none.FBoxes.empty());
  EXPECT_TRUE(none.FLogLines.empty());

  // A reply cut short after the low byte: lock and low boxes only, no calibration.
  const std::vector<std::uint8_t> cut = {'r', 0xFE, 0x7F};
  const TFuseReadout readout = MapFuseReply(&Chip("ATmega8"), cut);
  std::string text;
  for (const TFuseBoxChange& change : readout.FBoxes) {
    text += std::to_string(change.FIndex) + (change.FChecked ? "+ " : "- ");
  }
  EXPECT_EQ(text, "0- 1- 2- 3- 4- 5+ 14+ 15- 16- 17- 18- 19- 20- 21- ");
  EXPECT_TRUE(readout.FLogLines.empty());

  EXPECT_TRUE(MapFuseReply(&Chip("ATmega8"), std::span<const std::uint8_t>()).FBoxes.empty());
}

// ---------------------------------------------------------------- write records

std::vector<bool> All(const TChipInfo& chip, bool on) {
  return std::vector<bool>(chip.FFuseItems.size(), on);
}

TEST(FuseWriteRecords, AllUncheckedAndAllChecked) {
  struct TCase {
    const char* FName;
    const char* FUnchecked;
    const char* FChecked;
  };
  const TCase cases[] = {
      {"AT90S1200", "FF 00 00", "F9 00 00"},
      {"AT90S2313", "FF 00 00", "F9 00 00"},
      {"AT90S8515", "FF 00 00", "F9 00 00"},
      {"ATtiny12", "FF 00 00|A0 00 FF", "F9 00 00|A0 00 00"},
      {"ATtiny15L", "FF 00 00|A0 00 FF", "F9 00 00|A0 00 0C"},
      {"ATtiny13", "E0 00 FF|A8 00 FF|A0 00 FF", "E0 00 FC|A8 00 E0|A0 00 80"},
      {"AT90S/LS2323", "FF 00 00|BF 00 00", "F9 00 00|BE 00 00"},
      {"AT90S/LS2343", "FF 00 00|BF 00 00", "F9 00 00|BE 00 00"},
      {"ATtiny22", "FF 00 00|BF 00 00", "F9 00 00|BE 00 00"},
      {"AT90S/LS8535", "FF 00 00|BF 00 00", "F9 00 00|BE 00 00"},
      {"AT90S/LS2333", "FF 00 00|BF 00 00", "F9 00 00|A0 00 00"},
      {"AT90S/LS4433", "FF 00 00|BF 00 00", "F9 00 00|A0 00 00"},
      {"ATtiny26", "E0 00 FF|A8 00 FF|A0 00 FF", "E0 00 FC|A8 00 E8|A0 00 00"},
      {"ATtiny2313", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 FC|A8 00 20|A0 00 00|A4 00 FE"},
      {"ATmega48", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 FC|A8 00 20|A0 00 00|A4 00 FE"},
      {"ATmega8515", "E0 00 FF|A8 00 FF|A0 00 FF", "E0 00 C0|A8 00 20|A0 00 00"},
      {"ATmega8", "E0 00 FF|A8 00 FF|A0 00 FF", "E0 00 C0|A8 00 20|A0 00 00"},
      {"ATmega8535", "E0 00 FF|A8 00 FF|A0 00 FF", "E0 00 C0|A8 00 20|A0 00 00"},
      {"ATmega16", "E0 00 FF|A8 00 FF|A0 00 FF", "E0 00 C0|A8 00 20|A0 00 00"},
      {"ATmega32", "E0 00 FF|A8 00 FF|A0 00 FF", "E0 00 C0|A8 00 20|A0 00 00"},
      {"ATmega88", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 F8"},
      {"ATmega168", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 F8"},
      {"AT90pwm2", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 00"},
      {"AT90pwm3", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 00"},
      {"ATmega162", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 E1"},
      {"ATmega169", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 F1"},
      {"ATmega165", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 F1"},
      {"ATmega64", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 FC"},
      {"ATmega128", "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF", "E0 00 C0|A8 00 20|A0 00 00|A4 00 FC"},
  };
  ASSERT_EQ(std::size(cases), ChipTable().size());
  for (const TCase& c : cases) {
    const TChipInfo& chip = Chip(c.FName);
    EXPECT_EQ(RecordsText(FuseWriteRecords(&chip, All(chip, false))), c.FUnchecked) << c.FName;
    EXPECT_EQ(RecordsText(FuseWriteRecords(&chip, All(chip, true))), c.FChecked) << c.FName;
  }
}

TEST(FuseWriteRecords, SingleBoxes) {
  struct TCase {
    const char* FName;
    std::vector<std::size_t> FChecked;
    const char* FRecords;
  };
  const TCase cases[] = {
      {"ATmega8", {5, 13}, "E0 00 FE|A8 00 FE|A0 00 FF"},           // Lock bit 1, BOOTRST
      {"ATmega8", {0}, "E0 00 DF|A8 00 FF|A0 00 FF"},               // Boot lock bit 12
      {"ATmega8", {4}, "E0 00 FD|A8 00 FF|A0 00 FF"},               // Lock bit 2
      {"ATmega8", {6}, "E0 00 FF|A8 00 7F|A0 00 FF"},               // RSTDISBL
      {"ATmega8", {8}, "E0 00 FF|A8 00 FF|A0 00 FF"},               // SPIEN is never written
      {"ATmega8", {9}, "E0 00 FF|A8 00 EF|A0 00 FF"},               // CKOPT
      {"ATmega8", {14}, "E0 00 FF|A8 00 FF|A0 00 7F"},              // BODLEVEL
      {"ATmega8", {21}, "E0 00 FF|A8 00 FF|A0 00 FE"},              // CKSEL0
      {"ATmega88", {6}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FB"},     // BOOTSZ1
      {"ATmega88", {8}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FE"},     // BOOTRST
      {"ATmega88", {9}, "E0 00 FF|A8 00 7F|A0 00 FF|A4 00 FF"},     // RSTDISBL
      {"ATmega88", {11}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF"},    // SPIEN
      {"ATmega88", {17}, "E0 00 FF|A8 00 FF|A0 00 7F|A4 00 FF"},    // CKDIV8
      {"AT90pwm2", {6}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 7F"},     // PSC2RB
      {"AT90pwm2", {10}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 F7"},    // NONE, written as read
      {"AT90pwm2", {16}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF"},    // SPIEN
      {"ATmega162", {6}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 EF"},    // ATmega161 comp. mode
      {"ATmega162", {9}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FD"},    // BODLEVEL0
      {"ATmega162", {10}, "E0 00 FF|A8 00 7F|A0 00 FF|A4 00 FF"},   // Enable OCD
      {"ATmega169", {6}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 F7"},    // BODLEVEL2
      {"ATmega169", {8}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FD"},    // BODLEVEL0
      {"ATmega64", {6}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FD"},     // ATmega103 comp. mode
      {"ATmega64", {7}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FE"},     // WDT always on
      {"ATmega64", {8}, "E0 00 FF|A8 00 7F|A0 00 FF|A4 00 FF"},     // Enable OCD
      {"ATmega64", {16}, "E0 00 FF|A8 00 FF|A0 00 7F|A4 00 FF"},    // BODLEVEL
      {"ATtiny13", {0}, "E0 00 FE|A8 00 FF|A0 00 FF"},              // Lock bit 1
      {"ATtiny13", {1}, "E0 00 FD|A8 00 FF|A0 00 FF"},              // Lock bit 2
      {"ATtiny13", {2}, "E0 00 FF|A8 00 EF|A0 00 FF"},              // SELFPRGEN
      {"ATtiny13", {6}, "E0 00 FF|A8 00 FE|A0 00 FF"},              // RSTDISBL
      {"ATtiny13", {7}, "E0 00 FF|A8 00 FF|A0 00 FF"},              // SPIEN
      {"ATtiny13", {8}, "E0 00 FF|A8 00 FF|A0 00 BF"},              // EESAVE
      {"ATtiny26", {2}, "E0 00 FF|A8 00 EF|A0 00 FF"},              // RSTDISBL
      {"ATtiny26", {3}, "E0 00 FF|A8 00 FF|A0 00 FF"},              // SPIEN
      {"ATtiny26", {4}, "E0 00 FF|A8 00 FB|A0 00 FF"},              // EESAVE
      {"ATtiny26", {7}, "E0 00 FF|A8 00 FF|A0 00 7F"},              // PLLCK
      {"ATtiny2313", {2}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FE"},   // SELFPRGEN
      {"ATtiny2313", {3}, "E0 00 FF|A8 00 7F|A0 00 FF|A4 00 FF"},   // DWEN
      {"ATtiny2313", {5}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF"},   // SPIEN
      {"ATtiny2313", {10}, "E0 00 FF|A8 00 FE|A0 00 FF|A4 00 FF"},  // RSTDISBL
      {"ATmega48", {2}, "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FE"},     // SELFPRGEN
      {"ATmega48", {11}, "E0 00 FF|A8 00 FF|A0 00 7F|A4 00 FF"},    // CKDIV8
      {"AT90S1200", {0}, "FD 00 00"},
      {"AT90S1200", {1}, "FB 00 00"},
      {"AT90S/LS2323", {0}, "FD 00 00|BF 00 00"},
      {"AT90S/LS2323", {2}, "FF 00 00|BE 00 00"},
      {"AT90S/LS2323", {3}, "FF 00 00|BF 00 00"},  // SPIEN
      {"AT90S/LS4433", {2}, "FF 00 00|BE 00 00"},  // CKSEL0
      {"AT90S/LS4433", {6}, "FF 00 00|AF 00 00"},  // BODLEVEL
      {"AT90S/LS4433", {7}, "FF 00 00|BF 00 00"},  // SPIEN
      {"ATtiny12", {2}, "FF 00 00|A0 00 7F"},      // BODLEVEL
      {"ATtiny12", {4}, "FF 00 00|A0 00 DF"},      // SPIEN
      {"ATtiny12", {9}, "FF 00 00|A0 00 FE"},      // CKSEL0
      {"ATtiny15L", {5}, "FF 00 00|A0 00 EF"},     // RSTDISBL
      {"ATtiny15L", {6}, "FF 00 00|A0 00 FD"},     // CKSEL1
  };
  for (const TCase& c : cases) {
    const TChipInfo& chip = Chip(c.FName);
    std::vector<bool> checked = All(chip, false);
    for (std::size_t index : c.FChecked) checked.at(index) = true;
    EXPECT_EQ(RecordsText(FuseWriteRecords(&chip, checked)), c.FRecords)
        << c.FName << " item " << c.FChecked.front();
  }
}

TEST(FuseWriteRecords, NoChipAndShortList) {
  EXPECT_EQ(RecordsText(FuseWriteRecords(nullptr, {true, true, true})), "");
  // Boxes beyond the list count as unchecked.
  EXPECT_EQ(RecordsText(FuseWriteRecords(&Chip("ATmega8"), {true, true, true})),
            "E0 00 C7|A8 00 FF|A0 00 FF");
  EXPECT_EQ(RecordsText(FuseWriteRecords(&Chip("ATmega88"), {})),
            "E0 00 FF|A8 00 FF|A0 00 FF|A4 00 FF");
}

// ---------------------------------------------------------------- report bytes

TEST(PutFuseRecords, FillsCountAndRecordsOnly) {
  struct TCase {
    std::vector<TFuseRecord> FRecords;
    std::size_t FReportSize;
    std::vector<std::uint8_t> FBytes3On;  // expected bytes from index 3 to the end of the change
  };
  const TCase cases[] = {
      {FuseReadRecords(&Chip("ATmega128")),
       65,
       {8,    0x58, 0x00, 0x00, 0x50, 0x00, 0x00, 0x58, 0x08, 0x00, 0x50, 0x08, 0x00,
        0x38, 0x00, 0x00, 0x38, 0x00, 0x01, 0x38, 0x00, 0x02, 0x38, 0x00, 0x03, 0xAA}},
      {FuseWriteRecords(&Chip("AT90S1200"), {true, false}), 65, {1, 0xFD, 0x00, 0x00, 0xAA}},
      {{}, 65, {0, 0xAA}},
      // A report too short for all records carries the ones that fit, with their count.
      {FuseReadRecords(&Chip("ATmega8")), 10, {2, 0x58, 0x00, 0x00, 0x50, 0x00, 0x00}},
  };
  for (const TCase& c : cases) {
    std::vector<std::uint8_t> report(c.FReportSize, 0xAA);
    PutFuseRecords(report, c.FRecords);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(report[i], 0xAA);
    for (std::size_t i = 0; i < c.FBytes3On.size(); ++i) {
      EXPECT_EQ(report[3 + i], c.FBytes3On[i]) << "byte " << 3 + i;
    }
    for (std::size_t i = 3 + c.FBytes3On.size(); i < report.size(); ++i) {
      EXPECT_EQ(report[i], 0xAA) << "byte " << i;
    }
  }
  // Twenty-one records: twenty fit before byte 64, which stays untouched.
  std::vector<std::uint8_t> report(65, 0xAA);
  PutFuseRecords(report, std::vector<TFuseRecord>(21, TFuseRecord{1, 2, 3}));
  EXPECT_EQ(report[3], 20);
  EXPECT_EQ(report[61], 1);
  EXPECT_EQ(report[63], 3);
  EXPECT_EQ(report[64], 0xAA);
  std::vector<std::uint8_t> tiny(3, 0xAA);
  PutFuseRecords(tiny, FuseReadRecords(&Chip("ATmega8")));
  EXPECT_EQ(tiny, std::vector<std::uint8_t>(3, 0xAA));
}

// ---------------------------------------------------------------- texts

TEST(ChipTexts, EveryMessageInEveryLanguage) {
  struct TCase {
    std::string_view (*FText)(std::uint8_t);
    const char* FGerman;
    const char* FEnglish;
    const char* FRussian;
  };
  const TCase cases[] = {
      {IdentifyErrorText, "Fehler", "Error", "Ошибка"},
      {FuseReadStartText, "lese Fuse Bits...", "reading fuse bis...", "чтение fuse битов..."},
      {FuseWriteStartText, "programmiere Fuse/Lock Bits...", "programming fuse/lock bis...",
       "программирование fuse/lock битов..."},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(c.FText(0), c.FGerman);
    EXPECT_EQ(c.FText(1), c.FEnglish);
    EXPECT_EQ(c.FText(2), c.FRussian);
    EXPECT_EQ(c.FText(3), c.FEnglish);
    EXPECT_EQ(c.FText(255), c.FEnglish);
  }
  EXPECT_EQ(kDeviceLockedText, "Device locked !");
}

TEST(ChipTexts, LogLineFormats) {
  const std::vector<std::pair<TLogLine, std::string>> cases = {
      {SignatureLogLine({0x1E, 0x93, 0x07}), "ID: 1E 93 07"},
      {SignatureLogLine({0x00, 0x0A, 0xFF}), "ID: 00 0A FF"},
      {SignatureLogLine({0xAB, 0xCD, 0xEF}), "ID: AB CD EF"},
      {CalibrationLogLine(0, 0x9F), "Calibration Byte 0: 9F"},
      {CalibrationLogLine(3, 0x05), "Calibration Byte 3: 05"},
      {CalibrationLogLine(1, 0xA0), "Calibration Byte 1: A0"},
  };
  for (const auto& [line, want] : cases)
    for (std::uint8_t language : {0, 1, 2}) EXPECT_EQ(RenderLogLine(line, language), want);
}

TEST(FuseToggle, EnablesWriteOnlyForTheIspTarget) {
  EXPECT_TRUE(FuseToggleEnablesWrite(true));
  EXPECT_FALSE(FuseToggleEnablesWrite(false));
}

}  // namespace
}  // namespace quenvar
