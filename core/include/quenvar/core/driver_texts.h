#pragma once
// Messages of the operation driver, in three languages picked by the language
// index (0 German, 1 English, 2 Russian).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace quenvar {

struct TLangText {
  std::string_view FDe;
  std::string_view FEn;
  std::string_view FRu;
};

// The place of a language index in a three-language table: 0 German,
// 1 English, 2 Russian. Any other index gives English, the default language,
// for every text of the program.
constexpr std::size_t LanguageSlot(std::uint8_t languageIndex) {
  return languageIndex < 3 ? languageIndex : 1;
}

constexpr std::string_view Pick(const TLangText& text, std::uint8_t languageIndex) {
  switch (LanguageSlot(languageIndex)) {
    case 0:
      return text.FDe;
    case 2:
      return text.FRu;
    default:
      return text.FEn;
  }
}

// The pattern with "%1", "%2", ... replaced by the arguments in order.
std::string FillIn(std::string_view pattern, std::span<const std::string_view> args);
inline std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> args) {
  return FillIn(pattern, std::span<const std::string_view>(args.begin(), args.size()));
}

namespace texts {

inline constexpr TLangText kReadSignature{"lese Signature Byte...", "reading signature byte...",
                                          "чтение сигнатурных байт..."};
inline constexpr TLangText kErasing{"lösche...", "erasing...", "стирание..."};
inline constexpr TLangText kWriting{"schreibe...", "writing...", "запись..."};
inline constexpr TLangText kVerifying{"vergleiche...", "verifying...", "сравнение..."};
inline constexpr TLangText kReading{"lese...", "reading...", "чтение..."};
inline constexpr TLangText kWritingEeprom{"schreibe EEPROM...", "writing EEPROM...",
                                          "запись EEPROM..."};
inline constexpr TLangText kReadingEeprom{"lese EEPROM...", "reading EEPROM...",
                                          "чтение EEPROM..."};
inline constexpr TLangText kReadingFuses{"lese Fuse Bits...", "reading fuse bis...",
                                         "чтение fuse битов..."};
inline constexpr TLangText kWritingFuses{"programmiere Fuse/Lock Bits...",
                                         "programming fuse/lock bis...",
                                         "программирование fuse/lock битов..."};
inline constexpr TLangText kSuccess{"Erfolgreich beendet.", "Successfully finished.",
                                    "Действие завершено успешно !"};
inline constexpr TLangText kError{"Fehler.", "Error.", "Ошибка."};
// %1 the duration, e.g. "12.34 s".
inline constexpr TLangText kDuration{"Dauer: %1", "Duration: %1", "Время выполнения : %1"};
inline constexpr TLangText kChipError{"Fehler", "Error", "Ошибка"};
inline constexpr TLangText kNoReply{"Keine Antwort vom Programmer.",
                                    "No reply from the programmer.",
                                    "Нет ответа от программатора."};
inline constexpr TLangText kEmptyImage{
    "Der Buffer ist leer: nichts zu schreiben oder zu vergleichen.",
    "The buffer is empty: there is nothing to write or verify.",
    "Буфер пуст: нечего записывать или сравнивать."};
// %1 the image's size, %2 the size of the memory it was meant for, in bytes.
inline constexpr TLangText kImageTooLarge{
    "Das Abbild (%1 Bytes) ist größer als der Speicher des Chips (%2 Bytes).",
    "The image (%1 bytes) is larger than the chip's memory (%2 bytes).",
    "Образ (%1 байт) больше памяти микросхемы (%2 байт)."};
// %1 the bits, joined by kAnd.
inline constexpr TLangText kIspDisablingQuestion{
    "Das Schreiben der Fuses programmiert %1. Danach ist der Chip nicht mehr über ISP "
    "programmierbar. Trotzdem schreiben?",
    "Writing the fuses programs %1. The chip will then no longer be programmable over ISP. "
    "Write them anyway?",
    "Запись fuse битов программирует %1. После этого чип больше нельзя будет программировать "
    "через ISP. Всё равно записать?"};
inline constexpr TLangText kAnd{" und ", " and ", " и "};

}  // namespace texts

}  // namespace quenvar
