#pragma once
// Messages of the operation driver. Those in three languages are picked by
// `LanguageIndex` (0 German, 1 English, 2 Russian); the rest never switch.

#include <cstdint>
#include <string_view>

namespace quenvar {

struct TLangText {
  std::string_view De;
  std::string_view En;
  std::string_view Ru;
};

// Any other index gives German, the language the main window starts in.
constexpr std::string_view Pick(const TLangText& text, std::uint8_t languageIndex) {
  return languageIndex == 1 ? text.En : languageIndex == 2 ? text.Ru : text.De;
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
inline constexpr TLangText kSuccess{"Erfolgreich beendet.", "Successfully finished.",
                                    "Действие завершено успешно !"};
inline constexpr TLangText kError{"Fehler.", "Error.", "Ошибка."};
inline constexpr TLangText kDuration{"Dauer: ", "Duration: ", "Время выполнения : "};
inline constexpr TLangText kChipError{"Fehler", "Error", "Ошибка"};
inline constexpr TLangText kNoReply{"Keine Antwort vom Programmer.",
                                    "No reply from the programmer.",
                                    "Нет ответа от программатора."};

// The same in every language.
inline constexpr std::string_view kProgrammerReady = "Программатор к работе готов.";
inline constexpr std::string_view kProgrammerMissing = "Программатор не подключен!";
inline constexpr std::string_view kIspDevice = "AVR ISP (автоопределение)";
inline constexpr std::string_view kLabelProgramFlash = "Выполняется запись FLASH";
inline constexpr std::string_view kLabelProgramEeprom = "Выполняется запись EEPROM";
inline constexpr std::string_view kLabelVerify = "Сравнение";
inline constexpr std::string_view kLabelReadFlash = "Выполняется чтение FLASH";
inline constexpr std::string_view kLabelReadEeprom = "Выполняется чтение EEPROM";

}  // namespace texts

}  // namespace quenvar
