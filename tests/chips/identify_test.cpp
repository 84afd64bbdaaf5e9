#include "quenvar/core/identify.h"

#include <gtest/gtest.h>

#include "chip_test_util.h"
#include "golden_tables.h"
#include "quenvar/core/chip_texts.h"

namespace quenvar {
namespace {

// Every row of the reviewed table, with its log line.
TEST(IdentifySignature, EveryKnownChip) {
  for (const test::TGoldenChip& c : test::GoldenChips()) {
    SCOPED_TRACE(c.FName);
    const TSignature sig{c.FSignature[0], c.FSignature[1], c.FSignature[2]};
    const std::string log =
        "ID: " + test::Hex2(sig[0]) + " " + test::Hex2(sig[1]) + " " + test::Hex2(sig[2]);
    const TIdentifyResult r = IdentifySignature(sig, true);
    EXPECT_EQ(r.FOutcome, TIdentifyOutcome::Known);
    for (std::uint8_t language : {0, 1, 2}) EXPECT_EQ(RenderLogLine(r.FLogLine, language), log);
    ASSERT_TRUE(r.FAutoDevice.has_value());
    EXPECT_EQ(*r.FAutoDevice, c.FName);
    ASSERT_TRUE(r.FCodeSize.has_value());
    EXPECT_EQ(*r.FCodeSize, c.FFlash);
    EXPECT_FALSE(r.FErrorFlag);
    ASSERT_NE(r.FIdentifiedChip, nullptr);
    EXPECT_EQ(r.FIdentifiedChip->FName, c.FName);
    EXPECT_EQ(r.FNext, c.FFuseRead ? TIdentifyNext::ReadFuses : TIdentifyNext::Continue);
    ASSERT_TRUE(r.FFuseList.has_value());
    EXPECT_EQ(r.FFuseList->size(), r.FIdentifiedChip->FFuseItems.size());
    for (const TFuseBox& box : *r.FFuseList) EXPECT_FALSE(box.FChecked) << box.FCaption;
    // Away from the ISP connector no fuse read is ever started.
    EXPECT_EQ(IdentifySignature(sig, false).FNext, TIdentifyNext::Continue);
  }
}

// The fuse list as "caption" or "[caption]" when greyed.
std::string BoxesText(const std::vector<TFuseBox>& boxes) {
  std::string text;
  for (const TFuseBox& box : boxes) {
    if (!text.empty()) text += '|';
    text += box.FEnabled ? box.FCaption : "[" + box.FCaption + "]";
    if (box.FChecked) text += "*";
  }
  return text;
}

TEST(IdentifySignature, FuseListWithGreyedItems) {
  struct TCase {
    TSignature FSig;
    const char* FBoxes;
  };
  const TCase cases[] = {
      {{0x1E, 0x93, 0x07},
       "Boot lock bit 12|Boot lock bit 11|Boot lock bit 02|Boot lock bit 01|Lock bit 2|"
       "Lock bit 1|RSTDISBL|WDT always on|[SPIEN]|CKOPT|EESAVE|BOOTSZ1|BOOTSZ0|BOOTRST|"
       "BODLEVEL|BODEN|SUT1|SUT0|CKSEL3|CKSEL2|CKSEL1|CKSEL0"},
      {{0x1E, 0x93, 0x93},
       "Boot lock bit 12|Boot lock bit 11|Boot lock bit 02|Boot lock bit 01|Lock bit 2|"
       "Lock bit 1|PSC2RB|PSC1RB|PSC0RB|PSCRV|[NONE]|BOOTSZ1|BOOTSZ0|BOOTRST|RSTDISBL|DWEN|"
       "[SPIEN]|WDT always on|EESAVE|BODLEVEL2|BODLEVEL1|BODLEVEL0|CKDIV8|CKOUT|SUT1|SUT0|"
       "CKSEL3|CKSEL2|CKSEL1|CKSEL0"},
      {{0x1E, 0x90, 0x01}, "Lock bit 1|Lock bit 2"},
      {{0x1E, 0x91, 0x01}, "Lock bit 1|Lock bit 2"},
      {{0x1E, 0x93, 0x01}, "Lock bit 1|Lock bit 2"},
      {{0x1E, 0x91, 0x02}, "Lock bit 1|Lock bit 2|FSTRT|[SPIEN]"},
      {{0x1E, 0x90, 0x06}, "Lock bit 1|Lock bit 2|BODLEVEL|BODEN|SPIEN|RSTDISBL|CKSEL1|CKSEL0"},
      {{0x1E, 0x92, 0x03}, "Lock bit 1|Lock bit 2|CKSEL0|CKSEL1|CKSEL2|BODEN|BODLEVEL|[SPIEN]"},
      {{0x1E, 0x90, 0x07},
       "Lock bit 1|Lock bit 2|SELFPRGEN|DWEN|BODLEVEL1|BODLEVEL0|RSTDISBL|[SPIEN]|EESAVE|"
       "WDT always on|CKDIV8|SUT1|SUT0|CKSEL1|CKSEL0"},
      {{0x1E, 0x94, 0x04},
       "Boot lock bit 12|Boot lock bit 11|Boot lock bit 02|Boot lock bit 01|Lock bit 2|"
       "Lock bit 1|ATmega161 comp. mode|BODLEVEL2|BODLEVEL1|BODLEVEL0|Enable OCD|Enable JTAG|"
       "[SPIEN]|WDT always on|EESAVE|BOOTSZ1|BOOTSZ0|BOOTRST|CKDIV8|CKOUT|SUT1|SUT0|CKSEL3|"
       "CKSEL2|CKSEL1|CKSEL0"},
  };
  for (const TCase& c : cases) {
    const TIdentifyResult r = IdentifySignature(c.FSig, true);
    ASSERT_TRUE(r.FFuseList.has_value());
    EXPECT_EQ(BoxesText(*r.FFuseList), c.FBoxes);
  }
}

TEST(IdentifySignature, FailuresAndLockedChip) {
  struct TCase {
    TSignature FSig;
    std::uint8_t FLanguage;
    TIdentifyOutcome FOutcome;
    const char* FLog;
    const char* FAutoDevice;
    bool FError;
  };
  const TCase cases[] = {
      {{0x1E, 0x98, 0x01}, 0, TIdentifyOutcome::NotInTable, "ID: 1E 98 01", "Fehler", true},
      {{0x1E, 0x98, 0x01}, 1, TIdentifyOutcome::NotInTable, "ID: 1E 98 01", "Error", true},
      {{0x1E, 0x98, 0x01}, 2, TIdentifyOutcome::NotInTable, "ID: 1E 98 01", "Ошибка", true},
      {{0x1E, 0x00, 0x00}, 1, TIdentifyOutcome::NotInTable, "ID: 1E 00 00", "Error", true},
      {{0x1E, 0x01, 0x02}, 1, TIdentifyOutcome::NotInTable, "ID: 1E 01 02", "Error", true},
      {{0xFF, 0xFF, 0xFF}, 0, TIdentifyOutcome::Invalid, "ID: FF FF FF", "Fehler", true},
      {{0xFF, 0xFF, 0xFF}, 1, TIdentifyOutcome::Invalid, "ID: FF FF FF", "Error", true},
      {{0xFF, 0xFF, 0xFF}, 2, TIdentifyOutcome::Invalid, "ID: FF FF FF", "Ошибка", true},
      {{0x1F, 0x93, 0x07}, 1, TIdentifyOutcome::Invalid, "ID: 1F 93 07", "Error", true},
      {{0x00, 0x01, 0x03}, 1, TIdentifyOutcome::Invalid, "ID: 00 01 03", "Error", true},
      {{0x00, 0x00, 0x00}, 1, TIdentifyOutcome::Invalid, "ID: 00 00 00", "Error", true},
      // An out-of-range language falls back to English rather than reading past the texts.
      {{0x1E, 0x98, 0x01}, 7, TIdentifyOutcome::NotInTable, "ID: 1E 98 01", "Error", true},
      {{0x00, 0x01, 0x02}, 0, TIdentifyOutcome::Locked, "ID: 00 01 02", "Device locked !", false},
      {{0x00, 0x01, 0x02}, 1, TIdentifyOutcome::Locked, "ID: 00 01 02", "Device locked !", false},
      {{0x00, 0x01, 0x02}, 2, TIdentifyOutcome::Locked, "ID: 00 01 02", "Device locked !", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.FLog);
    const TIdentifyResult r = IdentifySignature(c.FSig, true);
    EXPECT_EQ(r.FOutcome, c.FOutcome);
    EXPECT_EQ(RenderLogLine(r.FLogLine, c.FLanguage), c.FLog);
    // A failure leaves the error word to the front end, in its language.
    EXPECT_EQ(r.FAutoDevice.value_or(std::string(IdentifyErrorText(c.FLanguage))), c.FAutoDevice);
    EXPECT_EQ(r.FAutoDevice.has_value(), !c.FError);
    EXPECT_EQ(r.FErrorFlag, c.FError);
    EXPECT_EQ(r.FIdentifiedChip, nullptr);
    // Neither case brings a fuse list; the old one stays on screen.
    EXPECT_FALSE(r.FFuseList.has_value());
    if (c.FError) {
      ASSERT_TRUE(r.FCodeSize.has_value());
      EXPECT_EQ(*r.FCodeSize, "");
      EXPECT_EQ(r.FNext, TIdentifyNext::Stop);
    } else {
      // Size text stays; the (empty) fuse read follows on the ISP connector.
      EXPECT_FALSE(r.FCodeSize.has_value());
      EXPECT_EQ(r.FNext, TIdentifyNext::ReadFuses);
      EXPECT_EQ(IdentifySignature(c.FSig, false).FNext, TIdentifyNext::Continue);
    }
  }
}

TEST(IdentifySignature, SecondChipReplacesTheWholeList) {
  // Window-side list after identifying an ATmega8 and ticking a few boxes.
  std::vector<TFuseBox> shown = *IdentifySignature({0x1E, 0x93, 0x07}, true).FFuseList;
  shown[0].FChecked = shown[5].FChecked = shown[21].FChecked = true;

  const TIdentifyResult r = IdentifySignature({0x1E, 0x91, 0x02}, true);
  ASSERT_TRUE(r.FFuseList.has_value());
  shown = *r.FFuseList;
  EXPECT_EQ(BoxesText(shown), "Lock bit 1|Lock bit 2|FSTRT|[SPIEN]");
}

}  // namespace
}  // namespace quenvar
