#pragma once
// The command line's own messages, in the language of --lang. Usage errors
// and --help stay English: they describe the command line itself and come
// before --lang may have been read. What scripts parse (list, the fuse
// listing) stays English too.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "quenvar/core/driver_texts.h"

namespace quenvar::cli_texts {

// The text of `language` with %1, %2, ... replaced by `args`.
inline std::string Fill(const TLangText& text, std::uint8_t language,
                        std::initializer_list<std::string_view> args = {}) {
  return FillIn(Pick(text, language), args);
}

inline constexpr TLangText kNoProgrammer{"Kein Programmer gefunden (0451:3210).",
                                         "No programmer found (0451:3210).",
                                         "Программатор не найден (0451:3210)."};
inline constexpr TLangText kProgrammerGone{"Der Programmer wurde getrennt (0451:3210).",
                                           "The programmer was disconnected (0451:3210).",
                                           "Программатор отключён (0451:3210)."};
inline constexpr TLangText kCannotList{
    "quenvar-cli: die HID-Geräte des Systems lassen sich nicht auflisten",
    "quenvar-cli: the system's HID devices cannot be listed",
    "quenvar-cli: не удаётся получить список HID-устройств системы"};
inline constexpr TLangText kQueryOnly{
    "quenvar-cli: %1: der Programmer lässt sich nur abfragen (%2); installieren Sie die "
    "udev-Regel 70-quenvar.rules",
    "quenvar-cli: %1: the programmer can only be queried (%2); install the udev rule "
    "70-quenvar.rules",
    "quenvar-cli: %1: программатор доступен только для опроса (%2); установите правило udev "
    "70-quenvar.rules"};
inline constexpr TLangText kNoBackend{
    "quenvar-cli: dieses Programm hat keinen HID-Zugang; nehmen Sie --simulate",
    "quenvar-cli: this build has no HID backend; use --simulate",
    "quenvar-cli: в этой сборке нет доступа к HID; используйте --simulate"};
inline constexpr TLangText kNotAvailable{
    "quenvar-cli: der Vorgang lässt sich für dieses Ziel nicht starten",
    "quenvar-cli: the operation cannot be started for this target",
    "quenvar-cli: операцию нельзя запустить для выбранного устройства"};
inline constexpr TLangText kNoFormat{"quenvar-cli: '%1': nehmen Sie eine .hex- oder .bin-Datei",
                                     "quenvar-cli: '%1': give a .hex or .bin file",
                                     "quenvar-cli: '%1': укажите файл .hex или .bin"};
inline constexpr TLangText kNoData{"quenvar-cli: '%1' enthält keine Daten",
                                   "quenvar-cli: '%1' holds no data",
                                   "quenvar-cli: '%1' не содержит данных"};
inline constexpr TLangText kStateBusy{
    "quenvar-cli: %1: warte, bis ein anderes Programm diese Zustandsdatei freigibt",
    "quenvar-cli: %1: waiting until another program is done with this state file",
    "quenvar-cli: %1: ожидание, пока другая программа освободит этот файл состояния"};
inline constexpr TLangText kStopping{"Abbruch nach diesem Vorgang", "stopping after this operation",
                                     "остановка после этой операции"};
inline constexpr TLangText kChip{"Chip: %1", "Chip: %1", "Микросхема: %1"};
inline constexpr TLangText kChipFlash{", %1 Bytes Flash", ", %1 bytes of flash",
                                      ", %1 байт flash-памяти"};

// write-fuses
inline constexpr TLangText kNothingWritten{"; nichts geschrieben", "; nothing written",
                                           "; ничего не записано"};
inline constexpr TLangText kNoChipHasFuse{"quenvar-cli: kein Chip hat ein Bit '%1'",
                                          "quenvar-cli: no chip has a bit '%1'",
                                          "quenvar-cli: ни у одной микросхемы нет бита '%1'"};
inline constexpr TLangText kUnknownFuse{"quenvar-cli: unbekanntes Bit '%1'; dieser Chip hat: %2",
                                        "quenvar-cli: unknown fuse '%1'; this chip has: %2",
                                        "quenvar-cli: неизвестный бит '%1'; у этой микросхемы: %2"};
inline constexpr TLangText kNoFuseList{
    "quenvar-cli: unbekanntes Bit '%1' (der Chip hat keine Bit-Liste)",
    "quenvar-cli: unknown fuse '%1' (the chip has no fuse list)",
    "quenvar-cli: неизвестный бит '%1' (у микросхемы нет списка битов)"};
inline constexpr TLangText kAmbiguousFuse{"quenvar-cli: der Name '%1' ist mehrdeutig",
                                          "quenvar-cli: fuse name '%1' is ambiguous",
                                          "quenvar-cli: имя '%1' неоднозначно"};
inline constexpr TLangText kGreyedFuse{"quenvar-cli: das Bit '%1' ist gesperrt",
                                       "quenvar-cli: fuse '%1' is greyed",
                                       "quenvar-cli: бит '%1' недоступен"};
inline constexpr TLangText kEndsIsp{
    "quenvar-cli: das Programmieren von %1 machte den Chip über ISP unerreichbar; nichts "
    "geschrieben (--force schreibt trotzdem)",
    "quenvar-cli: programming %1 would make the chip unreachable over ISP; nothing written "
    "(--force writes anyway)",
    "quenvar-cli: программирование %1 сделает микросхему недоступной через ISP; ничего не "
    "записано (--force записывает всё равно)"};
inline constexpr TLangText kStillProgrammed{
    "quenvar-cli: '%1' wurde nicht übernommen: noch programmiert",
    "quenvar-cli: '%1' did not take: still programmed",
    "quenvar-cli: '%1' не записан: всё ещё запрограммирован"};
inline constexpr TLangText kStillUnprogrammed{
    "quenvar-cli: '%1' wurde nicht übernommen: noch nicht programmiert",
    "quenvar-cli: '%1' did not take: still unprogrammed",
    "quenvar-cli: '%1' не записан: всё ещё не запрограммирован"};
inline constexpr TLangText kLockNeedsErase{" (Lock-Bits löscht nur das Löschen des Chips)",
                                           " (lock bits are cleared only by an erase)",
                                           " (lock-биты сбрасываются только стиранием)"};

}  // namespace quenvar::cli_texts
