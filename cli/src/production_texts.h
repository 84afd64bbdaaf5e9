#pragma once
// The production run's own messages, in the language of --lang.

#include "quenvar/core/driver_texts.h"

namespace quenvar::production_texts {

inline constexpr TLangText kSerialTaken{"Seriennummer %1", "serial number %1", "серийный номер %1"};
inline constexpr TLangText kSerialUsedUp{
    "Seriennummer %1 wird nicht wieder vergeben: der Chip kann sie tragen",
    "serial number %1 is not given out again: the chip may carry it",
    "серийный номер %1 больше не выдаётся: он может быть в микросхеме"};
inline constexpr TLangText kAborted{"abgebrochen", "aborted", "прервано"};
inline constexpr TLangText kWaitRemoval{"warte, bis der Chip entnommen ist",
                                        "waiting for the chip to be taken out",
                                        "ожидание извлечения микросхемы"};
inline constexpr TLangText kWaitInsert{"warte auf den nächsten Chip", "waiting for the next chip",
                                       "ожидание следующей микросхемы"};
inline constexpr TLangText kWaitEnter{"nächste Chips einsetzen, dann Enter drücken",
                                      "put in the next chips, then press Enter",
                                      "вставьте следующие микросхемы и нажмите Enter"};
inline constexpr TLangText kRunning{"läuft", "running", "выполняется"};
inline constexpr TLangText kDone{"fertig", "done", "готово"};
inline constexpr TLangText kSummary{"%1 in Ordnung, %2 fehlgeschlagen, %3 Chips pro Stunde",
                                    "%1 ok, %2 failed, %3 chips per hour",
                                    "%1 успешно, %2 с ошибкой, %3 микросхем в час"};
inline constexpr TLangText kLogFailed{
    "quenvar-cli: das Produktionsprotokoll lässt sich nicht schreiben: %1",
    "quenvar-cli: the production log cannot be written: %1",
    "quenvar-cli: не удаётся записать журнал производства: %1"};

}  // namespace quenvar::production_texts
