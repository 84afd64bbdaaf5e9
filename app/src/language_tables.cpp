#include "quenvar/app/language_tables.h"

#include "quenvar/core/driver_texts.h"

namespace quenvar {

namespace {

constexpr TCaptionTable German = {{
    {"nFile", "Datei"},
    {"nDevice", "Device"},
    {"nInfo", "Info"},
    {"nopen", "Datei öffnen..."},
    {"nsave", "Buffer speichern unter.."},
    {"nExit", "Ende"},
    {"nBuffer", "Buffer"},
    {"nUndo", "Undo"},
    {"nRedo", "Redo"},
    {"neditbuffer", "Buffer editierbar"},
    {"updatebuffer", "Buffer aus Datei updaten"},
    {"nChose", "Aktion"},
    {"nprogflash", "Programmieren"},
    {"nverifyflash", "Vergleichen"},
    {"nreadflash", "Auslesen"},
    {"nprogeeprom", "EEPROM Programmieren"},
    {"nreadeeprom", "EEPROM Auslesen"},
    {"nDetectDevice", "Detect Device"},
    {"nWritefuse", "Fuse-/Lockbits schreiben"},
    {"nErase", "Löschen"},
    {"nSetup", "Setup"},
    {"nverifyprogramm", "verify nach Programmierung"},
    {"bProg", "Programmieren"},
    {"bVerify", "Vergleichen"},
    {"bRead", "Auslesen"},
    {"bErase", "Löschen"},
    {"bWriteFuse", "Fuses schreiben"},
    {"bDetectDevice", "Detect Device"},
    {"bprogeeprom", "EEPROM Programmieren"},
    {"breadeeprom", "EEPROM Auslesen"},
}};

constexpr TCaptionTable English = {{
    {"nFile", "File"},
    {"nDevice", "Device"},
    {"nInfo", "Info"},
    {"nopen", "open file..."},
    {"nsave", "save buffer as.."},
    {"nExit", "exit"},
    {"nBuffer", "Buffer"},
    {"nUndo", "undo"},
    {"nRedo", "redo"},
    {"neditbuffer", "edit buffer"},
    {"updatebuffer", "update buffer from file"},
    {"nChose", "Chose"},
    {"nprogflash", "write"},
    {"nverifyflash", "verify"},
    {"nreadflash", "read"},
    {"nprogeeprom", "write EEPROM"},
    {"nreadeeprom", "read EEPROM"},
    {"nDetectDevice", "detect device"},
    {"nWritefuse", "write fuse-/lockbits"},
    {"nErase", "erase"},
    {"nSetup", "Setup"},
    {"nverifyprogramm", "verify after write"},
    {"bProg", "write"},
    {"bVerify", "verify"},
    {"bRead", "read"},
    {"bErase", "erase"},
    {"bWriteFuse", "write fuses"},
    {"bDetectDevice", "detect device"},
    {"bprogeeprom", "write EEPROM"},
    {"breadeeprom", "read EEPROM"},
}};

constexpr TCaptionTable Russian = {{
    {"nFile", "Файл"},
    {"nDevice", "Чип"},
    {"nInfo", "Информация"},
    {"nopen", "Открыть файл..."},
    {"nsave", "Сохранить как ?"},
    {"nExit", "Выход"},
    {"nBuffer", "Буффер"},
    {"nUndo", "Вернуть ввод"},
    {"nRedo", "Отменить ввод"},
    {"neditbuffer", "Редактирование"},
    {"updatebuffer", "обновить буффер из файла"},
    {"nChose", "Опции"},
    {"nprogflash", "Запись"},
    {"nverifyflash", "Верификация"},
    {"nreadflash", "Чтение"},
    {"nprogeeprom", "Запись EEPROM"},
    {"nreadeeprom", "Чтение EEPROM"},
    {"nDetectDevice", "Определить чип"},
    {"nWritefuse", "Запись fuse-/lock битов"},
    {"nErase", "Стирание"},
    {"nSetup", "Установки"},
    {"nverifyprogramm", "Проверка после записи"},
    {"bProg", "Запись"},
    {"bVerify", "Сравнение"},
    {"bRead", "Чтение"},
    {"bErase", "Стирание"},
    {"bWriteFuse", "Запись fuse"},
    {"bDetectDevice", "Чип ID"},
    {"bprogeeprom", "Запись EEPROM"},
    {"breadeeprom", "Чтение EEPROM"},
}};

constexpr std::array<TDialogTexts, LanguageCount> OpenDialogs = {{
    {"Datei öffnen:",
     "Hex-Dateien (*.hex)|*.hex|Binary-Dateien (*.bin)|*.bin|Alle Dateien (*.*)|*.*"},
    {"open file:", "Hex-files (*.hex)|*.hex|Binary-files (*.bin)|*.bin|All files (*.*)|*.*"},
    {"Открыть файл:", "Hex-файл (*.hex)|*.hex|Binary-файл (*.bin)|*.bin|Все файлы (*.*)|*.*"},
}};

constexpr std::array<TDialogTexts, LanguageCount> SaveDialogs = {{
    {"Datei speichern unter:", "Hex-Dateien (*.hex)|*.hex|Bin-Dateien (*.bin)|*.bin"},
    {"save file as:", "Hex-files (*.hex)|*.hex|Bin-files (*.bin)|*.bin"},
    {"Сохранить как:", "Hex-файл (*.hex)|*.hex|Bin-файл (*.bin)|*.bin"},
}};

constexpr std::array<std::string_view, LanguageCount> PermissionMessages = {
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
  return German;
}
const TCaptionTable& EnglishCaptions() {
  return English;
}
const TCaptionTable& RussianCaptions() {
  return Russian;
}

const TCaptionTable& CaptionTable(std::uint8_t LanguageIndex) {
  switch (LanguageSlot(LanguageIndex)) {
    case LanguageGerman:
      return German;
    case LanguageRussian:
      return Russian;
    default:
      return English;
  }
}

TDialogTexts OpenDialogTexts(std::uint8_t LanguageIndex) {
  return OpenDialogs[LanguageSlot(LanguageIndex)];
}
TDialogTexts SaveDialogTexts(std::uint8_t LanguageIndex) {
  return SaveDialogs[LanguageSlot(LanguageIndex)];
}

std::string_view PermissionMessage(std::uint8_t LanguageIndex) {
  return PermissionMessages[LanguageSlot(LanguageIndex)];
}

}  // namespace quenvar
