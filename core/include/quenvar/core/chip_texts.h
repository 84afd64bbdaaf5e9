#pragma once
// Texts of identification and fuse handling. Three-language texts are chosen by
// the language index (0 German, 1 English, 2 Russian); any other index gives English.

#include <cstdint>
#include <string>
#include <string_view>

#include "quenvar/core/chip_table.h"
#include "quenvar/core/log_line.h"

namespace quenvar {

// Shown in AutoDevice for a locked chip, in every language.
inline constexpr std::string_view kDeviceLockedText = "Device locked !";

// AutoDevice after a failed identification: "Fehler" / "Error" / "Ошибка".
std::string_view IdentifyErrorText(std::uint8_t languageIndex);
// Log line before the fuse read command.
std::string_view FuseReadStartText(std::uint8_t languageIndex);
// Log line before the fuse write command.
std::string_view FuseWriteStartText(std::uint8_t languageIndex);

// "ID: 1E 93 07"
TLogLine SignatureLogLine(const TSignature& signature);
// "Calibration Byte 2: A5"
TLogLine CalibrationLogLine(unsigned index, std::uint8_t value);

}  // namespace quenvar
