#include "quenvar/core/chip_texts.h"

#include "quenvar/core/driver_texts.h"

namespace quenvar {
namespace {

constexpr TLangText kFuseRead = {"lese Fuse Bits...", "reading fuse bis...",
                                 "чтение fuse битов..."};
constexpr TLangText kFuseWrite = {"programmiere Fuse/Lock Bits...", "programming fuse/lock bis...",
                                  "программирование fuse/lock битов..."};

void AppendHex(std::string& out, std::uint8_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[value >> 4];
  out += kDigits[value & 0x0F];
}

}  // namespace

std::string_view IdentifyErrorText(std::uint8_t LanguageIndex) {
  return Pick(texts::kChipError, LanguageIndex);
}

std::string_view FuseReadStartText(std::uint8_t LanguageIndex) {
  return Pick(kFuseRead, LanguageIndex);
}

std::string_view FuseWriteStartText(std::uint8_t LanguageIndex) {
  return Pick(kFuseWrite, LanguageIndex);
}

std::string SignatureLogLine(const TSignature& signature) {
  std::string line = "ID: ";
  for (std::size_t i = 0; i < signature.size(); ++i) {
    if (i > 0) line += ' ';
    AppendHex(line, signature[i]);
  }
  return line;
}

std::string CalibrationLogLine(unsigned index, std::uint8_t value) {
  std::string line = "Calibration Byte " + std::to_string(index) + ": ";
  AppendHex(line, value);
  return line;
}

}  // namespace quenvar
