#include "quenvar/presenter/language_switch.h"

#include <gtest/gtest.h>

#include <map>

#include "fake_store.h"

namespace quenvar {
namespace {

// Records what a switch does, in order, and keeps the resulting state.
class TRecordingSink final : public TLanguageSink {
 public:
  explicit TRecordingSink(std::vector<std::string>& Log) : FLog(Log) {}

  std::map<std::string, std::string> Captions;
  std::map<std::string, bool> Checked;
  std::map<std::string, std::string> Dialogs;
  int LanguageIndex = -1;

  void SetChecked(TControl Control, bool Value) override {
    const std::string name(ControlName(Control));
    FLog.push_back("check " + name + (Value ? " on" : " off"));
    Checked[name] = Value;
  }
  void SetLanguageIndex(std::uint8_t Index) override {
    FLog.push_back("index " + std::to_string(Index));
    LanguageIndex = Index;
  }
  void SetCaption(TControl Control, std::string_view Caption) override {
    const std::string name(ControlName(Control));
    FLog.push_back("caption " + name);
    Captions[name] = std::string(Caption);
  }
  void SetDialogTexts(std::string_view Dialog, std::string_view Title,
                      std::string_view Filter) override {
    FLog.push_back("dialog " + std::string(Dialog));
    Dialogs[std::string(Dialog)] = std::string(Title) + " / " + std::string(Filter);
  }

 private:
  std::vector<std::string>& FLog;
};

class LanguageSwitchTest : public testing::Test {
 protected:
  std::vector<std::string> Log;
  test::TFakeStore Store{Log};
  TRecordingSink Sink{Log};
  TLanguageSwitch Switch{Sink, Store};
};

TEST_F(LanguageSwitchTest, StepsRunInTheirOrder) {
  Switch.sRusClick();
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
  EXPECT_EQ(Log, expected);
}

struct TSwitchCase {
  void (TLanguageSwitch::*Click)();
  const char* Radio;
  int Index;
  int Stored;
  const char* NFile;
  const char* OpenDialog;
  const char* SaveDialog;
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
    (Switch.*c.Click)();
    EXPECT_EQ(Sink.LanguageIndex, c.Index);
    EXPECT_EQ(Store.Values["Language"], c.Stored);
    for (const char* radio : {"sDeutsch", "sEnglish", "sRus"}) {
      EXPECT_EQ(Sink.Checked[radio], std::string(radio) == c.Radio) << c.Radio << " " << radio;
    }
    EXPECT_EQ(Sink.Captions["nFile"], c.NFile);
    EXPECT_EQ(Sink.Captions.size(), 30u);
    EXPECT_EQ(Sink.Dialogs["OpenDialog1"], c.OpenDialog);
    EXPECT_EQ(Sink.Dialogs["SaveDialog1"], c.SaveDialog);
  }
}

TEST_F(LanguageSwitchTest, RussianAndBackRestoresEveryGermanCaption) {
  Switch.sDeutschClick();
  const std::map<std::string, std::string> german = Sink.Captions;
  Switch.sRusClick();
  EXPECT_EQ(Sink.Captions["bDetectDevice"], "Чип ID");
  EXPECT_EQ(Sink.Captions["nDetectDevice"], "Определить чип");
  Switch.sDeutschClick();
  EXPECT_EQ(Sink.Captions, german);
  EXPECT_EQ(Sink.Captions["bDetectDevice"], "Detect Device");
}

TEST_F(LanguageSwitchTest, DeviceMenuReadsDeviceInGermanAndEnglish) {
  const struct {
    void (TLanguageSwitch::*Click)();
    const char* Caption;
  } cases[] = {{&TLanguageSwitch::sDeutschClick, "Device"},
               {&TLanguageSwitch::sEnglishClick, "Device"},
               {&TLanguageSwitch::sRusClick, "Чип"}};
  for (const auto& c : cases) {
    (Switch.*c.Click)();
    EXPECT_EQ(Sink.Captions["nDevice"], c.Caption);
  }
}

TEST_F(LanguageSwitchTest, FailedStoreStillSwitchesAndThenReportsTheError) {
  Store.FailWrites = true;
  try {
    Switch.sEnglishClick();
    ADD_FAILURE() << "store failure swallowed";
  } catch (const TRegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to set data for 'Language'");
  }
  EXPECT_EQ(Sink.LanguageIndex, 1);
  EXPECT_EQ(Sink.Captions["bErase"], "erase");
  EXPECT_EQ(Sink.Dialogs["SaveDialog1"],
            "save file as: / Hex-files (*.hex)|*.hex|Bin-files (*.bin)|*.bin");
}

TEST_F(LanguageSwitchTest, IndexOutOfRangeAppliesEnglish) {
  Switch.Apply(7);
  EXPECT_EQ(Sink.LanguageIndex, 1);
  EXPECT_EQ(Store.Values["Language"], 2);
  EXPECT_EQ(Sink.Captions["nChose"], "Chose");
}

}  // namespace
}  // namespace quenvar
