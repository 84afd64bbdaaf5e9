#pragma once

// The three caption tables and the other texts of the user interface. Every
// text is UTF-8.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quenvar {

enum class TControl : std::uint8_t;

inline constexpr std::uint8_t kLanguageGerman = 0;
inline constexpr std::uint8_t kLanguageEnglish = 1;
inline constexpr std::uint8_t kLanguageRussian = 2;
inline constexpr std::size_t kLanguageCount = 3;

// One row of a caption table: a control and the caption it gets.
struct TCaption {
  TControl FControl;
  std::string_view FCaption;
};

inline constexpr std::size_t kCaptionCount = 30;
using TCaptionTable = std::array<TCaption, kCaptionCount>;

// The tables in the order a switch applies them: menu entries first, then buttons.
const TCaptionTable& GermanCaptions();
const TCaptionTable& EnglishCaptions();
const TCaptionTable& RussianCaptions();

// The table of a language index; an index out of range gives English, the
// language the program falls back to everywhere else too.
const TCaptionTable& CaptionTable(std::uint8_t languageIndex);

// Title and filter of a file dialog. The filter is a list of description and
// pattern pairs, all separated by vertical bars.
struct TDialogTexts {
  std::string_view FTitle;
  std::string_view FFilter;
};

inline constexpr std::string_view kOpenDialogName = "OpenDialog1";
inline constexpr std::string_view kSaveDialogName = "SaveDialog1";

TDialogTexts OpenDialogTexts(std::uint8_t languageIndex);
TDialogTexts SaveDialogTexts(std::uint8_t languageIndex);

// Shown when the programmer is present but this user may not open it.
std::string_view PermissionMessage(std::uint8_t languageIndex);

// The radio entries of the language submenu, by language index.
const std::array<TControl, kLanguageCount>& LanguageRadios();

// Texts that no language switch changes.
namespace fixed_text {
inline constexpr std::string_view kApplicationTitle = "Quenvar";
inline constexpr std::string_view kMainCaption = "Quenvar v 3.0";
inline constexpr std::string_view kLanguageMenu = "Выбор языка";
inline constexpr std::string_view kGerman = "Deutsch";
inline constexpr std::string_view kEnglish = "English";
inline constexpr std::string_view kRussian = "Russian";
inline constexpr std::string_view kSocket = "Socket";
inline constexpr std::string_view kSerialEeprom = "serial EEPROM";
inline constexpr std::string_view kIspConnector = "ISP Connector";
inline constexpr std::string_view kAvrIsp = "AVR (автоопределение)";
inline constexpr std::string_view kChipGroup = "Чип:";
inline constexpr std::string_view kDetected = "Определен:";
inline constexpr std::string_view kSizeInBytes = "Размер (Байт):";
inline constexpr std::string_view kByteUnit = " байт";
inline constexpr std::string_view kProgrammerReady = "Программатор к работе готов.";
inline constexpr std::string_view kProgrammerMissing = "Программатор не подключен!";
inline constexpr std::string_view kIspDevice = "AVR ISP (автоопределение)";
// The progress window's label, by operation.
inline constexpr std::string_view kLabelProgramFlash = "Выполняется запись FLASH";
inline constexpr std::string_view kLabelProgramEeprom = "Выполняется запись EEPROM";
inline constexpr std::string_view kLabelVerify = "Сравнение";
inline constexpr std::string_view kLabelReadFlash = "Выполняется чтение FLASH";
inline constexpr std::string_view kLabelReadEeprom = "Выполняется чтение EEPROM";
inline constexpr std::string_view kProgressCaption = "Выполнение операции";
inline constexpr std::string_view kExitCaption = "Завершение работы";
inline constexpr std::string_view kExitLine1 = "НЕ ЗАБУДЬТЕ";
inline constexpr std::string_view kExitLine2 = "отключить USB разъем  !";
inline constexpr std::string_view kInfoTitle = "Quenvar v 3.0 ";
inline constexpr std::string_view kInfoSocketHeading = "i2c - Socket:";
inline constexpr std::string_view kInfoSocketLine1 =
    "24xx00, 24xx01, 24xx02, 24xx04,24xx08, 24xx16, 24xx32,";
inline constexpr std::string_view kInfoSocketLine2 = "24xx64,24xx128, 24xx256, 24xx512";
inline constexpr std::string_view kInfoIspHeading = "AVR - ISP:";
inline constexpr std::string_view kInfoIspList =
    "90S1200, 90S2313, 90S/LS2323, 90S/LS2333, 90S/LS2343, 90S/LS4433, 90S8515, 90S/LS8535, "
    "ATmega8(L), ATmega16(L), ATmega32(L), ATmega64(L), ATmega128(L), ATmega8515(L), "
    "ATmega8535(L), ATmega162(V), ATmega165(V), ATmega169(V), ATmega48(V), ATmega88(V), "
    "ATmega168(V), ATtiny12(L/V), ATtiny13(V), ATtiny15L, ATtiny22(L), ATtiny26(L), ATtiny2313, "
    "AT90pwm2, AT90pwm3";
}  // namespace fixed_text

}  // namespace quenvar
