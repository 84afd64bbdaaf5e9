#include "cli_texts.h"

namespace quenvar::cli_texts {

std::string Fill(const TLangText& text, std::uint8_t language,
                 std::initializer_list<std::string_view> args) {
  const std::string_view pattern = Pick(text, language);
  std::string out;
  out.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const bool slot = pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}' &&
                      pattern[i + 1] >= '0' && pattern[i + 1] <= '9';
    const std::size_t index = slot ? static_cast<std::size_t>(pattern[i + 1] - '0') : 0;
    if (slot && index < args.size()) {
      out += *(args.begin() + index);
      i += 2;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace quenvar::cli_texts
