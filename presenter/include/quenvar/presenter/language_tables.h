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

inline constexpr std::uint8_t LanguageGerman = 0;
inline constexpr std::uint8_t LanguageEnglish = 1;
inline constexpr std::uint8_t LanguageRussian = 2;
inline constexpr std::size_t LanguageCount = 3;

// One row of a caption table: a control and the caption it gets.
struct TCaption {
  TControl Control;
  std::string_view Caption;
};

inline constexpr std::size_t CaptionCount = 30;
using TCaptionTable = std::array<TCaption, CaptionCount>;

// The tables in the order a switch applies them: menu entries first, then buttons.
const TCaptionTable& GermanCaptions();
const TCaptionTable& EnglishCaptions();
const TCaptionTable& RussianCaptions();

// The table of a language index; an index out of range gives English, the
// language the program falls back to everywhere else too.
const TCaptionTable& CaptionTable(std::uint8_t LanguageIndex);

// Title and filter of a file dialog. The filter is a list of description and
// pattern pairs, all separated by vertical bars.
struct TDialogTexts {
  std::string_view Title;
  std::string_view Filter;
};

inline constexpr std::string_view OpenDialogName = "OpenDialog1";
inline constexpr std::string_view SaveDialogName = "SaveDialog1";

TDialogTexts OpenDialogTexts(std::uint8_t LanguageIndex);
TDialogTexts SaveDialogTexts(std::uint8_t LanguageIndex);

// Shown when the programmer is present but this user may not open it.
std::string_view PermissionMessage(std::uint8_t LanguageIndex);

// The radio entries of the language submenu, by language index.
const std::array<TControl, LanguageCount>& LanguageRadios();

// Texts that no language switch changes.
namespace fixed_text {
inline constexpr std::string_view ApplicationTitle = "Quenvar";
inline constexpr std::string_view MainCaption = "Quenvar v 3.0";
inline constexpr std::string_view LanguageMenu = "Выбор языка";
inline constexpr std::string_view German = "Deutsch";
inline constexpr std::string_view English = "English";
inline constexpr std::string_view Russian = "Russian";
inline constexpr std::string_view Socket = "Socket";
inline constexpr std::string_view SerialEeprom = "serial EEPROM";
inline constexpr std::string_view IspConnector = "ISP Connector";
inline constexpr std::string_view AvrIsp = "AVR (автоопределение)";
inline constexpr std::string_view ChipGroup = "Чип:";
inline constexpr std::string_view Detected = "Определен:";
inline constexpr std::string_view SizeInBytes = "Размер (Байт):";
inline constexpr std::string_view ByteUnit = " байт";
inline constexpr std::string_view ProgrammerReady = "Программатор к работе готов.";
inline constexpr std::string_view ProgrammerMissing = "Программатор не подключен!";
inline constexpr std::string_view IspDevice = "AVR ISP (автоопределение)";
// The progress window's label, by operation.
inline constexpr std::string_view LabelProgramFlash = "Выполняется запись FLASH";
inline constexpr std::string_view LabelProgramEeprom = "Выполняется запись EEPROM";
inline constexpr std::string_view LabelVerify = "Сравнение";
inline constexpr std::string_view LabelReadFlash = "Выполняется чтение FLASH";
inline constexpr std::string_view LabelReadEeprom = "Выполняется чтение EEPROM";
inline constexpr std::string_view ProgressCaption = "Выполнение операции";
inline constexpr std::string_view ExitCaption = "Завершение работы";
inline constexpr std::string_view ExitLine1 = "НЕ ЗАБУДЬТЕ";
inline constexpr std::string_view ExitLine2 = "отключить USB разъем  !";
inline constexpr std::string_view InfoTitle = "Quenvar v 3.0 ";
inline constexpr std::string_view InfoSocketHeading = "i2c - Socket:";
inline constexpr std::string_view InfoSocketLine1 =
    "24xx00, 24xx01, 24xx02, 24xx04,24xx08, 24xx16, 24xx32,";
inline constexpr std::string_view InfoSocketLine2 = "24xx64,24xx128, 24xx256, 24xx512";
inline constexpr std::string_view InfoIspHeading = "AVR - ISP:";
inline constexpr std::string_view InfoIspList =
    "90S1200, 90S2313, 90S/LS2323, 90S/LS2333, 90S/LS2343, 90S/LS4433, 90S8515, 90S/LS8535, "
    "ATmega8(L), ATmega16(L), ATmega32(L), ATmega64(L), ATmega128(L), ATmega8515(L), "
    "ATmega8535(L), ATmega162(V), ATmega165(V), ATmega169(V), ATmega48(V), ATmega88(V), "
    "ATmega168(V), ATtiny12(L/V), ATtiny13(V), ATtiny15L, ATtiny22(L), ATtiny26(L), ATtiny2313, "
    "AT90pwm2, AT90pwm3";
}  // namespace fixed_text

}  // namespace quenvar
