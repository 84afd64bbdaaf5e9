#pragma once
// Texts of identification and fuse handling. Three-language texts are chosen by
// LanguageIndex (0 German, 1 English, 2 Russian); any other index gives English.

#include <cstdint>
#include <string>
#include <string_view>

#include "quenvar/core/chip_table.h"

namespace quenvar {

// Shown in AutoDevice for a locked chip, in every language.
inline constexpr std::string_view DeviceLockedText = "Device locked !";

// AutoDevice after a failed identification: "Fehler" / "Error" / "Ошибка".
std::string_view IdentifyErrorText(std::uint8_t LanguageIndex);
// Log line before the fuse read command.
std::string_view FuseReadStartText(std::uint8_t LanguageIndex);
// Log line before the fuse write command.
std::string_view FuseWriteStartText(std::uint8_t LanguageIndex);

// "ID: 1E 93 07"
std::string SignatureLogLine(const TSignature& signature);
// "Calibration Byte 2: A5"
std::string CalibrationLogLine(unsigned index, std::uint8_t value);

}  // namespace quenvar
