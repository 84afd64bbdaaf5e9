#include "quenvar/core/chip_texts.h"

#include "quenvar/core/driver_texts.h"

namespace quenvar {
namespace {

std::string Hex(std::uint8_t value) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

}  // namespace

std::string_view IdentifyErrorText(std::uint8_t languageIndex) {
  return Pick(texts::kChipError, languageIndex);
}

std::string_view FuseReadStartText(std::uint8_t languageIndex) {
  return Pick(texts::kReadingFuses, languageIndex);
}

std::string_view FuseWriteStartText(std::uint8_t languageIndex) {
  return Pick(texts::kWritingFuses, languageIndex);
}

TLogLine SignatureLogLine(const TSignature& signature) {
  return {TLogText::Signature, {Hex(signature[0]), Hex(signature[1]), Hex(signature[2])}};
}

TLogLine CalibrationLogLine(unsigned index, std::uint8_t value) {
  return {TLogText::Calibration, {std::to_string(index), Hex(value)}};
}

}  // namespace quenvar
