#include "quenvar/presenter/app_settings.h"

#include <gtest/gtest.h>

#include "fake_store.h"
#include "qt_app.h"
#include "quenvar/app/registry_edit.h"
#include "quenvar/presenter/language_switch.h"

namespace quenvar {
namespace {

using test::ReadFile;
using test::TTempRoot;
using test::WriteFile;

TEST(LanguageIndexOfStored, LowByteRules) {
  const struct {
    std::uint8_t FLowByte;
    std::uint8_t FIndex;
  } cases[] = {{1, 0}, {2, 1}, {3, 2}, {0, 1}, {4, 1}, {7, 1}, {255, 1}};
  for (const auto& c : cases) EXPECT_EQ(LanguageIndexOfStored(c.FLowByte), c.FIndex);
}

// Start-up against a real store in a temporary folder; the language applied
// at step 3 goes through the switch, which stores it again.
class StartupTest : public testing::Test {
 protected:
  StartupTest() {
    FEdit.SetRootKey(TRootKey::rkLocalMachine);
    FEdit.SetRegKey(std::string(kSettingsKeyPath));
    FEdit.SetConfigRoot(FRoot.Path());
  }

  struct TResult {
    bool FVerify;
    bool FUpdate;
    std::uint8_t FLanguage;
    std::uint8_t FLastDevice;
    std::optional<std::string> FError;
  };

  TResult Start() {
    TAppSettings settings(FEdit);
    TResult result{};
    result.FVerify = settings.RestoreVerifyAfterProgram();
    result.FUpdate = settings.RestoreUpdateBuffer();
    result.FLanguage = settings.RestoreLanguage();
    std::vector<std::string> ignored;
    TNullSink sink;
    try {
      TLanguageSwitch(sink, FEdit).Apply(result.FLanguage);
    } catch (const TRegistryError& error) {
      if (!settings.StartupError()) result.FError = error.what();
    }
    result.FLastDevice = settings.RestoreLastDevice();
    if (settings.StartupError()) result.FError = settings.StartupError();
    return result;
  }

  std::string StoreFile() const { return FRoot.File("Quenvar/Quenvar.ini"); }

  class TNullSink final : public ILanguageSink {
    void SetChecked(TControl, bool) override {}
    void SetLanguageIndex(std::uint8_t) override {}
    void SetCaption(TControl, std::string_view) override {}
    void SetDialogTexts(std::string_view, std::string_view, std::string_view) override {}
  };

  TTempRoot FRoot;
  TRegistryEdit FEdit;
};

TEST_F(StartupTest, NoKeyAtAllStoresTheDefaults) {
  const TResult result = Start();
  EXPECT_TRUE(result.FVerify);
  EXPECT_TRUE(result.FUpdate);
  EXPECT_EQ(result.FLanguage, 1);
  EXPECT_EQ(result.FLastDevice, 0);
  EXPECT_FALSE(result.FError);
  EXPECT_EQ(ReadFile(StoreFile()),
            "[General]\n"
            "Language=2\n"
            "Last%20Device=0\n"
            "Update%20buffer%20from%20file=1\n"
            "Verify%20after%20program=1\n");
}

struct TLanguageCase {
  const char* FStored;
  std::uint8_t FApplied;
  const char* FStoredAfter;
};

TEST_F(StartupTest, LanguageUsesTheLowByteAndStoresWhatItApplied) {
  const TLanguageCase cases[] = {
      {"1", 0, "1"}, {"2", 1, "2"},   {"3", 2, "3"},   {"7", 1, "2"},
      {"0", 1, "2"}, {"259", 2, "3"}, {"257", 0, "1"}, {"-253", 2, "3"},
  };
  for (const TLanguageCase& c : cases) {
    WriteFile(StoreFile(), std::string("[General]\nLanguage=") + c.FStored + "\n");
    const TResult result = Start();
    EXPECT_EQ(result.FLanguage, c.FApplied) << c.FStored;
    EXPECT_EQ(FEdit.GetInteger("Language", -1), std::stoi(c.FStoredAfter)) << c.FStored;
  }
}

TEST_F(StartupTest, LastDeviceIsTheLowByte) {
  const struct {
    const char* FStored;
    std::uint8_t FRestored;
  } cases[] = {{"0", 0},     {"5", 5},     {"13", 13}, {"14", 14},  {"15", 15},
               {"200", 200}, {"255", 255}, {"256", 0}, {"270", 14}, {"-1", 255}};
  for (const auto& c : cases) {
    WriteFile(StoreFile(), std::string("[General]\nLast%20Device=") + c.FStored + "\n");
    EXPECT_EQ(Start().FLastDevice, c.FRestored) << c.FStored;
    EXPECT_EQ(ReadFile(StoreFile()).find("Last%20Device=" + std::string(c.FStored) + "\n") !=
                  std::string::npos,
              true)
        << "start-up rewrote " << c.FStored;
  }
}

TEST_F(StartupTest, UncheckedVerifyIsWrittenAtOnceAndRestoredNextStart) {
  Start();
  TAppSettings(FEdit).StoreVerifyAfterProgram(false);
  EXPECT_NE(ReadFile(StoreFile()).find("Verify%20after%20program=0\n"), std::string::npos);
  const TResult next = Start();
  EXPECT_FALSE(next.FVerify);
  EXPECT_TRUE(next.FUpdate);
  TAppSettings(FEdit).StoreUpdateBuffer(false);
  EXPECT_FALSE(Start().FUpdate);
}

TEST_F(StartupTest, LanguageSurvivesAKillButTheTargetOnlyAClose) {
  Start();
  TNullSink sink;
  TLanguageSwitch(sink, FEdit).sRusClick();
  // Killed here: no close, so the target chosen in this run is not stored.
  const TResult next = Start();
  EXPECT_EQ(next.FLanguage, 2);
  EXPECT_EQ(next.FLastDevice, 0);
  FEdit.PutInteger(kValueLastDevice, 13);
  EXPECT_EQ(Start().FLastDevice, 13);
  FEdit.PutInteger(kValueLastDevice, 14);
  EXPECT_EQ(Start().FLastDevice, 14);
}

TEST_F(StartupTest, GarbageValuesAreReportedOnceAndReplacedByDefaults) {
  WriteFile(StoreFile(),
            "[General]\n"
            "Language=Russian\n"
            "Last%20Device=@ByteArray(\\x1)\n"
            "Update%20buffer%20from%20file=yes\n"
            "Verify%20after%20program=0\n");
  const TResult result = Start();
  EXPECT_FALSE(result.FVerify);
  EXPECT_TRUE(result.FUpdate);
  EXPECT_EQ(result.FLanguage, 1);
  EXPECT_EQ(result.FLastDevice, 0);
  EXPECT_EQ(result.FError, "Invalid data type for 'Update buffer from file'");
  EXPECT_EQ(ReadFile(StoreFile()),
            "[General]\n"
            "Language=2\n"
            "Last%20Device=0\n"
            "Update%20buffer%20from%20file=1\n"
            "Verify%20after%20program=0\n");
  EXPECT_FALSE(Start().FError);
}

TEST_F(StartupTest, DamagedStoreGivesNoErrorAndIsRewrittenClean) {
  // The broken section header makes the first read fail; the first write
  // then keeps what can still be read of the file and writes it out whole.
  WriteFile(StoreFile(), "[General\nLanguage=3\nVerify%20after%20program=0\n");
  const TResult result = Start();
  EXPECT_TRUE(result.FVerify);
  EXPECT_TRUE(result.FUpdate);
  EXPECT_EQ(result.FLanguage, 2);
  EXPECT_EQ(result.FLastDevice, 0);
  EXPECT_FALSE(result.FError);
  EXPECT_EQ(ReadFile(StoreFile()),
            "[General]\n"
            "Language=3\n"
            "Last%20Device=0\n"
            "Update%20buffer%20from%20file=1\n"
            "Verify%20after%20program=1\n");
  EXPECT_FALSE(Start().FError);
}

TEST_F(StartupTest, UnwritableStoreStartsWithDefaultsAndOneError) {
  WriteFile(FRoot.File("Quenvar"), "a file where the key's folder belongs");
  const TResult result = Start();
  EXPECT_TRUE(result.FVerify);
  EXPECT_TRUE(result.FUpdate);
  EXPECT_EQ(result.FLanguage, 1);
  EXPECT_EQ(result.FLastDevice, 0);
  EXPECT_EQ(result.FError, "Failed to set data for 'Verify after program'");
  EXPECT_THROW(TAppSettings(FEdit).StoreVerifyAfterProgram(true), TRegistryError);
}

TEST(AppSettingsCalls, StartupAsksHasValueBeforeEveryRead) {
  std::vector<std::string> log;
  test::TFakeStore store(log);
  store.FValues = {{"Verify after program", 0}, {"Language", 3}};
  TAppSettings settings(store);
  settings.RestoreVerifyAfterProgram();
  settings.RestoreUpdateBuffer();
  settings.RestoreLanguage();
  settings.RestoreLastDevice();
  const std::vector<std::string> expected = {
      "has Verify after program",
      "get Verify after program",
      "has Update buffer from file",
      "put Update buffer from file 1",
      "has Language",
      "get Language",
      "has Last Device",
      "put Last Device 0",
  };
  EXPECT_EQ(log, expected);
}

TEST(AppSettingsCalls, MissingLanguageIsFirstStoredAsOne) {
  std::vector<std::string> log;
  test::TFakeStore store(log);
  EXPECT_EQ(TAppSettings(store).RestoreLanguage(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"has Language", "put Language 1"}));
}

}  // namespace
}  // namespace quenvar
