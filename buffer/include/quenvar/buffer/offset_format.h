#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "quenvar/base/result.h"

namespace quenvar {

// The offset column format "<digits>!<radix>:<prefix>|<suffix>". <digits> is "-" for a digit
// count chosen from the largest offset shown, or a hexadecimal count of digits; <radix> is
// written in hexadecimal (02h..10h).
class TOffsetFormat {
 public:
  TOffsetFormat();  // "-!10:0x|"

  // Parses a format; on failure this format keeps its previous value.
  TResult<void> Assign(std::string_view format);

  const std::string& Text() const { return FFormatText; }
  bool AutoDigits() const { return FAuto; }
  unsigned Radix() const { return FBase; }
  unsigned FixedDigits() const { return FFixed; }
  const std::string& Prefix() const { return FPrefixText; }
  const std::string& Suffix() const { return FSuffixText; }
  bool FLowerCase = false;

  // Digits needed for value in this radix (at least 1).
  unsigned DigitsOf(std::uint64_t value) const;
  // prefix + value left-padded with "0" to digits + suffix.
  std::string Format(std::uint64_t value, unsigned digits) const;

 private:
  std::string FFormatText;
  bool FAuto = true;
  unsigned FBase = 16;
  unsigned FFixed = 0;
  std::string FPrefixText;
  std::string FSuffixText;
};

}  // namespace quenvar
