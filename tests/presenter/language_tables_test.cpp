#include "quenvar/presenter/language_tables.h"

#include <gtest/gtest.h>

#include <string>

#include "quenvar/presenter/controls.h"

namespace quenvar {
namespace {

// Name, German, English, Russian: the captions as the user must see them.
struct TRow {
  const char* FName;
  const char* FGerman;
  const char* FEnglish;
  const char* FRussian;
};

constexpr TRow kExpected[] = {
    {"nFile", "Datei", "File", "Файл"},
    {"nDevice", "Device", "Device", "Чип"},
    {"nInfo", "Info", "Info", "Информация"},
    {"nopen", "Datei öffnen...", "open file...", "Открыть файл..."},
    {"nsave", "Buffer speichern unter..", "save buffer as..", "Сохранить как ?"},
    {"nExit", "Ende", "exit", "Выход"},
    {"nBuffer", "Buffer", "Buffer", "Буффер"},
    {"nUndo", "Undo", "undo", "Вернуть ввод"},
    {"nRedo", "Redo", "redo", "Отменить ввод"},
    {"neditbuffer", "Buffer editierbar", "edit buffer", "Редактирование"},
    {"updatebuffer", "Buffer aus Datei updaten", "update buffer from file",
     "обновить буффер из файла"},
    {"nChose", "Aktion", "Chose", "Опции"},
    {"nprogflash", "Programmieren", "write", "Запись"},
    {"nverifyflash", "Vergleichen", "verify", "Верификация"},
    {"nreadflash", "Auslesen", "read", "Чтение"},
    {"nprogeeprom", "EEPROM Programmieren", "write EEPROM", "Запись EEPROM"},
    {"nreadeeprom", "EEPROM Auslesen", "read EEPROM", "Чтение EEPROM"},
    {"nDetectDevice", "Detect Device", "detect device", "Определить чип"},
    {"nWritefuse", "Fuse-/Lockbits schreiben", "write fuse-/lockbits", "Запись fuse-/lock битов"},
    {"nErase", "Löschen", "erase", "Стирание"},
    {"nSetup", "Setup", "Setup", "Установки"},
    {"nverifyprogramm", "verify nach Programmierung", "verify after write",
     "Проверка после записи"},
    {"bProg", "Programmieren", "write", "Запись"},
    {"bVerify", "Vergleichen", "verify", "Сравнение"},
    {"bRead", "Auslesen", "read", "Чтение"},
    {"bErase", "Löschen", "erase", "Стирание"},
    {"bWriteFuse", "Fuses schreiben", "write fuses", "Запись fuse"},
    {"bDetectDevice", "Detect Device", "detect device", "Чип ID"},
    {"bprogeeprom", "EEPROM Programmieren", "write EEPROM", "Запись EEPROM"},
    {"breadeeprom", "EEPROM Auslesen", "read EEPROM", "Чтение EEPROM"},
};

TEST(CaptionTables, EveryCaptionInEveryLanguageInApplyOrder) {
  const TCaptionTable& german = GermanCaptions();
  const TCaptionTable& english = EnglishCaptions();
  const TCaptionTable& russian = RussianCaptions();
  ASSERT_EQ(std::size(kExpected), german.size());
  for (std::size_t i = 0; i < std::size(kExpected); ++i) {
    const TRow& row = kExpected[i];
    EXPECT_EQ(ControlName(german[i].FControl), row.FName) << i;
    EXPECT_EQ(ControlName(english[i].FControl), row.FName) << i;
    EXPECT_EQ(ControlName(russian[i].FControl), row.FName) << i;
    EXPECT_EQ(german[i].FCaption, row.FGerman) << row.FName;
    EXPECT_EQ(english[i].FCaption, row.FEnglish) << row.FName;
    EXPECT_EQ(russian[i].FCaption, row.FRussian) << row.FName;
  }
}

TEST(CaptionTables, IndexSelectsTheTableAndFallsBackToEnglish) {
  const struct {
    std::uint8_t FIndex;
    const char* FNSave;
  } cases[] = {{0, "Buffer speichern unter.."},
               {1, "save buffer as.."},
               {2, "Сохранить как ?"},
               {3, "save buffer as.."},
               {255, "save buffer as.."}};
  for (const auto& c : cases) {
    EXPECT_EQ(CaptionTable(c.FIndex)[4].FCaption, c.FNSave) << int(c.FIndex);
  }
}

TEST(CaptionTables, MenuTwinsDifferWhereTheTablesSaySo) {
  // The Russian detect button is shorter than its menu twin; verify differs too.
  EXPECT_EQ(RussianCaptions()[17].FCaption, "Определить чип");
  EXPECT_EQ(RussianCaptions()[27].FCaption, "Чип ID");
  EXPECT_EQ(RussianCaptions()[13].FCaption, "Верификация");
  EXPECT_EQ(RussianCaptions()[23].FCaption, "Сравнение");
}

struct TDialogRow {
  std::uint8_t FIndex;
  const char* FOpenTitle;
  const char* FOpenFilter;
  const char* FSaveTitle;
  const char* FSaveFilter;
};

TEST(DialogTexts, TitlesAndFiltersPerLanguage) {
  const TDialogRow rows[] = {
      {0, "Datei öffnen:",
       "Hex-Dateien (*.hex)|*.hex|Binary-Dateien (*.bin)|*.bin|Alle Dateien (*.*)|*.*",
       "Datei speichern unter:", "Hex-Dateien (*.hex)|*.hex|Bin-Dateien (*.bin)|*.bin"},
      {1, "open file:", "Hex-files (*.hex)|*.hex|Binary-files (*.bin)|*.bin|All files (*.*)|*.*",
       "save file as:", "Hex-files (*.hex)|*.hex|Bin-files (*.bin)|*.bin"},
      {2, "Открыть файл:", "Hex-файл (*.hex)|*.hex|Binary-файл (*.bin)|*.bin|Все файлы (*.*)|*.*",
       "Сохранить как:", "Hex-файл (*.hex)|*.hex|Bin-файл (*.bin)|*.bin"},
      {9, "open file:", "Hex-files (*.hex)|*.hex|Binary-files (*.bin)|*.bin|All files (*.*)|*.*",
       "save file as:", "Hex-files (*.hex)|*.hex|Bin-files (*.bin)|*.bin"},
  };
  for (const TDialogRow& row : rows) {
    EXPECT_EQ(OpenDialogTexts(row.FIndex).FTitle, row.FOpenTitle) << int(row.FIndex);
    EXPECT_EQ(OpenDialogTexts(row.FIndex).FFilter, row.FOpenFilter) << int(row.FIndex);
    EXPECT_EQ(SaveDialogTexts(row.FIndex).FTitle, row.FSaveTitle) << int(row.FIndex);
    EXPECT_EQ(SaveDialogTexts(row.FIndex).FFilter, row.FSaveFilter) << int(row.FIndex);
  }
}

TEST(PermissionMessage, NamesTheRuleInEachLanguage) {
  const char* expected[] = {
      "Der Programmer wurde gefunden, darf aber von diesem Benutzer nicht geöffnet werden. Bitte "
      "die udev-Regel 70-quenvar.rules installieren (siehe README) und den Programmer neu "
      "anstecken.",
      "The programmer was found, but this user may not open it. Install the udev rule "
      "70-quenvar.rules (see README) and plug the programmer in again.",
      "Программатор найден, но у этого пользователя нет прав на его открытие. Установите "
      "правило udev 70-quenvar.rules (см. README) и переподключите программатор.",
  };
  for (std::uint8_t i = 0; i < 3; ++i) EXPECT_EQ(PermissionMessage(i), expected[i]) << int(i);
  EXPECT_EQ(PermissionMessage(3), expected[1]);
}

TEST(FixedTexts, StayAsWritten) {
  const struct {
    std::string_view FActual;
    const char* FExpected;
  } texts[] = {
      {fixed_text::kApplicationTitle, "Quenvar"},
      {fixed_text::kMainCaption, "Quenvar v 3.0"},
      {fixed_text::kLanguageMenu, "Выбор языка"},
      {fixed_text::kAvrIsp, "AVR (автоопределение)"},
      {fixed_text::kChipGroup, "Чип:"},
      {fixed_text::kDetected, "Определен:"},
      {fixed_text::kSizeInBytes, "Размер (Байт):"},
      {fixed_text::kByteUnit, " байт"},
      {fixed_text::kProgressCaption, "Выполнение операции"},
      {fixed_text::kExitCaption, "Завершение работы"},
      {fixed_text::kExitLine1, "НЕ ЗАБУДЬТЕ"},
      {fixed_text::kExitLine2, "отключить USB разъем  !"},
      {fixed_text::kInfoTitle, "Quenvar v 3.0 "},
      {fixed_text::kInfoSocketLine1, "24xx00, 24xx01, 24xx02, 24xx04,24xx08, 24xx16, 24xx32,"},
      {fixed_text::kInfoSocketLine2, "24xx64,24xx128, 24xx256, 24xx512"},
  };
  for (const auto& t : texts) EXPECT_EQ(t.FActual, t.FExpected);
  EXPECT_EQ(ControlName(LanguageRadios()[0]), "sDeutsch");
  EXPECT_EQ(ControlName(LanguageRadios()[1]), "sEnglish");
  EXPECT_EQ(ControlName(LanguageRadios()[2]), "sRus");
}

}  // namespace
}  // namespace quenvar
