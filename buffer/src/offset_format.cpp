#include "quenvar/buffer/offset_format.h"

#include <algorithm>
#include <cstdio>

namespace quenvar {

namespace {

// Value of a hexadecimal text; nullopt-like -1 for anything that is not pure hex.
long long ParseHex(std::string_view text) {
  if (text.empty() || text.size() > 8) return -1;
  long long v = 0;
  for (char c : text) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return -1;
    }
    v = v * 16 + d;
  }
  return v;
}

}  // namespace

TOffsetFormat::TOffsetFormat() {
  (void)Assign("-!10:0x|");
}

TResult<void> TOffsetFormat::Assign(std::string_view format) {
  const std::size_t bang = format.find('!');
  const std::size_t colon = format.find(':', bang == std::string_view::npos ? 0 : bang + 1);
  const std::size_t bar =
      colon == std::string_view::npos ? std::string_view::npos : format.find('|', colon + 1);
  if (bang == std::string_view::npos || colon == std::string_view::npos ||
      bar == std::string_view::npos) {
    return TError{TErrorKind::BadOption, "Missing char in offset format: " + std::string(format)};
  }
  const long long radix = ParseHex(format.substr(bang + 1, colon - bang - 1));
  if (radix < 2 || radix > 16) {
    char text[96];
    std::snprintf(text, sizeof text, "Invalid radix in offset format (%llxh), allowed: 02h..10h",
                  radix < 0 ? 0LL : radix);
    return TError{TErrorKind::BadOption, text};
  }
  const std::string_view count = format.substr(0, bang);
  const long long fixed = ParseHex(count);
  FAuto = count == "-" || fixed < 0;
  FFixed = FAuto ? 0 : static_cast<unsigned>(std::max(1LL, std::min(fixed, 32LL)));
  FBase = static_cast<unsigned>(radix);
  FPrefixText = std::string(format.substr(colon + 1, bar - colon - 1));
  FSuffixText = std::string(format.substr(bar + 1));
  FFormatText = std::string(format);
  return {};
}

unsigned TOffsetFormat::DigitsOf(std::uint64_t value) const {
  unsigned n = 1;
  while (value >= FBase) {
    value /= FBase;
    ++n;
  }
  return n;
}

std::string TOffsetFormat::Format(std::uint64_t value, unsigned digits) const {
  const char* alphabet = FLowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  char buf[72];
  unsigned n = 0;
  do {
    buf[n++] = alphabet[value % FBase];
    value /= FBase;
  } while (value != 0 && n < sizeof buf);
  std::string out = FPrefixText;
  if (digits > n) out.append(digits - n, '0');
  while (n > 0) out.push_back(buf[--n]);
  out += FSuffixText;
  return out;
}

}  // namespace quenvar
