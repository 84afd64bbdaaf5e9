#include "quenvar/presenter/language_tables.h"

#include "quenvar/core/driver_texts.h"
#include "quenvar/presenter/controls.h"

namespace quenvar {

namespace {

constexpr TCaptionTable kGerman = {{
    {TControl::nFile, "Datei"},
    {TControl::nDevice, "Device"},
    {TControl::nInfo, "Info"},
    {TControl::nopen, "Datei öffnen..."},
    {TControl::nsave, "Buffer speichern unter.."},
    {TControl::nExit, "Ende"},
    {TControl::nBuffer, "Buffer"},
    {TControl::nUndo, "Undo"},
    {TControl::nRedo, "Redo"},
    {TControl::neditbuffer, "Buffer editierbar"},
    {TControl::updatebuffer, "Buffer aus Datei updaten"},
    {TControl::nChose, "Aktion"},
    {TControl::nprogflash, "Programmieren"},
    {TControl::nverifyflash, "Vergleichen"},
    {TControl::nreadflash, "Auslesen"},
    {TControl::nprogeeprom, "EEPROM Programmieren"},
    {TControl::nreadeeprom, "EEPROM Auslesen"},
    {TControl::nDetectDevice, "Detect Device"},
    {TControl::nWritefuse, "Fuse-/Lockbits schreiben"},
    {TControl::nErase, "Löschen"},
    {TControl::nSetup, "Setup"},
    {TControl::nverifyprogramm, "verify nach Programmierung"},
    {TControl::bProg, "Programmieren"},
    {TControl::bVerify, "Vergleichen"},
    {TControl::bRead, "Auslesen"},
    {TControl::bErase, "Löschen"},
    {TControl::bWriteFuse, "Fuses schreiben"},
    {TControl::bDetectDevice, "Detect Device"},
    {TControl::bprogeeprom, "EEPROM Programmieren"},
    {TControl::breadeeprom, "EEPROM Auslesen"},
}};

constexpr TCaptionTable kEnglish = {{
    {TControl::nFile, "File"},
    {TControl::nDevice, "Device"},
    {TControl::nInfo, "Info"},
    {TControl::nopen, "open file..."},
    {TControl::nsave, "save buffer as.."},
    {TControl::nExit, "exit"},
    {TControl::nBuffer, "Buffer"},
    {TControl::nUndo, "undo"},
    {TControl::nRedo, "redo"},
    {TControl::neditbuffer, "edit buffer"},
    {TControl::updatebuffer, "update buffer from file"},
    {TControl::nChose, "Chose"},
    {TControl::nprogflash, "write"},
    {TControl::nverifyflash, "verify"},
    {TControl::nreadflash, "read"},
    {TControl::nprogeeprom, "write EEPROM"},
    {TControl::nreadeeprom, "read EEPROM"},
    {TControl::nDetectDevice, "detect device"},
    {TControl::nWritefuse, "write fuse-/lockbits"},
    {TControl::nErase, "erase"},
    {TControl::nSetup, "Setup"},
    {TControl::nverifyprogramm, "verify after write"},
    {TControl::bProg, "write"},
    {TControl::bVerify, "verify"},
    {TControl::bRead, "read"},
    {TControl::bErase, "erase"},
    {TControl::bWriteFuse, "write fuses"},
    {TControl::bDetectDevice, "detect device"},
    {TControl::bprogeeprom, "write EEPROM"},
    {TControl::breadeeprom, "read EEPROM"},
}};

constexpr TCaptionTable kRussian = {{
    {TControl::nFile, "Файл"},
    {TControl::nDevice, "Чип"},
    {TControl::nInfo, "Информация"},
    {TControl::nopen, "Открыть файл..."},
    {TControl::nsave, "Сохранить как ?"},
    {TControl::nExit, "Выход"},
    {TControl::nBuffer, "Буффер"},
    {TControl::nUndo, "Вернуть ввод"},
    {TControl::nRedo, "Отменить ввод"},
    {TControl::neditbuffer, "Редактирование"},
    {TControl::updatebuffer, "обновить буффер из файла"},
    {TControl::nChose, "Опции"},
    {TControl::nprogflash, "Запись"},
    {TControl::nverifyflash, "Верификация"},
    {TControl::nreadflash, "Чтение"},
    {TControl::nprogeeprom, "Запись EEPROM"},
    {TControl::nreadeeprom, "Чтение EEPROM"},
    {TControl::nDetectDevice, "Определить чип"},
    {TControl::nWritefuse, "Запись fuse-/lock битов"},
    {TControl::nErase, "Стирание"},
    {TControl::nSetup, "Установки"},
    {TControl::nverifyprogramm, "Проверка после записи"},
    {TControl::bProg, "Запись"},
    {TControl::bVerify, "Сравнение"},
    {TControl::bRead, "Чтение"},
    {TControl::bErase, "Стирание"},
    {TControl::bWriteFuse, "Запись fuse"},
    {TControl::bDetectDevice, "Чип ID"},
    {TControl::bprogeeprom, "Запись EEPROM"},
    {TControl::breadeeprom, "Чтение EEPROM"},
}};

constexpr std::array<TDialogTexts, kLanguageCount> kOpenDialogs = {{
    {"Datei öffnen:",
     "Hex-Dateien (*.hex)|*.hex|Binary-Dateien (*.bin)|*.bin|Alle Dateien (*.*)|*.*"},
    {"open file:", "Hex-files (*.hex)|*.hex|Binary-files (*.bin)|*.bin|All files (*.*)|*.*"},
    {"Открыть файл:", "Hex-файл (*.hex)|*.hex|Binary-файл (*.bin)|*.bin|Все файлы (*.*)|*.*"},
}};

constexpr std::array<TDialogTexts, kLanguageCount> kSaveDialogs = {{
    {"Datei speichern unter:", "Hex-Dateien (*.hex)|*.hex|Bin-Dateien (*.bin)|*.bin"},
    {"save file as:", "Hex-files (*.hex)|*.hex|Bin-files (*.bin)|*.bin"},
    {"Сохранить как:", "Hex-файл (*.hex)|*.hex|Bin-файл (*.bin)|*.bin"},
}};

constexpr std::array<std::string_view, kLanguageCount> kPermissionMessages = {
    "Der Programmer wurde gefunden, darf aber von diesem Benutzer nicht geöffnet werden. Bitte "
    "die udev-Regel 70-quenvar.rules installieren (siehe README) und den Programmer neu "
    "anstecken.",
    "The programmer was found, but this user may not open it. Install the udev rule "
    "70-quenvar.rules (see README) and plug the programmer in again.",
    "Программатор найден, но у этого пользователя нет прав на его открытие. Установите правило "
    "udev 70-quenvar.rules (см. README) и переподключите программатор.",
};

}  // namespace

const TCaptionTable& GermanCaptions() {
  return kGerman;
}
const TCaptionTable& EnglishCaptions() {
  return kEnglish;
}
const TCaptionTable& RussianCaptions() {
  return kRussian;
}

const TCaptionTable& CaptionTable(std::uint8_t languageIndex) {
  switch (LanguageSlot(languageIndex)) {
    case kLanguageGerman:
      return kGerman;
    case kLanguageRussian:
      return kRussian;
    default:
      return kEnglish;
  }
}

TDialogTexts OpenDialogTexts(std::uint8_t languageIndex) {
  return kOpenDialogs[LanguageSlot(languageIndex)];
}
TDialogTexts SaveDialogTexts(std::uint8_t languageIndex) {
  return kSaveDialogs[LanguageSlot(languageIndex)];
}

const std::array<TControl, kLanguageCount>& LanguageRadios() {
  static constexpr std::array<TControl, kLanguageCount> kRadios = {
      TControl::sDeutsch, TControl::sEnglish, TControl::sRus};
  return kRadios;
}

std::string_view PermissionMessage(std::uint8_t languageIndex) {
  return kPermissionMessages[LanguageSlot(languageIndex)];
}

}  // namespace quenvar
