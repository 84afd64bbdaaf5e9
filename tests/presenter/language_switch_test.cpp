#include "quenvar/presenter/language_switch.h"

#include <gtest/gtest.h>

#include <map>

#include "fake_store.h"

namespace quenvar {
namespace {

// Records what a switch does, in order, and keeps the resulting state.
class TRecordingSink final : public ILanguageSink {
 public:
  explicit TRecordingSink(std::vector<std::string>& log) : FLog(log) {}

  std::map<std::string, std::string> FCaptions;
  std::map<std::string, bool> FChecked;
  std::map<std::string, std::string> FDialogs;
  int FLanguageIndex = -1;

  void SetChecked(TControl control, bool value) override {
    const std::string name(ControlName(control));
    FLog.push_back("check " + name + (value ? " on" : " off"));
    FChecked[name] = value;
  }
  void SetLanguageIndex(std::uint8_t index) override {
    FLog.push_back("index " + std::to_string(index));
    FLanguageIndex = index;
  }
  void SetCaption(TControl control, std::string_view caption) override {
    const std::string name(ControlName(control));
    FLog.push_back("caption " + name);
    FCaptions[name] = std::string(caption);
  }
  void SetDialogTexts(std::string_view dialog, std::string_view title,
                      std::string_view filter) override {
    FLog.push_back("dialog " + std::string(dialog));
    FDialogs[std::string(dialog)] = std::string(title) + " / " + std::string(filter);
  }

 private:
  std::vector<std::string>& FLog;
};

class LanguageSwitchTest : public testing::Test {
 protected:
  std::vector<std::string> FLog;
  test::TFakeStore FStore{FLog};
  TRecordingSink FSink{FLog};
  TLanguageSwitch FSwitch{FSink, FStore};
};

TEST_F(LanguageSwitchTest, StepsRunInTheirOrder) {
  FSwitch.sRusClick();
  const std::vector<std::string> expected = {
      "check sRus on",           "check sDeutsch off",
      "check sEnglish off",      "index 2",
      "put Language 3",          "caption nFile",
      "caption nDevice",         "caption nInfo",
      "caption nopen",           "caption nsave",
      "caption nExit",           "caption nBuffer",
      "caption nUndo",           "caption nRedo",
      "caption neditbuffer",     "caption updatebuffer",
      "caption nChose",          "caption nprogflash",
      "caption nverifyflash",    "caption nreadflash",
      "caption nprogeeprom",     "caption nreadeeprom",
      "caption nDetectDevice",   "caption nWritefuse",
      "caption nErase",          "caption nSetup",
      "caption nverifyprogramm", "caption bProg",
      "caption bVerify",         "caption bRead",
      "caption bErase",          "caption bWriteFuse",
      "caption bDetectDevice",   "caption bprogeeprom",
      "caption breadeeprom",     "dialog OpenDialog1",
      "dialog SaveDialog1",
  };
  EXPECT_EQ(FLog, expected);
}

struct TSwitchCase {
  void (TLanguageSwitch::*FClick)();
  const char* FRadio;
  int FIndex;
  int FStored;
  const char* FNFile;
  const char* FOpenDialog;
  const char* FSaveDialog;
};

TEST_F(LanguageSwitchTest, EachEntrySetsIndexStoreCaptionsAndDialogs) {
  const TSwitchCase cases[] = {
      {&TLanguageSwitch::sDeutschClick, "sDeutsch", 0, 1, "Datei",
       "Datei öffnen: / Hex-Dateien (*.hex)|*.hex|Binary-Dateien (*.bin)|*.bin|Alle Dateien "
       "(*.*)|*.*",
       "Datei speichern unter: / Hex-Dateien (*.hex)|*.hex|Bin-Dateien (*.bin)|*.bin"},
      {&TLanguageSwitch::sEnglishClick, "sEnglish", 1, 2, "File",
       "open file: / Hex-files (*.hex)|*.hex|Binary-files (*.bin)|*.bin|All files (*.*)|*.*",
       "save file as: / Hex-files (*.hex)|*.hex|Bin-files (*.bin)|*.bin"},
      {&TLanguageSwitch::sRusClick, "sRus", 2, 3, "Файл",
       "Открыть файл: / Hex-файл (*.hex)|*.hex|Binary-файл (*.bin)|*.bin|Все файлы (*.*)|*.*",
       "Сохранить как: / Hex-файл (*.hex)|*.hex|Bin-файл (*.bin)|*.bin"},
  };
  for (const TSwitchCase& c : cases) {
    (FSwitch.*c.FClick)();
    EXPECT_EQ(FSink.FLanguageIndex, c.FIndex);
    EXPECT_EQ(FStore.FValues["Language"], c.FStored);
    for (const char* radio : {"sDeutsch", "sEnglish", "sRus"}) {
      EXPECT_EQ(FSink.FChecked[radio], std::string(radio) == c.FRadio) << c.FRadio << " " << radio;
    }
    EXPECT_EQ(FSink.FCaptions["nFile"], c.FNFile);
    EXPECT_EQ(FSink.FCaptions.size(), 30u);
    EXPECT_EQ(FSink.FDialogs["OpenDialog1"], c.FOpenDialog);
    EXPECT_EQ(FSink.FDialogs["SaveDialog1"], c.FSaveDialog);
  }
}

TEST_F(LanguageSwitchTest, RussianAndBackRestoresEveryGermanCaption) {
  FSwitch.sDeutschClick();
  const std::map<std::string, std::string> german = FSink.FCaptions;
  FSwitch.sRusClick();
  EXPECT_EQ(FSink.FCaptions["bDetectDevice"], "Чип ID");
  EXPECT_EQ(FSink.FCaptions["nDetectDevice"], "Определить чип");
  FSwitch.sDeutschClick();
  EXPECT_EQ(FSink.FCaptions, german);
  EXPECT_EQ(FSink.FCaptions["bDetectDevice"], "Detect Device");
}

TEST_F(LanguageSwitchTest, DeviceMenuReadsDeviceInGermanAndEnglish) {
  const struct {
    void (TLanguageSwitch::*FClick)();
    const char* FCaption;
  } cases[] = {{&TLanguageSwitch::sDeutschClick, "Device"},
               {&TLanguageSwitch::sEnglishClick, "Device"},
               {&TLanguageSwitch::sRusClick, "Чип"}};
  for (const auto& c : cases) {
    (FSwitch.*c.FClick)();
    EXPECT_EQ(FSink.FCaptions["nDevice"], c.FCaption);
  }
}

TEST_F(LanguageSwitchTest, FailedStoreStillSwitchesAndThenReportsTheError) {
  FStore.FFailWrites = true;
  try {
    FSwitch.sEnglishClick();
    ADD_FAILURE() << "store failure swallowed";
  } catch (const TRegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'Language'");
  }
  EXPECT_EQ(FSink.FLanguageIndex, 1);
  EXPECT_EQ(FSink.FCaptions["bErase"], "erase");
  EXPECT_EQ(FSink.FDialogs["SaveDialog1"],
            "save file as: / Hex-files (*.hex)|*.hex|Bin-files (*.bin)|*.bin");
}

TEST_F(LanguageSwitchTest, IndexOutOfRangeAppliesEnglish) {
  FSwitch.Apply(7);
  EXPECT_EQ(FSink.FLanguageIndex, 1);
  EXPECT_EQ(FStore.FValues["Language"], 2);
  EXPECT_EQ(FSink.FCaptions["nChose"], "Chose");
}

}  // namespace
}  // namespace quenvar
