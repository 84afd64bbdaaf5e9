#include "quenvar/core/log_line.h"

#include "quenvar/core/driver_texts.h"

namespace quenvar {

namespace {

constexpr TLangText Same(std::string_view text) {
  return {text, text, text};
}

TLangText Pattern(TLogText text) {
  switch (text) {
    case TLogText::ReadingSignature:
      return texts::kReadSignature;
    case TLogText::Erasing:
      return texts::kErasing;
    case TLogText::Writing:
      return texts::kWriting;
    case TLogText::Verifying:
      return texts::kVerifying;
    case TLogText::Reading:
      return texts::kReading;
    case TLogText::WritingEeprom:
      return texts::kWritingEeprom;
    case TLogText::ReadingEeprom:
      return texts::kReadingEeprom;
    case TLogText::ReadingFuses:
      return texts::kReadingFuses;
    case TLogText::WritingFuses:
      return texts::kWritingFuses;
    case TLogText::Signature:
      return Same("ID: %1 %2 %3");
    case TLogText::Calibration:
      return Same("Calibration Byte %1: %2");
    case TLogText::Blank:
      return Same("");
    case TLogText::Success:
      return texts::kSuccess;
    case TLogText::Error:
      return texts::kError;
    case TLogText::Duration:
      return texts::kDuration;
    case TLogText::NoReply:
      return texts::kNoReply;
  }
  return Same("");
}

}  // namespace

std::string RenderLogLine(const TLogLine& line, std::uint8_t languageIndex) {
  std::vector<std::string_view> args(line.FArgs.begin(), line.FArgs.end());
  return FillIn(Pick(Pattern(line.FText), languageIndex), args);
}

std::string FormatDuration(std::int64_t milliseconds) {
  const std::int64_t hundredths = (milliseconds % 1000) / 10;
  std::string text = std::to_string(milliseconds / 1000);
  text += '.';
  if (hundredths < 10) text += '0';
  text += std::to_string(hundredths);
  text += " s";
  return text;
}

}  // namespace quenvar
